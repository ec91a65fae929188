// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "media/file_types.h"
#include "platform/read_only_file.h"

namespace sorvina::media {

// What a file's own headers and tags tell.
struct TaggedAudio {
  std::int64_t seconds = 0;  // to the nearest second; 0 when the file cannot be read
  std::string caption;       // "Artist - Title" or the title; empty without a title
  // The file is of its format and its headers state audio of some length (or, for a FLAC
  // stream written as it was encoded, leave the length unknown). Not told for MPEG audio.
  bool holdsAudio = false;
};

// Reads the file at `path` as `format` with TagLib, opened once for both: the playing time
// from the audio properties (their quickest reading, which states whole seconds exactly
// for every format here) and the caption through the tags' common interface. An Ogg file
// is read as Vorbis, Opus, FLAC or Speex, whichever it holds. MPEG audio gives the caption
// alone (ID3v2, else ID3v1), as Mp3Info times it from the stream itself. Where TagLib
// falls short the containers are read directly: a WAV or AIFF file without a titled tag
// takes its INFO list or its NAME and AUTH chunks, an Opus file cut short is timed to its
// last whole page, and an MP4 file whose movie box TagLib refuses gives what its whole
// boxes hold. Like every tag reader it opens the file as TagInput does, so that a file
// TagInput refuses (an ASF header that claims more than it holds) reads as nothing.
TaggedAudio ReadTaggedAudio(const std::string& path, AudioFormat format);

// The same from a file that the caller has opened (and keeps open).
TaggedAudio ReadTaggedAudio(const platform::ReadOnlyFile& file, AudioFormat format);

// The same from the whole content of a file held in memory; nothing for more than 4 GiB,
// which the tag reader cannot hold.
TaggedAudio ReadTaggedAudio(std::span<const unsigned char> bytes, AudioFormat format);

}  // namespace sorvina::media
