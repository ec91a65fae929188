// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mount_table.h"

#include <algorithm>
#include <charconv>

#include "platform/text_lines.h"

namespace sorvina::platform {
namespace {

// A field with its octal escapes ("\040", a backslash and three digits) undone.
std::string Unescaped(std::string_view field) {
  const auto octal = [&field](std::size_t at, char highest) {
    return field[at] >= '0' && field[at] <= highest;
  };
  std::string text;
  text.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1, '3') && octal(i + 2, '7') &&
        octal(i + 3, '7')) {
      text.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                       (field[i + 3] - '0')));
      i += 3;
    } else {
      text.push_back(field[i]);
    }
  }
  return text;
}

// The table read in place of the process's own one; null: none.
const std::string* overridingTable = nullptr;

}  // namespace

MountTableOverride::MountTableOverride(std::string path) : path_(std::move(path)) {
  overridingTable = &path_;
}

MountTableOverride::~MountTableOverride() {
  overridingTable = nullptr;
}

std::optional<DeviceNumber> ParseDeviceNumber(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size())
    return std::nullopt;
  DeviceNumber number;
  const char* end = text.data() + text.size();
  const auto major = std::from_chars(text.data(), text.data() + colon, number.major);
  const auto minor = std::from_chars(text.data() + colon + 1, end, number.minor);
  if (major.ec != std::errc() || major.ptr != text.data() + colon || minor.ec != std::errc() ||
      minor.ptr != end)
    return std::nullopt;
  return number;
}

std::optional<MountEntry> ParseMountLine(std::string_view line) {
  // Fields are parted by single blanks: blanks within them are escaped.
  std::vector<std::string_view> fields;
  while (!line.empty()) {
    const std::size_t blank = line.find(' ');
    if (blank != 0) fields.push_back(line.substr(0, blank));
    line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  }
  if (fields.size() < 6) return std::nullopt;
  const std::optional<DeviceNumber> device = ParseDeviceNumber(fields[2]);
  if (!device) return std::nullopt;
  MountEntry entry;
  entry.device = *device;
  entry.root = Unescaped(fields[3]);
  entry.mountPoint = Unescaped(fields[4]);
  // Any number of optional fields ("shared:1", "master:2") follow the options; a lone
  // dash ends them.
  const auto dash = std::find(fields.begin() + 6, fields.end(), "-");
  if (dash != fields.end() && fields.end() - dash >= 2) entry.type = Unescaped(*(dash + 1));
  if (dash != fields.end() && fields.end() - dash >= 3) entry.source = Unescaped(*(dash + 2));
  return entry;
}

std::vector<MountEntry> ReadMountTable(const std::string& path) {
  std::vector<MountEntry> mounts;
  LineReader reader;
  const bool overridden = overridingTable != nullptr && path == kMountTable;
  if (!reader.Open(overridden ? *overridingTable : path)) return mounts;
  std::string line;
  while (reader.Next(line)) {
    if (std::optional<MountEntry> mount = ParseMountLine(line)) mounts.push_back(std::move(*mount));
  }
  return mounts;
}

}  // namespace sorvina::platform
