// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/history/gather_play_history.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <utility>

#include "engine/history/history_messages.h"
#include "engine/history/history_sources.h"
#include "engine/history/history_store.h"
#include "engine/report/run_ports.h"
#include "platform/contained_folder.h"
#include "platform/content_fingerprint.h"
#include "platform/mount_table.h"
#include "platform/user_folders.h"

namespace sorvina::engine {
namespace {

using history::HeardEntry;
using history::HistoryStore;
using history::LowerAscii;
using history::SourceRead;

// A log is known again by the hash of its first bytes, up to this many.
constexpr std::size_t kLogHeadBytes = 1024;
// Lengths of one song from two sources that differ by no more than this are the same song.
constexpr std::int64_t kLengthTolerance = 2;

class KeptHistory : public PlayHistory {
 public:
  explicit KeptHistory(std::unordered_map<std::string, SongPlays> plays)
      : plays_(std::move(plays)) {}
  std::optional<SongPlays> PlaysOf(std::string_view libraryPath) const override {
    const auto found = plays_.find(std::string(libraryPath));
    if (found == plays_.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::unordered_map<std::string, SongPlays> plays_;
};

// Finds the library song a play was of: by the path it was played from, else by its
// MusicBrainz recording id, else by artist and title (letter case aside) and a length
// within two seconds. The library's tags are asked for only when a play needs them.
class SongMatcher {
 public:
  SongMatcher(const HistoryRequest& request, std::string playerFolder)
      : request_(request), playerFolder_(std::move(playerFolder)) {
    for (const auto& [onPlayer, libraryPath] : request.recordedFiles) {
      recorded_.emplace(onPlayer, libraryPath);
      recordedFolded_.emplace(LowerAscii(onPlayer), libraryPath);
    }
  }

  // A play read from the player's log, whose path is one on the player's volume.
  std::optional<std::string> OnPlayer(const HeardEntry& entry) {
    if (!entry.path.empty()) {
      std::string_view path = entry.path;
      while (path.starts_with('/'))
        path.remove_prefix(1);
      if (!playerFolder_.empty()) {
        // A song outside the player's folder is none a fill put there; FAT and exFAT take
        // names in any letter case.
        const std::string prefix = LowerAscii(playerFolder_) + "/";
        if (LowerAscii(path.substr(0, prefix.size())) != prefix) return std::nullopt;
        path.remove_prefix(prefix.size());
      }
      if (!platform::ContainedFolder::IsContainedPath(path)) return std::nullopt;
      if (const auto found = recorded_.find(std::string(path)); found != recorded_.end())
        return found->second;
      if (const auto found = recordedFolded_.find(LowerAscii(path)); found != recordedFolded_.end())
        return found->second;
      return std::nullopt;
    }
    return ByTags(entry);
  }

  // A play read from a program of this computer: its path is the library's, or one
  // relative to a music folder.
  std::optional<std::string> OnComputer(const HeardEntry& entry) {
    if (entry.path.starts_with('/')) return entry.path;
    if (!entry.path.empty() && platform::ContainedFolder::IsContainedPath(entry.path)) {
      Load();
      const std::string ending = "/" + entry.path;
      const auto named = byName_.find(entry.path.substr(entry.path.rfind('/') + 1));
      if (named != byName_.end()) {
        for (const std::size_t song : named->second) {
          if (songs_[song].path.ends_with(ending)) return songs_[song].path;
        }
      }
    }
    return ByTags(entry);
  }

 private:
  std::optional<std::string> ByTags(const HeardEntry& entry) {
    if (entry.title.empty() && entry.recordingId.empty()) return std::nullopt;
    Load();
    if (!entry.recordingId.empty()) {
      if (const auto found = byRecording_.find(entry.recordingId); found != byRecording_.end())
        return songs_[found->second].path;
    }
    const auto named = byArtistTitle_.find(Key(entry.artist, entry.title));
    if (named == byArtistTitle_.end()) return std::nullopt;
    const std::vector<std::size_t>& candidates = named->second;
    for (const std::size_t song : candidates) {
      const std::int64_t seconds = songs_[song].seconds;
      if (entry.seconds > 0 && seconds > 0 && std::abs(seconds - entry.seconds) <= kLengthTolerance)
        return songs_[song].path;
    }
    // Where a length is not known, only a song that no other shares artist and title with.
    if (candidates.size() == 1 && (entry.seconds == 0 || songs_[candidates[0]].seconds == 0))
      return songs_[candidates[0]].path;
    return std::nullopt;
  }

  static std::string Key(std::string_view artist, std::string_view title) {
    return LowerAscii(artist) + '\t' + LowerAscii(title);
  }

  void Load() {
    if (loaded_) return;
    loaded_ = true;
    if (request_.librarySongs) songs_ = request_.librarySongs();
    for (std::size_t i = 0; i < songs_.size(); ++i) {
      const KnownSong& song = songs_[i];
      if (!song.recordingId.empty()) byRecording_.emplace(LowerAscii(song.recordingId), i);
      if (!song.title.empty()) byArtistTitle_[Key(song.artist, song.title)].push_back(i);
      byName_[song.path.substr(song.path.rfind('/') + 1)].push_back(i);
    }
  }

  const HistoryRequest& request_;
  std::string playerFolder_;
  std::unordered_map<std::string, std::string> recorded_;
  std::unordered_map<std::string, std::string> recordedFolded_;
  bool loaded_ = false;
  std::vector<KnownSong> songs_;
  std::unordered_map<std::string, std::size_t> byRecording_;
  std::unordered_map<std::string, std::vector<std::size_t>> byArtistTitle_;
  std::unordered_map<std::string, std::vector<std::size_t>> byName_;
};

// Says what a source held that was not used.
void Report(const std::string& name, const SourceRead& read, std::int64_t unmatched,
            RunPorts& ports) {
  if (read.damaged > 0)
    ports.ShowWarning(
        text::Counted(kHistoryDamagedMessage, static_cast<std::int64_t>(read.damaged), {name}));
  if (read.cut) ports.ShowWarning({kHistoryCutMessage, {name}});
  if (unmatched > 0) ports.ShowWarning(text::Counted(kHistoryUnmatchedMessage, unmatched, {name}));
}

// Keeps each listen of `read` that matches a song; the count of those that match none.
template <class Match>
std::int64_t KeepListens(std::string_view source, const SourceRead& read, Match match,
                         HistoryStore& store) {
  std::int64_t unmatched = 0;
  for (const HeardEntry& entry : read.entries) {
    const std::optional<std::string> song = match(entry);
    if (!song) {
      ++unmatched;
      continue;
    }
    store.AddListen(source, *song, entry.lastPlayed ? entry.lastPlayed : entry.lastSkipped,
                    entry.playCount == 0, entry.seconds);
  }
  return unmatched;
}

std::string HeadHash(std::string_view bytes) {
  return platform::DigestText(platform::Sha256(bytes));
}

// Up to `size` bytes at `offset` of `fd`.
std::string ReadRange(int fd, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got =
        ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

// Reads what was added to the player's log `relative` (below the volume's root `root`)
// since it was last read, and keeps its listens.
void ReadPlayerLog(const platform::ContainedFolder& root, const std::string& rootPath,
                   const char* relative, const char* log, bool playback, std::int64_t now,
                   const GatherSettings& settings, SongMatcher& matcher, HistoryStore& store,
                   RunPorts& ports) {
  const std::string name = rootPath + "/" + relative;
  int error = 0;
  const platform::UniqueFd fd = root.OpenFile(relative, &error);
  if (!fd.valid()) {
    if (error != ENOENT)
      ports.ShowWarning({kHistoryUnreadableMessage, {name, std::string(std::strerror(error))}});
    return;
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return;
  const auto size = static_cast<std::uint64_t>(status.st_size);
  // Where the log was read before, it goes on from there: known again by its first bytes,
  // so that a log the player began anew, or another player's, is read from its start.
  std::uint64_t start = 0;
  std::map<std::int64_t, std::string> heads;
  for (const HistoryStore::LogMark& mark : store.MarksOf(log)) {
    if (mark.headLength <= 0 || static_cast<std::uint64_t>(mark.sizeRead) > size) continue;
    auto [head, made] = heads.try_emplace(mark.headLength);
    if (made) head->second = HeadHash(ReadRange(fd.get(), 0, mark.headLength));
    if (head->second == mark.headHash) {
      start = static_cast<std::uint64_t>(mark.sizeRead);
      break;
    }
  }
  if (start >= size) return;
  SourceRead read;
  std::uint64_t from = start;
  if (size - start > settings.largestLogRead) {
    from = size - settings.largestLogRead;
    read.cut = true;
  }
  std::string bytes = ReadRange(fd.get(), from, static_cast<std::size_t>(size - from));
  std::size_t skipped = 0;
  // Cut in the middle of a line: that line is passed over with the older ones.
  if (from != start) {
    const std::size_t lineEnd = bytes.find('\n');
    skipped = lineEnd == std::string::npos ? bytes.size() : lineEnd + 1;
  }
  const std::string_view fresh = std::string_view(bytes).substr(skipped);
  const bool cut = read.cut;
  read = playback ? history::ParsePlaybackLog(fresh, now, settings.limits)
                  : history::ParseScrobblerLog(fresh, now, settings.limits);
  read.cut = read.cut || cut;
  const std::int64_t unmatched = KeepListens(
      log, read, [&](const HeardEntry& entry) { return matcher.OnPlayer(entry); }, store);
  const std::uint64_t end = from + skipped + read.consumed;
  if (end > 0) {
    const auto headLength = static_cast<std::size_t>(std::min<std::uint64_t>(end, kLogHeadBytes));
    store.Remember(log,
                   {static_cast<std::int64_t>(headLength),
                    HeadHash(ReadRange(fd.get(), 0, headLength)), static_cast<std::int64_t>(end)},
                   now);
  }
  Report(name, read, unmatched, ports);
}

void ReadComputerSource(const std::string& path, std::int64_t now, const GatherSettings& settings,
                        SongMatcher& matcher, HistoryStore& store, RunPorts& ports) {
  std::string error;
  const std::optional<history::SourceKind> kind = history::KindOfFile(path, error);
  std::optional<SourceRead> read;
  if (kind) read = history::ReadSourceFile(*kind, path, now, settings.limits, error);
  if (!read) {
    ports.ShowWarning({kHistoryUnreadableMessage, {path, error}});
    return;
  }
  const auto match = [&](const HeardEntry& entry) { return matcher.OnComputer(entry); };
  std::int64_t unmatched = 0;
  if (history::GivesListens(*kind)) {
    unmatched = KeepListens(history::KindName(*kind), *read, match, store);
  } else {
    std::unordered_map<std::string, SongPlays> tallies;
    for (const HeardEntry& entry : read->entries) {
      const std::optional<std::string> song = match(entry);
      if (!song) {
        unmatched += std::max<std::int64_t>(entry.playCount, 1);
        continue;
      }
      SongPlays& plays = tallies[*song];
      plays.playCount += entry.playCount;
      if (entry.lastPlayed)
        plays.lastPlayed = std::max(plays.lastPlayed.value_or(0), *entry.lastPlayed);
    }
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    store.ReplaceTallies(std::string(history::KindName(*kind)) + ":" + absolute.string(), tallies);
  }
  Report(path, *read, unmatched, ports);
}

}  // namespace

std::optional<PlayerVolume> FindPlayerVolume(const std::string& playerPath,
                                             std::uint64_t playerDevice) {
  std::error_code error;
  const std::string real = std::filesystem::canonical(playerPath, error).string();
  if (error) return std::nullopt;
  const platform::DeviceNumber device{major(playerDevice), minor(playerDevice)};
  const platform::MountEntry* best = nullptr;
  const std::vector<platform::MountEntry> mounts = platform::ReadMountTable();
  for (const platform::MountEntry& mount : mounts) {
    const std::string& point = mount.mountPoint;
    const bool inside = point == "/" || real == point || real.starts_with(point + "/");
    if (inside && mount.device == device &&
        (best == nullptr || point.size() >= best->mountPoint.size()))
      best = &mount;
  }
  // A folder of a volume mounted elsewhere (a bind mount) does not reach the volume's root.
  if (best == nullptr || best->root != "/") return std::nullopt;
  std::string below = real.substr(std::min(real.size(), best->mountPoint.size()));
  while (below.starts_with('/'))
    below.erase(0, 1);
  return PlayerVolume{best->mountPoint, below};
}

std::unique_ptr<PlayHistory> GatherPlayHistory(const HistoryRequest& request, RunPorts& ports) {
  return GatherPlayHistory(request, ports, GatherSettings{});
}

std::unique_ptr<PlayHistory> GatherPlayHistory(const HistoryRequest& request, RunPorts& ports,
                                               const GatherSettings& settings) {
  const std::int64_t now = settings.now.value_or(static_cast<std::int64_t>(std::time(nullptr)));
  std::string storePath = settings.storePath;
  if (storePath.empty()) {
    const std::string folder = platform::StateFolder();
    if (!folder.empty()) storePath = folder + "/history.sqlite";
  }
  std::string error = "no state folder is known";
  std::string setAside;
  std::unique_ptr<HistoryStore> store =
      storePath.empty() ? nullptr : HistoryStore::Open(storePath, &setAside, error);
  if (!setAside.empty()) ports.ShowWarning({kHistoryStoreSetAsideMessage, {setAside}});
  if (!store) {
    ports.ShowWarning({kHistoryStoreUnusableMessage, {storePath, error}});
    store = HistoryStore::InMemory();
  }
  if (!store->Begin(error)) {
    ports.ShowWarning({kHistoryStoreUnusableMessage, {storePath, error}});
    store = HistoryStore::InMemory();
    (void)store->Begin(error);
  }

  std::optional<PlayerVolume> volume;
  std::optional<platform::ContainedFolder> root;
  if (request.player != nullptr) {
    volume = FindPlayerVolume(request.playerPath, request.player->device());
    if (volume) root = platform::ContainedFolder::Open(volume->rootPath);
    // The root must be the player's very volume, not what its path leads to meanwhile.
    if (root && root->device() != request.player->device()) root.reset();
  }
  SongMatcher matcher(request, volume ? volume->folderBelowRoot : std::string());
  if (root) {
    ReadPlayerLog(*root, volume->rootPath, ".rockbox/playback.log", "playback.log", true, now,
                  settings, matcher, *store, ports);
    ReadPlayerLog(*root, volume->rootPath, ".scrobbler.log", "scrobbler.log", false, now, settings,
                  matcher, *store, ports);
  }
  for (const std::string& source : request.sources)
    ReadComputerSource(source, now, settings, matcher, *store, ports);

  // What was read serves this run even where it cannot be kept.
  auto totals = store->Totals();
  if (!store->Commit(error)) ports.ShowWarning({kHistoryStoreNotSavedMessage, {storePath, error}});
  return std::make_unique<KeptHistory>(std::move(totals));
}

}  // namespace sorvina::engine
