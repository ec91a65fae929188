// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/path_style.h"

// The caption a playlist shows for a file, in UTF-8, made from texts that its tags give
// (ReadTaggedAudio reads them) or from its name. A caption is one line.
namespace sorvina::media {

// The text after the last separator of `path`, less its last `endingLength` characters
// (the ".mp3" ending by default); a name no longer than that gives an empty caption.
// Characters are UTF-8 sequences, so a name is never cut inside one.
std::string FileNameCaption(std::string_view path, text::PathStyle style,
                            std::size_t endingLength = 4);

// A tag's title and artist as a caption on one line: "Artist - Title", or the title alone
// without an artist; empty without a title, whatever the artist.
std::string CaptionFromTexts(std::string title, const std::string& artist);

}  // namespace sorvina::media
