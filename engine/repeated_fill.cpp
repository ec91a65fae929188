#include "engine/repeated_fill.h"

#include <cerrno>
#include <ctime>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/messages.h"
#include "engine/playlist_paths.h"
#include "engine/playlist_writer.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

using platform::ContainedFolder;
using platform::EntryStatus;
using platform::PathStyle;
using platform::UserText;

// Where the records of playlists lie in the state folder.
constexpr char kPlaylistRecordsFolder[] = "/playlists";

// A failure in words, for the messages below.
UserText ReasonOf(int error) {
  if (error == ELOOP) return SORVINA_TEXT("sorvina", "a link is in the way");
  if (error == EXDEV) return SORVINA_TEXT("sorvina", "it leads onto another file system");
  return transfer::ErrorText(error);
}

UserText ProblemText(RecordProblem problem) {
  switch (problem) {
    case RecordProblem::kTooLarge:
      return SORVINA_TEXT("sorvina", "it is larger than any record written here");
    case RecordProblem::kForeign:
      return SORVINA_TEXT("sorvina", "it is no record of fills that this version can read");
    case RecordProblem::kDamaged:
      return SORVINA_TEXT("sorvina", "it is damaged or was changed by hand");
    case RecordProblem::kUnsafePath:
      return SORVINA_TEXT("sorvina", "it names files outside the destination");
    case RecordProblem::kNone:
      break;
  }
  return {};
}

UserText ReadFailureText(int error) {
  if (error == EFBIG) return ProblemText(RecordProblem::kTooLarge);
  if (error == EINVAL) return SORVINA_TEXT("sorvina", "it is no regular file");
  return ReasonOf(error);
}

// "The record of earlier fills in PATH was ignored: REASON".
UserText RecordIgnored(const std::string& path, UserText reason) {
  return {SORVINA_TEXT("sorvina", "The record of earlier fills in %1 was ignored: %2"),
          {path, std::move(reason)}};
}

// A path inside the destination whose last name is more than a playlist ending.
bool IsDevicePlaylistName(std::string_view name) {
  const std::string_view base = name.substr(FolderOf(name, PathStyle::kPosix).size());
  return ContainedFolder::IsContainedPath(name) &&
         ((platform::EndsWithNoCase(base, ".m3u8") && base.size() > 5) ||
          (platform::EndsWithNoCase(base, ".m3u") && base.size() > 4));
}

// Whether `relative` lies in the record's own folder, which no record may take apart.
bool InRecordFolder(std::string_view relative) {
  const std::string_view folder = kRecordFolderName;
  return relative.starts_with(folder) &&
         (relative.size() == folder.size() || relative[folder.size()] == '/');
}

std::size_t LinesOf(const FillHistory& history) {
  std::size_t lines = 2;
  for (const RecordedFill& fill : history.fills)
    lines += 1 + fill.files.size();
  return lines;
}

std::int64_t RoundedUp(std::int64_t bytes, std::int64_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// The ports of a playlist written on the player: its progress is shown, but Cancel (or an
// interrupt that already stopped the copy) does not cut it short. The files are on the
// player by then, and a playlist that ends early would hide the rest of them.
class UncancellablePorts : public RunPorts {
 public:
  explicit UncancellablePorts(RunPorts& ports) : ports_(ports) {}
  void ShowInformation(const UserText& message) override { ports_.ShowInformation(message); }
  void ShowWarning(const UserText& message) override { ports_.ShowWarning(message); }
  void SetWaitCursor(bool shown) override { ports_.SetWaitCursor(shown); }
  std::unique_ptr<ProgressPort> OpenProgress(const UserText& title) override {
    std::unique_ptr<ProgressPort> progress = ports_.OpenProgress(title);
    if (!progress) return nullptr;
    return std::make_unique<UncancellableProgress>(std::move(progress));
  }

 private:
  class UncancellableProgress : public ProgressPort {
   public:
    explicit UncancellableProgress(std::unique_ptr<ProgressPort> progress)
        : progress_(std::move(progress)) {}
    void SetRange(int lower, int upper) override { progress_->SetRange(lower, upper); }
    void SetPosition(int position) override { progress_->SetPosition(position); }
    bool PumpAndCheckCancel() override {
      progress_->PumpAndCheckCancel();
      return false;
    }

   private:
    std::unique_ptr<ProgressPort> progress_;
  };

  RunPorts& ports_;
};

}  // namespace

