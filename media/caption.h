// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "text/path_style.h"

namespace sorvina::media {

// The caption a playlist shows for a file, in UTF-8: "Artist - Title" (or the title
// alone) from the ID3v2 tag, else from the ID3v1 tag, else the file name without its
// ".mp3". A tag with an artist but no title gives no caption. The file is opened for
// reading only and its audio is not looked at.
std::string ReadCaption(const std::string& path, text::PathStyle style = text::NativePathStyle());

// The caption from the tags alone; empty when the file has no usable tag or cannot be read.
std::string ReadTagCaption(const std::string& path);

// The same from the whole content of a file held in memory; empty for more than 4 GiB,
// which the tag reader cannot hold.
std::string ReadTagCaption(std::span<const unsigned char> bytes);

// The text after the last separator of `path`, less its last `endingLength` characters
// (the ".mp3" ending by default); a name no longer than that gives an empty caption.
// Characters are UTF-8 sequences, so a name is never cut inside one.
std::string FileNameCaption(std::string_view path, text::PathStyle style,
                            std::size_t endingLength = 4);

// A tag's title and artist as a caption on one line: "Artist - Title", or the title alone
// without an artist; empty without a title, whatever the artist.
std::string CaptionFromTexts(std::string title, const std::string& artist);

}  // namespace sorvina::media
