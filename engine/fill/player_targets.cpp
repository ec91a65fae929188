// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/player_targets.h"

#include <algorithm>
#include <string_view>

#include "engine/fill/copy_targets.h"
#include "engine/output/playlist_paths.h"
#include "media/file_types.h"
#include "media/tags/tagged_audio.h"
#include "platform/file_system.h"
#include "text/ascii_name.h"
#include "text/path_style.h"
#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (const std::string& part : parts)
    joined += (joined.empty() ? "" : std::string(separator)) + part;
  return joined;
}

std::vector<std::string> Split(std::string_view path) {
  std::vector<std::string> parts;
  while (!path.empty()) {
    const std::size_t end = std::min(path.find('/'), path.size());
    if (end > 0) parts.emplace_back(path.substr(0, end));
    path.remove_prefix(std::min(end + 1, path.size()));
  }
  return parts;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + '/' + name;
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// "Song.mp3" as "Song" and ".mp3"; a name without a dot after its first character has
// no extension.
std::pair<std::string_view, std::string_view> StemAndExtension(std::string_view name) {
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

// The folder that holds the files of a folder beyond the first `k - 1` full ones: a
// numbered sibling ("Album (2)"), or below the music folder itself, a numbered folder in it.
constexpr std::string_view kOverflowFolder = "Songs";

}  // namespace

std::vector<LeftOutFiles> LeaveOutUnplayable(CandidatePool& pool, const PlayerProfile& profile) {
  std::vector<LeftOutFiles> leftOut;
  if (profile.outputFormats.empty()) return leftOut;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone;) {
    const CandidatePool::Index next = pool.next(i);
    const media::FileType* type = media::TypeOfName(pool[i].path).type;
    if (type != nullptr && !PlaysFileType(profile, type->name)) {
      std::string shown(type->name);
      std::transform(shown.begin(), shown.end(), shown.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      const auto same =
          std::find_if(leftOut.begin(), leftOut.end(),
                       [&](const LeftOutFiles& files) { return files.type == shown; });
      if (same != leftOut.end()) {
        ++same->count;
      } else {
        leftOut.push_back({LeftOutFiles::Reason::kNotPlayed, shown, 0, 1});
      }
      pool.Remove(i);
    }
    i = next;
  }
  if (!leftOut.empty()) pool.RecomputeTotalWeight();
  return leftOut;
}

PlayerTargets::PlayerTargets(const PlayerProfile& profile, const std::vector<std::string>& sources,
                             bool keepFolders, std::string musicFolder, bool fat)
    : profile_(profile),
      sources_(sources),
      keepFolders_(keepFolders),
      musicFolder_(std::move(musicFolder)),
      fat_(fat),
      nameLimit_(std::min<std::size_t>(
          kLongestName, static_cast<std::size_t>(
                            profile.limits.nameLength.value_or(static_cast<int>(kLongestName))))),
      checksPlayable_(!TakesAnything(profile)) {
  mp3_.SetConfirmFrameSync(checksPlayable_);
}

std::string PlayerTargets::CleanName(std::string_view name, bool isFileName) const {
  std::string clean = profile_.limits.asciiNames ? text::AsciiName(name) : std::string(name);
  const bool fatNames = fat_ || profile_.limits.asciiNames;
  if (fatNames) clean = transfer::FatSafeName(clean);
  clean = CutName(clean, isFileName, nameLimit_);
  // A cut may end a name, or the part before its extension, in a blank.
  if (isFileName) {
    const auto [stem, extension] = StemAndExtension(clean);
    const std::size_t end = stem.find_last_not_of(" .");
    if (!extension.empty() && end != std::string_view::npos && end + 1 < stem.size())
      clean = std::string(stem.substr(0, end + 1)) + std::string(extension);
  }
  return fatNames ? transfer::FatSafeName(clean) : clean;
}

std::vector<std::string> PlayerTargets::FoldersOf(const Candidate& candidate) const {
  std::vector<std::string> folders;
  if (keepFolders_ && candidate.source < sources_.size())
    folders = Split(RelativeToSource(sources_[candidate.source], candidate.path));
  if (!folders.empty()) folders.pop_back();  // the file's own name
  // Deeper than the player reads: the outermost folders become one, "Artist - Album".
  if (profile_.folderDepth) {
    const auto depth = static_cast<std::size_t>(std::max(0, *profile_.folderDepth));
    if (depth == 0) {
      folders.clear();
    } else if (folders.size() > depth) {
      const auto joinedEnd =
          folders.begin() + static_cast<std::ptrdiff_t>(folders.size() - depth + 1);
      std::vector<std::string> flattened = {Joined({folders.begin(), joinedEnd}, " - ")};
      flattened.insert(flattened.end(), joinedEnd, folders.end());
      folders = std::move(flattened);
    }
  }
  for (std::string& folder : folders)
    folder = CleanName(folder, false);
  std::vector<std::string> placed = Split(musicFolder_);
  placed.insert(placed.end(), folders.begin(), folders.end());
  return placed;
}

std::string PlayerTargets::SplitFolder(const std::vector<std::string>& folders) const {
  const std::string base = Joined(folders, "/");
  if (!profile_.limits.filesPerFolder) return base;
  const auto perFolder = static_cast<std::size_t>(*profile_.limits.filesPerFolder);
  const bool musicRoot = folders.size() <= Split(musicFolder_).size();
  for (std::size_t k = 1;; ++k) {
    std::string folder = base;
    if (k > 1) {
      const std::string suffix = " (" + std::to_string(k) + ")";
      const std::size_t room = nameLimit_ > suffix.size() ? nameLimit_ - suffix.size() : 1;
      if (musicRoot) {
        folder = InFolder(base, CutName(kOverflowFolder, false, room) + suffix);
      } else {
        std::vector<std::string> sibling = folders;
        sibling.back() = CutName(sibling.back(), false, room) + suffix;
        folder = Joined(sibling, "/");
      }
    }
    const auto count = fileCounts_.find(folder);
    if (count == fileCounts_.end() || count->second < perFolder) return folder;
  }
}

std::size_t PlayerTargets::NewFolders(const std::string& folder) const {
  std::size_t missing = 0;
  for (std::size_t end = 0; end <= folder.size() && !folder.empty();) {
    end = folder.find('/', end);
    if (end == std::string::npos) end = folder.size();
    if (!folders_.contains(folder.substr(0, end))) ++missing;
    ++end;
  }
  return missing;
}

std::string PlayerTargets::UniqueName(const std::string& folder, const std::string& name,
                                      const std::set<std::string>& taken) const {
  (void)folder;
  if (!taken.contains(transfer::FatNameKey(name))) return name;
  for (unsigned k = 2;; ++k) {
    std::string numbered = transfer::NumberedName(name, k, {nameLimit_, false});
    if (!taken.contains(transfer::FatNameKey(numbered))) return numbered;
  }
}

std::string PlayerTargets::SongName(const Candidate& candidate) const {
  std::string name(FileNameOf(candidate.path));
  const std::string extension = extensionFor_ ? extensionFor_(candidate) : std::string();
  if (extension.empty()) return name;
  return std::string(StemAndExtension(name).first) + extension;
}

PlayerTargets::Placement PlayerTargets::Place(const Candidate& candidate) const {
  Placement placement;
  placement.folder = SplitFolder(FoldersOf(candidate));
  placement.newFolders = NewFolders(placement.folder);
  static const std::set<std::string> kNone;
  const auto taken = names_.find(placement.folder);
  placement.name = UniqueName(placement.folder, CleanName(SongName(candidate), true),
                              taken != names_.end() ? taken->second : kNone);
  return placement;
}

void PlayerTargets::Refuse(LeftOutFiles::Reason reason, std::int64_t limit) {
  for (LeftOutFiles& files : leftOut_) {
    if (files.reason == reason) {
      ++files.count;
      return;
    }
  }
  leftOut_.push_back({reason, {}, limit, 1});
}

// The song's own headers are read only for the files a draw reaches, and only where the
// player asks something of them: a song that goes as it is must decode as its type (the
// MP3 stream analysis that the bitrate limit needs anyway, or the tag reader's look at the
// other formats' headers), and an MP3 must keep to the player's bitrate and sample rates.
// A song to be converted is decoded by its conversion, which tells where it cannot be.
bool PlayerTargets::RefusesStream(const Candidate& candidate, std::int64_t size) {
  const PlayerLimits& limits = profile_.limits;
  const bool assumePlayable =
      !checksPlayable_ || (extensionFor_ && !extensionFor_(candidate).empty());
  const bool mp3Limits = !extensionFor_ && (limits.maxBitrate || !limits.sampleRates.empty());
  const media::FileType* type = media::TypeOfName(candidate.path).type;
  if (type != nullptr && type->format != media::AudioFormat::kMpeg) {
    if (assumePlayable || media::ReadTaggedAudio(candidate.path, type->format).holdsAudio)
      return false;
    Refuse(LeftOutFiles::Reason::kNotPlayable, 0);
    return true;
  }
  if (assumePlayable && !mp3Limits) return false;
  using Status = media::Mp3Info::Status;
  const Status status = mp3_.Open(candidate.path, std::max<std::int64_t>(size, 0));
  // Out of descriptors, the file could not be looked at: nothing is known against it.
  if (!assumePlayable && status != Status::kCannotOpen &&
      (status != Status::kOk || !mp3_.HasFrameSync())) {
    Refuse(LeftOutFiles::Reason::kNotPlayable, 0);
    return true;
  }
  if (!mp3Limits || status != Status::kOk) return false;
  const int bitrate = mp3_.GetStreamBitrate();
  if (limits.maxBitrate && bitrate > *limits.maxBitrate) {
    Refuse(LeftOutFiles::Reason::kBitrate, *limits.maxBitrate);
    return true;
  }
  const auto& rates = limits.sampleRates;
  if (!rates.empty() &&
      std::find(rates.begin(), rates.end(), mp3_.GetSampleRate()) == rates.end()) {
    Refuse(LeftOutFiles::Reason::kSampleRate, 0);
    return true;
  }
  return false;
}

bool PlayerTargets::Admits(const Candidate& candidate) {
  const PlayerLimits& limits = profile_.limits;
  std::int64_t size = candidate.sizeBytes;
  if (limits.maxFileSize) {
    if (size <= 0) {
      const std::optional<platform::FileStatus> status = platform::GetFileStatus(candidate.path);
      size = status ? status->sizeBytes : 0;
    }
    if (size > *limits.maxFileSize) {
      Refuse(LeftOutFiles::Reason::kTooLarge, *limits.maxFileSize);
      return false;
    }
  }
  if (RefusesStream(candidate, size)) return false;
  if (limits.folders) {
    const Placement placement = Place(candidate);
    if (folders_.size() + placement.newFolders > static_cast<std::size_t>(*limits.folders)) {
      Refuse(LeftOutFiles::Reason::kNoFolderLeft, *limits.folders);
      return false;
    }
  }
  return true;
}

void PlayerTargets::Chosen(const Candidate& candidate) {
  const Placement placement = Place(candidate);
  const std::string& folder = placement.folder;
  for (std::size_t end = 0; end <= folder.size() && !folder.empty(); ++end) {
    end = std::min(folder.find('/', end), folder.size());
    folders_.insert(folder.substr(0, end));
  }
  names_[folder].insert(transfer::FatNameKey(placement.name));
  ++fileCounts_[folder];
  targets_[candidate.path] = InFolder(folder, placement.name);
}

std::string PlayerTargets::RelativeTarget(const Candidate& candidate) const {
  if (const auto target = targets_.find(candidate.path); target != targets_.end())
    return target->second;
  const Placement placement = Place(candidate);
  return InFolder(placement.folder, placement.name);
}

std::string PlayerTargets::ChargedTarget(const Candidate& candidate, bool number) const {
  std::string target = RelativeTarget(candidate);
  if (!number) return target;
  const std::string folder(FolderOf(target, text::PathStyle::kPosix));
  return folder + std::string(nameLimit_, 'x');
}

std::vector<std::string> PlayerTargets::FinalTargets(
    const std::vector<Candidate>& chosen, bool number,
    const std::function<std::string(const Candidate&)>& captionOf) const {
  std::vector<std::string> targets;
  targets.reserve(chosen.size());
  for (const Candidate& candidate : chosen)
    targets.push_back(RelativeTarget(candidate));
  if (!number) return targets;

  std::map<std::string, std::size_t> perFolder;
  for (const std::string& target : targets)
    ++perFolder[std::string(FolderOf(target, text::PathStyle::kPosix))];
  std::map<std::string, std::size_t> placed;
  std::map<std::string, std::set<std::string>> taken;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const std::string folderWithSlash(FolderOf(targets[i], text::PathStyle::kPosix));
    const std::size_t place = ++placed[folderWithSlash];
    const std::size_t width =
        std::max<std::size_t>(3, std::to_string(perFolder[folderWithSlash]).size());
    std::string digits = std::to_string(place);
    digits.insert(0, width - digits.size(), '0');
    std::string caption = captionOf(chosen[i]);
    const std::string songName = SongName(chosen[i]);
    const auto [stem, extension] = StemAndExtension(songName);
    if (caption.empty()) caption = stem;
    std::replace(caption.begin(), caption.end(), '/', '_');
    const std::string name = CleanName(digits + ' ' + caption + std::string(extension), true);
    std::set<std::string>& names = taken[folderWithSlash];
    const std::string unique = UniqueName(folderWithSlash, name, names);
    names.insert(transfer::FatNameKey(unique));
    targets[i] = folderWithSlash + unique;
  }
  return targets;
}

}  // namespace sorvina::engine