RepeatedFill::RepeatedFill(const SelectionSettings& settings, bool dryRun)
    : settings_(settings),
      dryRun_(dryRun),
      copy_(settings.copyToFolder),
      usesRecord_(settings.options.avoidLast > 0 ||
                  (settings.copyToFolder && settings.options.replacePrevious)),
      replacing_(settings.copyToFolder && settings.options.replacePrevious) {}

bool RepeatedFill::Begin(RunPorts& ports) {
  if (copy_ && !settings_.options.devicePlaylist.empty() &&
      !IsDevicePlaylistName(settings_.options.devicePlaylist)) {
    ports.ShowInformation(kDevicePlaylistNameMessage);
    return false;
  }
  if (!usesRecord_) return true;
  if (!OpenRecord(ports)) return false;
  ReadRecord(ports);
  if (replacing_) PlanReplacement();
  return true;
}

std::string RepeatedFill::RecordFolderPath() const {
  if (copy_) return transfer::JoinPath(settings_.destination, kRecordFolderName);
  return platform::StateFolder() + kPlaylistRecordsFolder;
}

std::string RepeatedFill::RecordPath() const {
  return transfer::JoinPath(RecordFolderPath(), recordName_);
}

bool RepeatedFill::OpenRecord(RunPorts& ports) {
  int error = ENOENT;
  if (copy_) {
    recordName_ = kRecordFileName;
    lockName_ = kRecordLockName;
    destination_ = ContainedFolder::Open(settings_.destination, &error);
    if (destination_) recordFolder_ = destination_->Folder(kRecordFolderName, !dryRun_, &error);
  } else {
    const std::string key = TextHash(settings_.destination);
    recordName_ = key + ".txt";
    lockName_ = key + ".lock";
    if (!platform::StateFolder().empty()) {
      const std::string folder = RecordFolderPath();
      if (!dryRun_) platform::MakeFolders(folder);
      recordFolder_ = ContainedFolder::Open(folder, &error);
    }
  }
  const std::string folderPath = RecordFolderPath();
  if (recordFolder_ && !dryRun_) lock_ = recordFolder_->Lock(lockName_, &error);
  if (dryRun_) {
    // Nothing is written; a record that cannot even be looked at is said to be ignored.
    if (!recordFolder_ && error != ENOENT)
      ports.ShowWarning(RecordIgnored(folderPath, ReasonOf(error)));
    return true;
  }
  if (!lock_) {
    if (error == EWOULDBLOCK) {
      ports.ShowInformation(kFillUnderWayMessage);
      return false;
    }
    ports.ShowWarning(
        {replacing_ ? SORVINA_TEXT("sorvina",
                                   "No record of this fill can be kept in %1 (%2); the songs of "
                                   "the previous fill were left in place")
                    : SORVINA_TEXT("sorvina", "No record of this fill can be kept in %1 (%2)"),
         {folderPath, ReasonOf(error)}});
    return true;
  }
  writable_ = true;
  // A fill cut off part-way, by a device that went away, may have left its half-written
  // record behind; the lock says that no other run is writing one now.
  recordFolder_->RemoveLeftoverTemporaries(recordName_);
  return true;
}

void RepeatedFill::ReadRecord(RunPorts& ports) {
  if (!recordFolder_) return;
  std::string bytes;
  const int error = recordFolder_->ReadFile(recordName_, kMaxRecordBytes, bytes);
  if (error == ENOENT) return;
  if (error != 0) {
    ports.ShowWarning(RecordIgnored(RecordPath(), ReadFailureText(error)));
    return;
  }
  ParsedRecord parsed = ParseFillRecord(bytes);
  if (parsed.problem != RecordProblem::kNone) {
    ports.ShowWarning(RecordIgnored(RecordPath(), ProblemText(parsed.problem)));
    // Set aside rather than overwritten: it may be a newer version's, or worth a look.
    if (writable_) recordFolder_->Rename(recordName_, recordName_ + ".ignored");
    return;
  }
  history_ = std::move(parsed.history);
}

