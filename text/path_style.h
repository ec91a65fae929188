// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sorvina::text {

// How path text is spelled. Windows style: '\' separates, '/' is accepted too, drive
// letters, names compared without regard to (ASCII) letter case. POSIX style: '/'
// separates, names compared byte for byte. Only the native style touches the file
// system; the Windows style exists so that path logic can be exercised with its examples.
enum class PathStyle { kWindows, kPosix };

constexpr PathStyle NativePathStyle() {
#ifdef _WIN32
  return PathStyle::kWindows;
#else
  return PathStyle::kPosix;
#endif
}

constexpr char Separator(PathStyle style) {
  return style == PathStyle::kWindows ? '\\' : '/';
}
constexpr char OtherSeparator(PathStyle style) {
  return style == PathStyle::kWindows ? '/' : '\\';
}

// True when `c` separates path components in `style`: both slashes in Windows style,
// only '/' in POSIX style (where a backslash is an ordinary name character).
bool IsSeparator(char c, PathStyle style);

bool EndsWithSeparator(std::string_view path, PathStyle style);

// Splits at every separator. A leading separator yields the root component (the separator
// itself), so "/a/b" gives {"/", "a", "b"}; repeated separators yield empty components.
std::vector<std::string_view> SplitComponents(std::string_view path, PathStyle style);

// Lower-cases (upper-cases) ASCII letters only: other bytes of a multibyte name stay as
// they are.
constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Whether two names (or whole paths) denote the same thing in `style`.
bool NamesEqual(std::string_view a, std::string_view b, PathStyle style);

// The form of `name` under which equal names compare equal bytewise (ASCII lower case in
// Windows style, unchanged in POSIX style); for hashing and lookups.
std::string FoldName(std::string_view name, PathStyle style);

// Letter-case-blind comparison of an ending, as used for the ".mp3" and ".m3u" endings in
// every style: a file Song.MP3 is an MP3 file on any system.
bool EndsWithNoCase(std::string_view text, std::string_view ending);

// Replaces every other separator by the separator of `style`.
void ToSeparators(std::string& path, PathStyle style);

// Paths as this system spells them, and paths below a folder ("Rock/Live/a.mp3", as a
// fill names what lies in its destination): names separated by '/'.
//
// The folder that holds `path` and its last name, trailing separators ignored: "a/b/"
// gives "a" and "b", "b" gives "" and "b", "/b" gives "/" and "b", "/" gives "/" and "".
struct PathParts {
  std::string folder;
  std::string name;
};
PathParts SplitPath(std::string_view path);
// The same for a path without a separator at its end: the folder ("" for
// a single name) and the last name.
std::string ParentPath(std::string_view path);
std::string LastName(std::string_view path);
// `name` inside `folder`; an empty folder is the current one (or the top of a tree).
std::string JoinPath(std::string_view folder, std::string_view name);
// Whether `path` is `entry` or lies below it: "Rock/a.mp3" is below "Rock", not below
// "Ro"; nothing is below an empty entry.
bool IsAtOrBelow(std::string_view path, std::string_view entry);

}  // namespace sorvina::text
