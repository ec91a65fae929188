// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/draw/weighted_draw.h"
#include "engine/player/player_profile.h"
#include "engine/report/run_summary.h"
#include "media/mp3_info.h"

namespace sorvina::engine {

// Takes the files out of `pool` that `profile` does not play, and tells how many of each
// type went.
std::vector<LeftOutFiles> LeaveOutUnplayable(CandidatePool& pool, const PlayerProfile& profile);

// Where each file of a fill goes on a player, planned while the files are drawn, within
// what the player takes: paths no deeper than its folder depth (the outermost folders
// joined: "Artist - Album"), names no longer than its name length (the extension kept)
// and in ASCII where it asks, no more files in a folder than it reads (the rest go to
// "Album (2)", "Album (3)", ...), no more folders than it reads, and no file it would
// refuse: too large, not playable (a song that goes as it is and does not decode as its
// type, as its headers tell: an MP3 without frames, a picture named as a song, an empty
// file), or an MP3 of a bitrate or sample rate it does not play; for a player that takes
// anything, no file is read. The files go below the player's music folder where one is
// given. Names are unique in their folder as FAT compares names, and made legal there
// where `fat`.
//
// As the gate of a draw, it refuses what the player cannot take (counting why), and keeps
// where each chosen file goes; a file refused for want of a folder leaves room for others.
class PlayerTargets : public CandidateGate {
 public:
  // `sources`: the settings' sources, for the paths below them where `keepFolders`.
  // `musicFolder`: where on the destination the files go ("" for the destination itself;
  // "MUSIC" on a player's root).
  PlayerTargets(const PlayerProfile& profile, const std::vector<std::string>& sources,
                bool keepFolders, std::string musicFolder, bool fat);

  // Songs of a type the player does not play, or MP3s it refuses, are converted for it:
  // they are not refused, and `extensionFor` gives the ending their names take ("" for a
  // song that goes as it is).
  void ConvertFor(std::function<std::string(const Candidate&)> extensionFor) {
    extensionFor_ = std::move(extensionFor);
  }

  bool Admits(const Candidate& candidate) override;
  void Chosen(const Candidate& candidate) override;

  // Where `candidate` goes below the destination, names separated by '/': where it went,
  // once chosen; else where it would go if chosen now.
  std::string RelativeTarget(const Candidate& candidate) const;
  // The same, for charging the space it takes: where the files are numbered, which gives
  // names known only after the draw, the name is taken as long as the player allows.
  std::string ChargedTarget(const Candidate& candidate, bool number) const;

  // The targets of `chosen` (chosen files, in play order). With `number`, each name is
  // "NNN caption.ext": its place among its folder's files, three digits or as many as the
  // folder's count needs, then `captionOf` the file ("Artist - Title").
  std::vector<std::string> FinalTargets(
      const std::vector<Candidate>& chosen, bool number,
      const std::function<std::string(const Candidate&)>& captionOf) const;

  // What the player's limits left out, by reason, in the order the reasons were met.
  const std::vector<LeftOutFiles>& leftOut() const { return leftOut_; }

 private:
  struct Placement {
    std::string folder;  // "" for the destination itself
    std::string name;
    std::size_t newFolders = 0;  // folders the plan does not hold yet
  };
  Placement Place(const Candidate& candidate) const;
  bool RefusesStream(const Candidate& candidate, std::int64_t size);
  std::vector<std::string> FoldersOf(const Candidate& candidate) const;
  std::string CleanName(std::string_view name, bool isFileName) const;
  std::string SongName(const Candidate& candidate) const;
  std::string SplitFolder(const std::vector<std::string>& folders) const;
  std::string UniqueName(const std::string& folder, const std::string& name,
                         const std::set<std::string>& taken) const;
  std::size_t NewFolders(const std::string& folder) const;
  void Refuse(LeftOutFiles::Reason reason, std::int64_t limit);

  const PlayerProfile& profile_;
  const std::vector<std::string>& sources_;
  bool keepFolders_;
  std::string musicFolder_;
  bool fat_;
  std::size_t nameLimit_;
  bool checksPlayable_;
  mutable media::Mp3Info mp3_;
  // The plan so far: the folders it holds (every level), the names taken in each folder
  // (as FAT keys), how many files each holds, and where each chosen file goes.
  std::set<std::string> folders_;
  std::map<std::string, std::set<std::string>> names_;
  std::map<std::string, std::size_t> fileCounts_;
  std::unordered_map<std::string, std::string> targets_;
  std::vector<LeftOutFiles> leftOut_;
  std::function<std::string(const Candidate&)> extensionFor_;
};

}  // namespace sorvina::engine