void RepeatedFill::PlanReplacement() {
  replacement_.anyPrevious = !history_.fills.empty();
  if (!destination_ || history_.fills.empty() || !(writable_ || dryRun_)) return;
  for (const RecordedFile& file : history_.fills.back().files) {
    if (file.relative.empty() || InRecordFolder(file.relative)) continue;
    const std::optional<EntryStatus> now = destination_->StatusOf(file.relative);
    if (!now) continue;  // gone since
    if (now->kind == EntryStatus::Kind::kFile && now->sizeBytes == file.sizeBytes &&
        now->modified == file.modified) {
      replaceable_.push_back(file);
    } else if (!file.source.empty()) {
      ++replacement_.left;
    }
  }
  keptAgain_.assign(replaceable_.size(), false);
}

bool RepeatedFill::active() const {
  return usesRecord_ || (copy_ && !settings_.options.devicePlaylist.empty());
}

bool RepeatedFill::LeaveOutRecent(CandidatePool& pool) {
  const auto recentFills = static_cast<std::size_t>(std::max(0, settings_.options.avoidLast));
  if (recentFills == 0 || history_.fills.empty()) return true;
  std::unordered_set<std::string_view> recent;
  const std::size_t first =
      history_.fills.size() > recentFills ? history_.fills.size() - recentFills : 0;
  for (std::size_t i = first; i < history_.fills.size(); ++i) {
    for (const RecordedFile& file : history_.fills[i].files)
      if (!file.source.empty()) recent.insert(file.source);
  }
  bool anyLeftOut = false;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone;) {
    const CandidatePool::Index next = pool.next(i);
    if (recent.contains(pool[i].path)) {
      pool.Remove(i);
      anyLeftOut = true;
    }
    i = next;
  }
  // What was subtracted may have left the running total off the exact sum.
  if (anyLeftOut) pool.RecomputeTotalWeight();
  return pool.count() > 0;
}

UserText RepeatedFill::NothingLeftMessage() const {
  const int count = settings_.options.avoidLast;
  if (count == 1) {
    return copy_ ? SORVINA_TEXT("sorvina",
                                "Every file found was chosen by the last fill of this "
                                "destination; nothing was chosen")
                 : SORVINA_TEXT("sorvina",
                                "Every file found was chosen by the last playlist written to "
                                "this file; nothing was chosen");
  }
  return {copy_ ? SORVINA_TEXT("sorvina",
                               "Every file found was chosen by the last %1 fills of this "
                               "destination; nothing was chosen")
                : SORVINA_TEXT("sorvina",
                               "Every file found was chosen by the last %1 playlists written to "
                               "this file; nothing was chosen"),
          {count}};
}

std::int64_t RepeatedFill::SpaceToBeFreed(std::uint64_t allocationUnit) const {
  const auto unit = static_cast<std::int64_t>(std::max<std::uint64_t>(allocationUnit, 1));
  std::int64_t bytes = 0;
  for (const RecordedFile& file : replaceable_)
    bytes += RoundedUp(file.sizeBytes, unit);
  return bytes;
}

void RepeatedFill::ChargeOwnFiles(DestinationSpace& space, std::int64_t& budget,
                                  std::uint64_t allocationUnit) const {
  const bool record = usesRecord_ && writable_;
  const bool playlist = copy_ && !settings_.options.devicePlaylist.empty();
  if (!record && !playlist) return;
  // A line of the record names the file twice; one of the playlist gives its time and
  // caption (taken at a generous length: captions are not read before the copy) and its
  // path from the playlist's folder.
  constexpr std::int64_t kRecordLineBytes = 64;
  constexpr std::int64_t kPlaylistLineBytes = 160;
  const auto linesOf = [=](const Candidate& candidate, const std::string& target) {
    const auto targetBytes = static_cast<std::int64_t>(target.size());
    return (record
                ? kRecordLineBytes + targetBytes + static_cast<std::int64_t>(candidate.path.size())
                : 0) +
           (playlist ? kPlaylistLineBytes + 2 * targetBytes : 0);
  };
  // The record is written anew with the fills before this one in it.
  space.ChargeListings(linesOf,
                       record ? static_cast<std::int64_t>(FormatFillRecord(history_).size()) : 0);
  // What the charges cannot see: the listings are two files, each ending in a part of a
  // cluster, and the record's folder may have to be made.
  budget -= 3 * static_cast<std::int64_t>(std::max<std::uint64_t>(allocationUnit, 1));
}

