// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorvina::media {

// How the playing time and the tags of a file are read.
enum class AudioFormat { kMpeg, kFlac, kOgg, kOpus, kMp4, kAsf, kWav, kAiff };

// A kind of music file that can be chosen, by the name that options and settings files
// use for it.
struct FileType {
  std::string_view name;                      // lower case: "mp3", "flac", ...
  std::span<const std::string_view> endings;  // of its file names, lower case, dot included
  AudioFormat format;
};

// Every type, in the order front ends offer them; "mp3", the default, comes first.
std::span<const FileType> AllFileTypes();

// The type of that name (lower case, exactly); nothing for a name no type has.
const FileType* FindFileType(std::string_view name);

// The type whose ending `path` has, letter case ignored, and that ending's length.
struct TypedName {
  const FileType* type = nullptr;  // none when no type's ending matches
  std::size_t endingLength = 0;
};
TypedName TypeOfName(std::string_view path);

// "mp3, FLAC,ogg" as names: split at commas, blanks dropped, letters made lower case;
// empty names are left out.
std::vector<std::string> ParseTypeList(std::string_view text);
std::string JoinTypeList(const std::vector<std::string>& names);

// The names of `names` that no type has, in their order.
std::vector<std::string> UnknownTypeNames(const std::vector<std::string>& names);

// The chosen types, as the collection tests names against them. Names that no type has
// are passed over (a settings file may come from a newer version); when no name is
// known, MP3 alone is chosen, as by default.
class FileTypeChoice {
 public:
  explicit FileTypeChoice(const std::vector<std::string>& names);
  // MP3 alone.
  static const FileTypeChoice& Default();

  // The length of the chosen ending that `name` ends in, letter case ignored; 0 when it
  // ends in none.
  std::size_t ChosenEndingLength(std::string_view name) const;

  // Whether the type is among the chosen ones.
  bool Contains(const FileType& type) const;

 private:
  std::vector<const FileType*> types_;
};

}  // namespace sorvina::media
