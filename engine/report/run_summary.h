// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvina::engine {

// Why a run whose pool held files chose none of them.
struct NothingFits {
  bool inSeconds = false;  // the amounts are seconds; else bytes
  // `fileAmount` is the least that any file needs; else what the first file drawn needs.
  bool smallestFile = false;
  std::int64_t fileAmount = 0;
  std::int64_t limit = 0;
  bool freeSpace = false;  // the limit is the destination's free space
};

// What became of the files the previous fill of a destination put there.
struct Replacement {
  bool anyPrevious = false;  // a record of an earlier fill was found
  std::size_t removed = 0;   // removed (or, in a dry run, to be removed)
  std::size_t kept = 0;      // chosen again and left where they were
  // Left in place: changed or replaced by the user since, or they could not be removed.
  std::size_t left = 0;
  // Replacing only what was heard: how many not yet played stay (`removed` were heard).
  std::optional<std::size_t> unheardKept = std::nullopt;
};

// Files that a player's profile left out of a fill, and why.
struct LeftOutFiles {
  enum class Reason {
    kNotPlayed,     // of a type the player does not play (`type`: "FLAC")
    kTooLarge,      // larger than `limit` bytes
    kBitrate,       // an MP3 of more than `limit` kbit/s
    kSampleRate,    // an MP3 of a sample rate it does not play
    kNoFolderLeft,  // it would need a folder beyond the `limit` the player reads
    kNotPlayable,   // it does not decode as its type: no audio a player could find
  };
  Reason reason = Reason::kNotPlayed;
  std::string type = {};
  std::int64_t limit = 0;
  std::size_t count = 0;
  friend bool operator==(const LeftOutFiles&, const LeftOutFiles&) = default;
};

// Songs the filters left out before the draw, by the first filter that did, and files set
// aside as other copies of a recording.
struct FilteredSongs {
  std::size_t byPattern = 0;
  std::size_t byDateChanged = 0;
  std::size_t byGenre = 0;
  std::size_t byYear = 0;
  std::size_t byLength = 0;
  std::size_t duplicates = 0;
  friend bool operator==(const FilteredSongs&, const FilteredSongs&) = default;
};

// What a run that got to its output did: the data of the one line the front ends show
// when it is over.
struct RunSummary {
  bool copy = false;    // copied into a folder; else a playlist
  bool dryRun = false;  // chosen only: nothing was copied or written
  std::string destination = {};
  std::size_t chosenFiles = 0;
  // Copied, or written into the playlist (or, in a dry run, chosen).
  std::size_t doneFiles = 0;
  std::int64_t doneBytes = 0;
  // Their playing time where the draw measured it (the hours limit).
  std::optional<std::int64_t> doneSeconds = std::nullopt;
  // Left out on purpose: a name conflict answered Skip, a path no playlist line holds.
  std::size_t skippedFiles = 0;
  std::size_t failedFiles = 0;
  bool cancelled = false;
  std::optional<NothingFits> nothingFits = std::nullopt;
  // Replacing the previous fill: what became of its files; none when not replacing.
  std::optional<Replacement> replacement = std::nullopt;
  // What the player's profile left out.
  std::vector<LeftOutFiles> leftOut = {};
  // Songs converted for the player: encoded by this run, and found converted already.
  std::size_t encoded = 0;
  std::size_t convertedBefore = 0;
  // Of those, the songs converted because the player could not take them as they were.
  std::vector<LeftOutFiles> convertedFor = {};
  // Songs copied as they are but with their covers made smaller for the player.
  std::size_t coversFitted = 0;
  // Chosen songs left out because they could not be converted, and the first one's reason
  // (in words, naming the cache folder where keeping the converted song failed).
  std::size_t notConverted = 0;
  std::string notConvertedReason = {};
  // The draw ran out of songs to choose with room left, because no more than
  // `maxPerArtist` songs of one artist were taken (of `artists` artists).
  struct ArtistLimit {
    int maxPerArtist = 0;
    std::size_t artists = 0;
  };
  std::optional<ArtistLimit> stoppedByArtistLimit = std::nullopt;
  // What the filters left out.
  FilteredSongs filtered = {};
};

}  // namespace sorvina::engine