std::vector<Candidate> RepeatedFill::Settle(const std::vector<Candidate>& chosen) {
  keptAt_.assign(chosen.size(), std::nullopt);
  std::unordered_map<std::string_view, std::size_t> bySource;
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!replaceable_[j].source.empty()) bySource.try_emplace(replaceable_[j].source, j);
  std::vector<Candidate> toCopy;
  toCopy.reserve(chosen.size());
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const auto found = bySource.find(chosen[i].path);
    // The copy is the source's size; another size means the source has changed since.
    if (found != bySource.end() && !keptAgain_[found->second] &&
        replaceable_[found->second].sizeBytes == chosen[i].sizeBytes) {
      keptAgain_[found->second] = true;
      keptAt_[i] = replaceable_[found->second].relative;
      ++replacement_.kept;
    } else {
      toCopy.push_back(chosen[i]);
    }
  }
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!keptAgain_[j] && !replaceable_[j].source.empty()) ++replacement_.removed;
  return toCopy;
}

std::vector<std::string> RepeatedFill::PathsToRemove() const {
  std::vector<std::string> paths;
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!keptAgain_[j])
      paths.push_back(transfer::JoinPath(settings_.destination, replaceable_[j].relative));
  return paths;
}

std::vector<std::string> RepeatedFill::RemovePrevious(RunPorts& ports) {
  std::vector<std::string> paths;
  if (!writable_ || !destination_) return paths;
  replacement_.removed = 0;
  std::vector<std::string_view> removed;
  std::size_t failed = 0;
  int firstError = 0;
  for (std::size_t j = 0; j < replaceable_.size(); ++j) {
    if (keptAgain_[j]) continue;
    const RecordedFile& file = replaceable_[j];
    const int error = destination_->RemoveFileIfUnchanged(
        file.relative, {EntryStatus::Kind::kFile, file.sizeBytes, file.modified});
    const bool song = !file.source.empty();
    if (error == 0) {
      removed.push_back(file.relative);
      paths.push_back(transfer::JoinPath(settings_.destination, file.relative));
      if (song) ++replacement_.removed;
    } else if (error != ENOENT) {
      if (song) ++replacement_.left;
      if (error != ESTALE && failed++ == 0) firstError = error;
    }
  }
  for (const std::string_view relative : removed)
    destination_->RemoveEmptyFoldersAbove(relative);
  if (failed > 0) {
    ports.ShowWarning(
        {failed == 1
             ? SORVINA_TEXT("sorvina", "%1 file of the previous fill could not be removed (%2)")
             : SORVINA_TEXT("sorvina", "%1 files of the previous fill could not be removed (%2)"),
         {failed, ReasonOf(firstError)}});
  }
  return paths;
}

bool RepeatedFill::FinishCopy(const std::vector<Candidate>& chosen,
                              const std::vector<std::string>& placedTargets, RunPorts& ports) {
  const bool devicePlaylist = !settings_.options.devicePlaylist.empty();
  if (!devicePlaylist && !(usesRecord_ && writable_)) return true;
  if (!destination_) destination_ = ContainedFolder::Open(settings_.destination);
  if (!destination_) return true;  // gone: the flush that follows says so

  // Where each chosen file now lies below the destination; empty where it does not.
  std::string prefix = settings_.destination;
  if (!prefix.empty() && prefix.back() != '/') prefix.push_back('/');
  std::vector<std::string> relatives(chosen.size());
  std::size_t copied = 0;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (i < keptAt_.size() && keptAt_[i]) {
      relatives[i] = *keptAt_[i];
    } else if (copied < placedTargets.size()) {
      const std::string& target = placedTargets[copied++];
      if (target.starts_with(prefix)) relatives[i] = target.substr(prefix.size());
    }
  }

  RecordedFill fill;
  fill.time = static_cast<std::int64_t>(std::time(nullptr));
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (relatives[i].empty()) continue;
    // Only what can be reached inside the destination is recorded, and so ever removed.
    const std::optional<EntryStatus> status = destination_->StatusOf(relatives[i]);
    if (!status || status->kind != EntryStatus::Kind::kFile) {
      relatives[i].clear();
      continue;
    }
    fill.files.push_back({relatives[i], status->sizeBytes, status->modified, chosen[i].path});
  }
  const bool written = !devicePlaylist || WriteDevicePlaylist(chosen, relatives, ports, fill);
  const bool recorded = !(usesRecord_ && writable_) || WriteRecord(std::move(fill), ports);
  return written && recorded;
}

