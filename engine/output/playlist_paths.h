// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/path_style.h"

namespace sorvina::engine {

// The path that leads from the folder `folder` to the file `path`, for a playlist entry
// that stays right when the playlist moves with its files: the names after the folders
// the two share, with ".." for each folder of `folder` beyond them, separated as `style`
// separates. Both are absolute, or both relative to the same folder. Nothing where no
// such path is worth writing: the two lie on different drives, share nothing but the
// root of the file system (unless `folder` is that root), or either holds an empty, "."
// or ".." name, which a path in text cannot step through reliably.
std::optional<std::string> RelativeEntry(std::string_view folder, std::string_view path,
                                         text::PathStyle style = text::NativePathStyle());

// The path lines of a playlist at `playlist` that lists `paths`: each relative to the
// playlist's folder (RelativeEntry), or as it is where no relative path is worth writing.
std::vector<std::string> RelativeEntryLines(std::string_view playlist,
                                            const std::vector<std::string>& paths,
                                            text::PathStyle style = text::NativePathStyle());

// The folder of the file `path`: everything before its last separator, that separator
// included; empty for a bare name.
std::string_view FolderOf(std::string_view path, text::PathStyle style = text::NativePathStyle());

}  // namespace sorvina::engine
