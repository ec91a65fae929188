// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/file_types.h"

#include <algorithm>
#include <array>

#include "text/path_style.h"

namespace sorvina::media {
namespace {

constexpr std::string_view kMp3Endings[] = {".mp3"};
constexpr std::string_view kFlacEndings[] = {".flac"};
constexpr std::string_view kOggEndings[] = {".ogg", ".oga"};
constexpr std::string_view kOpusEndings[] = {".opus"};
constexpr std::string_view kM4aEndings[] = {".m4a", ".m4b"};
constexpr std::string_view kWmaEndings[] = {".wma"};
constexpr std::string_view kWavEndings[] = {".wav"};
constexpr std::string_view kAiffEndings[] = {".aiff", ".aif", ".aifc"};

constexpr std::array<FileType, 8> kFileTypes = {{
    {"mp3", kMp3Endings, AudioFormat::kMpeg},
    {"flac", kFlacEndings, AudioFormat::kFlac},
    {"ogg", kOggEndings, AudioFormat::kOgg},
    {"opus", kOpusEndings, AudioFormat::kOpus},
    {"m4a", kM4aEndings, AudioFormat::kMp4},
    {"wma", kWmaEndings, AudioFormat::kAsf},
    {"wav", kWavEndings, AudioFormat::kWav},
    {"aiff", kAiffEndings, AudioFormat::kAiff},
}};

std::size_t MatchingEndingLength(const FileType& type, std::string_view name) {
  for (std::string_view ending : type.endings) {
    if (text::EndsWithNoCase(name, ending)) return ending.size();
  }
  return 0;
}

}  // namespace

std::span<const FileType> AllFileTypes() {
  return kFileTypes;
}

const FileType* FindFileType(std::string_view name) {
  for (const FileType& type : kFileTypes) {
    if (type.name == name) return &type;
  }
  return nullptr;
}

TypedName TypeOfName(std::string_view path) {
  for (const FileType& type : kFileTypes) {
    if (const std::size_t length = MatchingEndingLength(type, path)) return {&type, length};
  }
  return {};
}

std::vector<std::string> ParseTypeList(std::string_view text) {
  std::vector<std::string> names;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    std::string name;
    for (char c : text.substr(0, comma)) {
      if (c == ' ' || c == '\t') continue;
      name += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (!name.empty()) names.push_back(std::move(name));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  return names;
}

std::string JoinTypeList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ",") + name;
  return text;
}

std::vector<std::string> UnknownTypeNames(const std::vector<std::string>& names) {
  std::vector<std::string> unknown;
  for (const std::string& name : names) {
    if (FindFileType(name) == nullptr) unknown.push_back(name);
  }
  return unknown;
}

FileTypeChoice::FileTypeChoice(const std::vector<std::string>& names) {
  for (const FileType& type : kFileTypes) {
    if (std::find(names.begin(), names.end(), type.name) != names.end()) types_.push_back(&type);
  }
  if (types_.empty()) types_.push_back(&kFileTypes[0]);
}

const FileTypeChoice& FileTypeChoice::Default() {
  static const FileTypeChoice mp3Alone({});
  return mp3Alone;
}

std::size_t FileTypeChoice::ChosenEndingLength(std::string_view name) const {
  for (const FileType* type : types_) {
    if (const std::size_t length = MatchingEndingLength(*type, name)) return length;
  }
  return 0;
}

bool FileTypeChoice::Contains(const FileType& type) const {
  return std::find(types_.begin(), types_.end(), &type) != types_.end();
}

}  // namespace sorvina::media