bool RepeatedFill::WriteDevicePlaylist(const std::vector<Candidate>& chosen,
                                       const std::vector<std::string>& relatives, RunPorts& ports,
                                       RecordedFill& fill) {
  const std::string& name = settings_.options.devicePlaylist;
  std::string_view folder = FolderOf(name, PathStyle::kPosix);
  const std::string_view base = std::string_view(name).substr(folder.size());
  if (!folder.empty()) folder.remove_suffix(1);
  // No link on the way to it or in its place: the playlist is written inside the
  // destination or not at all.
  std::optional<ContainedFolder> playlistFolder = folder.empty()
                                                      ? ContainedFolder::Open(settings_.destination)
                                                      : destination_->Folder(folder, true);
  const std::optional<EntryStatus> existing = destination_->StatusOf(name);
  if (!playlistFolder || (existing && existing->kind != EntryStatus::Kind::kFile)) {
    ports.ShowInformation(kCannotOpenPlaylistMessage);
    return false;
  }
  if (writable_) playlistFolder->RemoveLeftoverTemporaries(base);
  std::vector<std::string> paths;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (relatives[i].empty()) continue;
    paths.push_back(chosen[i].path);
    lines.push_back(RelativeEntry(folder, relatives[i], PathStyle::kPosix).value_or(relatives[i]));
  }
  UncancellablePorts wholePlaylist(ports);
  const PlaylistResult result = WritePlaylist(transfer::JoinPath(settings_.destination, name),
                                              paths, wholePlaylist, nullptr, &lines);
  if (result != PlaylistResult::kWritten && result != PlaylistResult::kCancelled) return false;
  if (const std::optional<EntryStatus> status = destination_->StatusOf(name))
    fill.files.push_back({name, status->sizeBytes, status->modified, {}});
  return true;
}

bool RepeatedFill::FinishPlaylist(const std::vector<std::string>& listedPaths, RunPorts& ports) {
  if (!usesRecord_ || !writable_) return true;
  RecordedFill fill;
  fill.time = static_cast<std::int64_t>(std::time(nullptr));
  for (const std::string& path : listedPaths)
    fill.files.push_back({{}, 0, {}, path});
  return WriteRecord(std::move(fill), ports);
}

bool RepeatedFill::WriteRecord(RecordedFill fill, RunPorts& ports) {
  history_.fills.push_back(std::move(fill));
  if (history_.fills.size() > kKeptFills)
    history_.fills.erase(history_.fills.begin(), history_.fills.end() - kKeptFills);
  // The oldest fills go first where a record would grow past what a reader takes.
  std::string bytes = FormatFillRecord(history_);
  while (history_.fills.size() > 1 &&
         (bytes.size() > kMaxRecordBytes || LinesOf(history_) > kMaxRecordLines)) {
    history_.fills.erase(history_.fills.begin());
    bytes = FormatFillRecord(history_);
  }
  const int error = recordFolder_->ReplaceFile(recordName_, bytes);
  // The files this fill put there would be taken for the user's by the next one.
  if (error != 0) {
    ports.ShowInformation(
        {replacing_
             ? SORVINA_TEXT("sorvina",
                            "The record of this fill could not be written to %1 (%2); the "
                            "next fill will not replace its songs")
             : SORVINA_TEXT("sorvina", "The record of this fill could not be written to %1 (%2)"),
         {RecordPath(), ReasonOf(error)}});
  }
  return error == 0;
}

std::optional<Replacement> RepeatedFill::replacement() const {
  if (!replacing_ || !(writable_ || dryRun_)) return std::nullopt;
  return replacement_;
}

}  // namespace sorvina::engine
