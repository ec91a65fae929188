// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// What the fuzz targets share: a check that stops the run where a property fails, and a
// private folder for the targets that need real files.

// Stops with a message when `condition` is false. abort() makes libFuzzer keep the input
// as a crash, and fails the replay run that CTest makes.
#define FUZZ_CHECK(condition)                                                     \
  do {                                                                            \
    if (!(condition)) sorvina::fuzz::CheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)

namespace sorvina::fuzz {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// A folder made for this process on first use (on a memory-backed file system where there
// is one, as the targets write and flush files on every input) and removed with
// everything in it when the process exits normally.
const std::string& ProcessFolder();

// Writes `bytes` to `path` in full, replacing what was there; aborts when it cannot, as
// the target could not test anything then.
void WriteWholeFile(const std::string& path, std::string_view bytes);

// The endings of the music types, by which a file's tags are read. A target that reads a
// song's tags by its name lets its input's first byte pick one.
inline constexpr const char* kSongEndings[] = {".mp3", ".flac", ".ogg", ".opus",
                                               ".m4a", ".wma",  ".wav", ".aiff"};

// Writes the input less its first byte into the process folder as "input" with the ending
// that the first byte picks from kSongEndings (its value modulo their count), and returns
// its path; empty for an empty input.
std::string WriteSongFile(const std::uint8_t* data, std::size_t size);

// A caption is one line of a playlist entry: no control character may reach it.
bool IsOneLine(std::string_view caption);

// Whether `text` is well-formed UTF-8: no stray continuation byte, no cut sequence, no
// overlong form, no surrogate, nothing beyond U+10FFFF.
bool IsUtf8(std::string_view text);

// The bytes as text, for the targets whose input is text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace sorvina::fuzz
