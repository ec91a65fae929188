// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <string>

namespace sorvina::test {

// Real encoder output for the tests: sound of a known length, the Debian encoders run on
// it (scripts/setup installs them), and ffmpeg's count of the samples it decodes.

// A 16-bit PCM WAV file holding exactly `seconds` of sound: a gliding tone under noise
// whose loudness changes every second, so that a variable-bitrate encoder keeps changing
// its bitrate; after `silentSeconds` of digital silence, which such an encoder codes at
// its lowest bitrate.
std::string SoundWav(int sampleRate, int channels, double seconds, double silentSeconds = 0);

// Whether every one of `programs` is on the PATH.
bool ProgramsInstalled(std::initializer_list<const char*> programs);

// `pattern` with the source `in` and the file `out`, quoted, in place of {in} and {out}.
std::string EncodeCommand(std::string pattern, const std::string& in, const std::string& out);

// Runs `command` through the shell, its output discarded; true when it exits with 0.
bool RunCommand(const std::string& command);

// The length of `path` as ffmpeg decodes it, in seconds: the samples of its first audio
// stream counted at 8 kHz; negative when it cannot be decoded.
double DecodedSeconds(const std::string& path);

// The audio frames (packets) that ffprobe reads from `path`; negative when it cannot.
long CountedFrames(const std::string& path);

// "WIDTHxHEIGHT" of the picture a song carries, as ffprobe reads it; empty where none.
std::string CoverSizeOf(const std::string& path);

// `text` quoted for the shell.
std::string ShellQuoted(const std::string& text);

}  // namespace sorvina::test
