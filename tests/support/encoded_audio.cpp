// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/encoded_audio.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace sorvina::test {
namespace {

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Everything `command` writes on its standard output; nothing when it fails.
bool ReadOutput(const std::string& command, std::string& output) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char chunk[65536];
  std::size_t read = 0;
  while ((read = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
    output.append(chunk, read);
  return pclose(pipe) == 0;
}

}  // namespace

std::string SoundWav(int sampleRate, int channels, double seconds, double silentSeconds) {
  const auto frames = static_cast<std::uint32_t>(std::lround(sampleRate * seconds));
  const auto silent = static_cast<std::uint32_t>(std::lround(sampleRate * silentSeconds));
  const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
  std::string wav = "RIFF";
  AppendLittleEndian(wav, 36 + dataBytes, 4);
  wav += "WAVEfmt ";
  AppendLittleEndian(wav, 16, 4);
  AppendLittleEndian(wav, 1, 2);  // PCM
  AppendLittleEndian(wav, static_cast<std::uint32_t>(channels), 2);
  AppendLittleEndian(wav, static_cast<std::uint32_t>(sampleRate), 4);
  AppendLittleEndian(wav, static_cast<std::uint32_t>(sampleRate * channels * 2), 4);
  AppendLittleEndian(wav, static_cast<std::uint32_t>(channels * 2), 2);
  AppendLittleEndian(wav, 16, 2);
  wav += "data";
  AppendLittleEndian(wav, dataBytes, 4);
  std::uint32_t noise = 12345;
  for (std::uint32_t i = 0; i < frames; ++i) {
    double value = 0;
    if (i >= silent) {
      const double t = static_cast<double>(i - silent) / sampleRate;
      noise = noise * 1664525u + 1013904223u;
      const double loudness = static_cast<int>(t) % 2 == 0 ? 0.9 : 0.2;
      value = loudness * (6000 * std::sin(2 * M_PI * (220 + 200 * t) * t) +
                          3000 * (static_cast<double>(noise >> 16) / 32768.0 - 1.0));
    }
    for (int c = 0; c < channels; ++c)
      AppendLittleEndian(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), 2);
  }
  return wav;
}

bool ProgramsInstalled(std::initializer_list<const char*> programs) {
  for (const char* program : programs) {
    if (!RunCommand(std::string("command -v ") + program)) return false;
  }
  return true;
}

std::string EncodeCommand(std::string pattern, const std::string& in, const std::string& out) {
  pattern.replace(pattern.find("{in}"), 4, ShellQuoted(in));
  pattern.replace(pattern.find("{out}"), 5, ShellQuoted(out));
  return pattern;
}

bool RunCommand(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

double DecodedSeconds(const std::string& path) {
  std::string samples;
  if (!ReadOutput("ffmpeg -v error -i " + ShellQuoted(path) +
                      " -map 0:a:0 -f s16le -ac 1 -ar 8000 - 2>/dev/null",
                  samples)) {
    return -1;
  }
  return static_cast<double>(samples.size()) / 2 / 8000;
}

long CountedFrames(const std::string& path) {
  std::string count;
  if (!ReadOutput("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                  "stream=nb_read_packets -of csv=p=0 " +
                      ShellQuoted(path),
                  count)) {
    return -1;
  }
  return std::strtol(count.c_str(), nullptr, 10);
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string CoverSizeOf(const std::string& path) {
  const std::string command =
      "ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 " +
      ShellQuoted(path);
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe))
      output.append(buffer, got);
    pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
    output.pop_back();
  return output;
}

}  // namespace sorvina::test
