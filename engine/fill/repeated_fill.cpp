// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/repeated_fill.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/fill/copy_adoption.h"
#include "engine/fill/fill_recovery.h"
#include "engine/output/playlist_paths.h"
#include "engine/output/playlist_writer.h"
#include "engine/report/messages.h"
#include "platform/drive_type.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"
#include "text/path_style.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

// The second name of the record `name` ("fills.txt": "fills-2.txt"), which it takes in
// turn with its own where the device renames nothing.
std::string AlternateRecordName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name + "-2" : name.substr(0, dot) + "-2" + name.substr(dot);
}

using platform::ContainedFolder;
using platform::EntryStatus;
using text::PathStyle;
using text::UserText;

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

constexpr const char* kAnotherUsersRecord = SORVINA_TEXT("sorvina", "it belongs to another user");

UserText KeyFailureText(int error) {
  return {
      SORVINA_TEXT("sorvina", "the key that tells its files from yours cannot be kept in %1: %2"),
      {platform::UserFingerprintKeyPath(), error == EINVAL
                                               ? UserText(SORVINA_TEXT("sorvina", "it is damaged"))
                                               : transfer::ErrorText(error)}};
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
         ((text::EndsWithNoCase(base, ".m3u8") && base.size() > 5) ||
          (text::EndsWithNoCase(base, ".m3u") && base.size() > 4));
}

// Whether `relative` lies in the record's own folder, which no record may take apart.
bool InRecordFolder(std::string_view relative) {
  return text::IsAtOrBelow(relative, kRecordFolderName);
}

// Whether two fills list the same songs, wherever they are listed.
bool SameFiles(const RecordedFill& a, const RecordedFill& b) {
  const auto sorted = [](std::vector<RecordedFile> files) {
    std::sort(files.begin(), files.end(),
              [](const RecordedFile& x, const RecordedFile& y) { return x.relative < y.relative; });
    return files;
  };
  return sorted(a.files) == sorted(b.files);
}

std::size_t LinesOf(const FillHistory& history) {
  std::size_t lines = 2;
  for (const RecordedFill& fill : history.fills)
    lines += 1 + fill.files.size() + fill.playlists.size() + fill.folders.size();
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

RepeatedFill::RepeatedFill(const SelectionSettings& settings, bool dryRun, bool beyondClassic)
    : settings_(settings),
      dryRun_(dryRun),
      copy_(settings.copyToFolder),
      usesRecord_(settings.options.avoidLast > 0 || (settings.copyToFolder && beyondClassic)),
      replacing_(settings.copyToFolder && settings.options.replacePrevious) {}

bool RepeatedFill::Begin(RunPorts& ports, const ContainedFolder* destination) {
  destination_ = destination;
  if (copy_ && !settings_.options.devicePlaylist.empty() &&
      !IsDevicePlaylistName(settings_.options.devicePlaylist)) {
    ports.ShowInformation(kDevicePlaylistNameMessage);
    return false;
  }
  if (!usesRecord_) return true;
  if (!OpenRecord(ports)) return false;
  if (copy_ && destination_ != nullptr) TakeKey(ports);
  ReadRecord(ports);
  if (copy_) FinishInterruptedFill(ports);
  if (replacing_) PlanReplacement();
  return true;
}

// The user's key, without which no file on the destination can be told to be a fill's:
// a fill without it removes nothing and keeps no record, as where none can be written.
void RepeatedFill::TakeKey(RunPorts& ports) {
  int error = 0;
  std::optional<platform::FingerprintKey> key = platform::UserFingerprintKey(&error);
  if (key) {
    ownership_.emplace(std::move(*key));
    return;
  }
  if (writable_) ShowNoRecord(ports, KeyFailureText(error));
  writable_ = false;
}

void RepeatedFill::ShowNoRecord(RunPorts& ports, const UserText& reason) const {
  ports.ShowWarning(
      {replacing_ ? SORVINA_TEXT("sorvina",
                                 "No record of this fill can be kept in %1 (%2); the songs of "
                                 "the previous fill were left in place")
                  : SORVINA_TEXT("sorvina", "No record of this fill can be kept in %1 (%2)"),
       {RecordFolderPath(), reason}});
}

std::string RepeatedFill::RecordFolderPath() const {
  if (copy_) return text::JoinPath(settings_.destination, kRecordFolderName);
  return platform::StateFolder() + kPlaylistRecordsFolder;
}

std::string RepeatedFill::PathOf(const std::string& name) const {
  return text::JoinPath(RecordFolderPath(), name);
}

bool RepeatedFill::OpenRecord(RunPorts& ports) {
  int error = ENOENT;
  if (copy_) {
    recordName_ = kRecordFileName;
    lockName_ = kRecordLockName;
    if (destination_ != nullptr)
      recordFolder_ = destination_->Folder(kRecordFolderName, !dryRun_, &error);
  } else {
    const std::string key = TextHash(settings_.destination);
    recordName_ = key + ".txt";
    lockName_ = key + ".lock";
    if (!platform::StateFolder().empty()) {
      const std::string folder = RecordFolderPath();
      // Where it cannot be made, opening it says why.
      if (!dryRun_) (void)platform::MakeFolders(folder);
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
    ShowNoRecord(ports, ReasonOf(error));
    return true;
  }
  writable_ = true;
  // A fill cut off part-way, by a device that went away, may have left its half-written
  // record or journal behind; the lock says that no other run is writing one now.
  recordFolder_->RemoveLeftoverTemporaries(recordName_);
  recordFolder_->RemoveLeftoverTemporaries(kJournalName);
  return true;
}

// The bytes of the file `name` in the record's folder, where it may be trusted as far as
// who wrote it goes; else nothing, after a warning, with the file set aside.
std::optional<std::string> RepeatedFill::ReadTrusted(const std::string& name, RunPorts& ports) {
  if (!recordFolder_) return std::nullopt;
  std::string bytes;
  EntryStatus status;
  const int error = recordFolder_->ReadFile(name, kMaxRecordBytes, bytes, &status);
  if (error == ENOENT) return std::nullopt;
  if (error != 0) {
    ports.ShowWarning(RecordIgnored(PathOf(name), ReadFailureText(error)));
    // What no fill writes there (too large, no regular file) goes out of the way.
    if (error == EFBIG || error == EINVAL) SetAside(name);
    return std::nullopt;
  }
  // In a folder that others may write to, a record of theirs could name the user's files.
  if (platform::KeepsOwners(status.device) && status.owner != geteuid()) {
    ports.ShowWarning(RecordIgnored(PathOf(name), kAnotherUsersRecord));
    SetAside(name);
    return std::nullopt;
  }
  return bytes;
}

// Sets the file `name` aside rather than overwriting it: it may be a newer version's, or
// worth a look. Earlier ones set aside stay, numbered.
void RepeatedFill::SetAside(const std::string& name) {
  if (!writable_) return;
  const std::string aside = name + ".ignored";
  int error = recordFolder_->RenameNoReplace(name, aside);
  for (unsigned number = 2; error == EEXIST && number < 100; ++number)
    error = recordFolder_->RenameNoReplace(name, transfer::NumberedName(aside, number));
}

void RepeatedFill::ReadRecord(RunPorts& ports) {
  recordHeldAs_ = recordName_;
  // Where the device renames nothing, the record is written under its two names in turn
  // (StoreHistory): the newer of two whole ones holds the fills, and one cut off while it
  // was written, beside a whole one, tells of nothing.
  const std::string alternate = AlternateRecordName(recordName_);
  std::optional<ParsedRecord> classic;
  std::optional<ParsedRecord> other;
  if (const std::optional<std::string> bytes = ReadTrusted(recordName_, ports))
    classic = ParseFillRecord(*bytes);
  if (const std::optional<std::string> bytes = ReadTrusted(alternate, ports))
    other = ParseFillRecord(*bytes);
  const auto whole = [](const std::optional<ParsedRecord>& record) {
    return record && record->problem == RecordProblem::kNone;
  };
  // Which of two whole records is newer: the one whose last fill began later, else the
  // one that holds more fills (both may begin in one second), else the file written later.
  const auto order = [&](const ParsedRecord& record, const std::string& name) {
    const std::vector<RecordedFill>& fills = record.history.fills;
    const std::optional<EntryStatus> status = recordFolder_->StatusOf(name);
    return std::tuple(fills.empty() ? std::numeric_limits<std::int64_t>::min() : fills.back().time,
                      fills.size(), status ? status->modified.seconds : 0,
                      status ? status->modified.nanoseconds : 0);
  };
  const bool takeOther =
      other &&
      (!classic || (whole(other) &&
                    (!whole(classic) || order(*other, alternate) > order(*classic, recordName_))));
  std::optional<ParsedRecord>& taken = takeOther ? other : classic;
  if (!taken) return;
  const std::string& name = takeOther ? alternate : recordName_;
  if (taken->problem != RecordProblem::kNone) {
    ports.ShowWarning(RecordIgnored(PathOf(name), ProblemText(taken->problem)));
    SetAside(name);
    return;
  }
  recordHeldAs_ = name;
  history_ = std::move(taken->history);
}

void RepeatedFill::FinishInterruptedFill(RunPorts& ports) {
  const std::optional<std::string> bytes = ReadTrusted(kJournalName, ports);
  if (!bytes || destination_ == nullptr) return;
  ParsedJournal parsed = ParseFillJournal(*bytes);
  if (parsed.problem != RecordProblem::kNone) {
    ports.ShowWarning(RecordIgnored(PathOf(kJournalName), ProblemText(parsed.problem)));
    SetAside(kJournalName);
    return;
  }
  // Without the key nothing it tells of can be told from the user's files: it stays for a
  // run that has the key.
  if (!ownership_) return;
  std::optional<RecordedFill> recovered = RecoverInterruptedFill(
      parsed.journal, *destination_, history_.fills.empty() ? nullptr : &history_.fills.back(),
      writable_, kRecordFolderName, *ownership_);
  // A fill recorded whole, but cut off before its journal went: nothing is left to do.
  if (recovered && !history_.fills.empty() && SameFiles(*recovered, history_.fills.back()))
    recovered.reset();
  if (recovered) {
    ports.ShowWarning({SORVINA_TEXT("sorvina",
                                    "The last fill of %1 was cut off part-way; the %2 songs it "
                                    "left there are recorded as its own"),
                       {settings_.destination, recovered->files.size()}});
    history_.fills.push_back(std::move(*recovered));
    if (history_.fills.size() > kKeptFills) history_.fills.erase(history_.fills.begin());
  }
  if (!writable_) return;
  // Where the record cannot take it (a full player), the journal stays: this fill stores it
  // once the previous fill's removal has made room (BeginCopy).
  if (recovered && StoreHistory() != 0) {
    recoveryUnstored_ = true;
    return;
  }
  RemoveJournal(*recordFolder_, kJournalName);
}

void RepeatedFill::PlanReplacement() {
  replacement_.anyPrevious = !history_.fills.empty();
  if (destination_ == nullptr || history_.fills.empty() || !(writable_ || dryRun_) || !ownership_)
    return;
  const RecordedFill& previous = history_.fills.back();
  for (const RecordedFile& file : previous.files) {
    if (file.relative.empty() || InRecordFolder(file.relative)) continue;
    if (!destination_->StatusOf(file.relative)) continue;  // gone since
    // Only a file that proves to be the one the fill wrote is its own; a file recorded
    // before fingerprints, that proves a copy of its source, is fingerprinted now.
    if (const std::optional<OwnedFile> owned =
            ownership_->Verify(*destination_, file.relative, file)) {
      replaceable_.push_back(file);
      replaceable_.back().digest = owned->digest;
      replaceable_.back().modified = owned->status.modified;
      verifiedAs_.push_back(owned->status);
    } else {
      ++replacement_.left;
    }
  }
  for (const RecordedFile& playlist : previous.playlists)
    if (IsDevicePlaylistName(playlist.relative) && !InRecordFolder(playlist.relative) &&
        OwnsPlaylist(playlist, previous))
      replaceablePlaylists_.push_back(playlist);
  recordedReplaceable_ = replaceable_.size();
  keptAgain_.assign(replaceable_.size(), false);
}

std::vector<std::pair<std::string, std::string>> RepeatedFill::RecordedFiles() const {
  std::vector<std::pair<std::string, std::string>> files;
  if (!copy_) return files;
  for (const RecordedFill& fill : history_.fills)
    for (const RecordedFile& file : fill.files)
      if (!file.relative.empty() && !file.source.empty())
        files.emplace_back(file.relative, file.source);
  return files;
}

void RepeatedFill::KeepUnheard(const PlayHistory* plays, RunPorts& ports) {
  if (!replacing_ || !settings_.options.replaceHeard || history_.fills.empty() ||
      recordedReplaceable_ == 0)
    return;
  const std::int64_t since = history_.fills.back().time;
  std::vector<bool> heard(recordedReplaceable_, true);
  bool anyKnown = false;
  for (std::size_t j = 0; j < recordedReplaceable_; ++j) {
    // A file whose song is not named cannot be matched to plays: it is replaced.
    if (plays == nullptr || replaceable_[j].source.empty()) continue;
    const std::optional<SongPlays> known = plays->PlaysOf(replaceable_[j].source);
    anyKnown = anyKnown || known.has_value();
    heard[j] = known && known->HeardSince(since);
  }
  if (!anyKnown) {
    ports.ShowWarning(SORVINA_TEXT("sorvina",
                                   "No plays of the previous fill's songs were found; all of "
                                   "them are replaced"));
    return;
  }
  std::vector<RecordedFile> replaced;
  std::vector<std::optional<EntryStatus>> replacedVerified;
  for (std::size_t j = 0; j < replaceable_.size(); ++j) {
    if (j < recordedReplaceable_ && !heard[j]) {
      unheard_.push_back(std::move(replaceable_[j]));
      continue;
    }
    if (j < recordedReplaceable_) heardSources_.push_back(replaceable_[j].source);
    replaced.push_back(std::move(replaceable_[j]));
    replacedVerified.push_back(verifiedAs_[j]);
  }
  recordedReplaceable_ -= unheard_.size();
  replaceable_ = std::move(replaced);
  verifiedAs_ = std::move(replacedVerified);
  keptAgain_.assign(replaceable_.size(), false);
  replacement_.unheardKept = unheard_.size();
}

bool RepeatedFill::NoEarlierFill() const {
  return replacing_ && destination_ != nullptr && (writable_ || dryRun_) && history_.fills.empty();
}

bool RepeatedFill::MayAdoptBesideRecord() const {
  return replacing_ && destination_ != nullptr && writable_ && ownership_ &&
         !history_.fills.empty();
}

std::vector<RecordedFile> RepeatedFill::FindCopies(const CandidatePool& pool,
                                                   std::size_t& otherFiles) const {
  otherFiles = 0;
  if (destination_ == nullptr || !ownership_) return {};
  std::vector<RecordedFile> copies =
      FindCopiesOf(*destination_, pool, platform::IsFatDevice(destination_->device()),
                   kRecordFolderName, &otherFiles);
  // Files a fill recorded are its own, or the user's since: neither is a copy made by hand.
  std::set<std::string_view> recorded;
  for (const RecordedFill& fill : history_.fills)
    for (const RecordedFile& file : fill.files)
      recorded.insert(file.relative);
  std::erase_if(copies, [&](RecordedFile& copy) {
    if (recorded.contains(copy.relative)) return true;
    // Byte for byte its source's: fingerprinted as the fill's own from now on.
    const std::optional<OwnedFile> owned = ownership_->Fingerprint(*destination_, copy.relative);
    if (!owned || owned->status.sizeBytes != copy.sizeBytes) return true;
    copy.digest = owned->digest;
    copy.modified = owned->status.modified;
    return false;
  });
  return copies;
}

void RepeatedFill::Adopt(std::vector<RecordedFile> copies) {
  for (const RecordedFile& copy : copies)
    adoptedSources_.push_back(copy.source);
  verifiedAs_.resize(verifiedAs_.size() + copies.size());
  replaceable_.insert(replaceable_.end(), std::make_move_iterator(copies.begin()),
                      std::make_move_iterator(copies.end()));
  keptAgain_.assign(replaceable_.size(), false);
  replacement_.anyPrevious = true;
}

bool RepeatedFill::active() const {
  return usesRecord_ || (copy_ && !settings_.options.devicePlaylist.empty());
}

bool RepeatedFill::LeaveOutRecent(CandidatePool& pool) {
  const auto recentFills = static_cast<std::size_t>(std::max(0, settings_.options.avoidLast));
  // Replacing only what was heard, the previous fill's songs stay or were heard: neither
  // comes again.
  std::unordered_set<std::string_view> recent(heardSources_.begin(), heardSources_.end());
  for (const RecordedFile& file : unheard_)
    if (!file.source.empty()) recent.insert(file.source);
  const bool avoiding = recentFills > 0 && !(history_.fills.empty() && adoptedSources_.empty());
  if (!avoiding && recent.empty()) return true;
  if (avoiding) {
    // The copies taken for the previous fill were its songs.
    recent.insert(adoptedSources_.begin(), adoptedSources_.end());
    AddRecentSources(history_, recentFills, recent);
  }
  pool.RemoveWhere([&](CandidatePool::Index i) { return recent.contains(pool[i].path); });
  // A fill that only leaves out its own songs may find nothing else: it says so itself.
  return pool.count() > 0 || !avoiding;
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
  // A line of the record names the file twice, and so do the two lines the journal
  // keeps of it while the copy runs, each with the file's fingerprint; one of the playlist
  // gives its time and caption (taken at a generous length: captions are not read before
  // the copy) and its path from the playlist's folder.
  constexpr std::int64_t kDigestFieldBytes = 65;
  constexpr std::int64_t kRecordLineBytes = 64 + kDigestFieldBytes;
  constexpr std::int64_t kPlaylistLineBytes = 160;
  const auto linesOf = [=](const Candidate& candidate, const std::string& target) {
    const auto targetBytes = static_cast<std::int64_t>(target.size());
    const auto sourceBytes = static_cast<std::int64_t>(candidate.path.size());
    return (record ? 3 * kRecordLineBytes + 3 * targetBytes + 2 * sourceBytes : 0) +
           (playlist ? kPlaylistLineBytes + 2 * targetBytes : 0);
  };
  // The record is written anew with the fills before this one in it, beside the old one,
  // which goes only once the new one is whole: all of it takes room for a while.
  const auto recordBytes =
      record ? static_cast<std::int64_t>(FormatFillRecord(history_).size()) : std::int64_t{0};
  space.ChargeListings(linesOf, recordBytes);
  // What the charges cannot see: the listings are three files, each ending in a part of a
  // cluster, and the record's folder may have to be made.
  const auto unit = static_cast<std::int64_t>(std::max<std::uint64_t>(allocationUnit, 1));
  budget -= RoundedUp(recordBytes, unit) + 4 * unit;
}

std::vector<Candidate> RepeatedFill::Settle(
    const std::vector<Candidate>& chosen,
    const std::unordered_map<std::string, std::string>& convertedFrom) {
  keptAt_.assign(chosen.size(), std::nullopt);
  std::unordered_map<std::string_view, std::size_t> bySource;
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!replaceable_[j].source.empty()) bySource.try_emplace(replaceable_[j].source, j);
  std::vector<Candidate> toCopy;
  toCopy.reserve(chosen.size());
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const auto found = bySource.find(chosen[i].path);
    const auto converted = convertedFrom.find(chosen[i].path);
    if (found != bySource.end() && !keptAgain_[found->second] &&
        IsWhatWouldBePlaced(replaceable_[found->second], converted != convertedFrom.end()
                                                             ? converted->second
                                                             : chosen[i].path)) {
      keptAgain_[found->second] = true;
      keptAt_[i] = replaceable_[found->second];
      ++replacement_.kept;
    } else {
      toCopy.push_back(chosen[i]);
    }
  }
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!keptAgain_[j]) ++replacement_.removed;
  return toCopy;
}

// Whether the file `recorded` on the destination holds what a copy of `path` would: its
// fingerprint is that of the file (a changed source, or another conversion, is not).
bool RepeatedFill::IsWhatWouldBePlaced(const RecordedFile& recorded,
                                       const std::string& path) const {
  if (!ownership_ || !recorded.digest) return false;
  const platform::UniqueFd fd(platform::OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return false;
  const std::optional<platform::ContentFingerprint> fingerprint =
      platform::FingerprintOf(fd.get(), ownership_->key());
  return fingerprint && fingerprint->sizeBytes == recorded.sizeBytes &&
         fingerprint->digest == *recorded.digest;
}

std::vector<std::string> RepeatedFill::KeptTargets() const {
  std::vector<std::string> targets;
  for (const std::optional<RecordedFile>& kept : keptAt_)
    if (kept) targets.push_back(kept->relative);
  for (const RecordedFile& kept : unheard_)
    targets.push_back(kept.relative);
  return targets;
}

// Whether the previous fill's playlist `playlist` goes before the copy: not where this
// fill writes one of the same name, which then replaces it whole, so that the player
// always has one.
bool RepeatedFill::RemovesPlaylist(const RecordedFile& playlist) const {
  return playlist.relative != settings_.options.devicePlaylist;
}

std::vector<std::string> RepeatedFill::PathsToRemove() const {
  std::vector<std::string> paths;
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!keptAgain_[j])
      paths.push_back(text::JoinPath(settings_.destination, replaceable_[j].relative));
  for (const RecordedFile& playlist : replaceablePlaylists_)
    if (RemovesPlaylist(playlist))
      paths.push_back(text::JoinPath(settings_.destination, playlist.relative));
  return paths;
}

transfer::PlacementJournal* RepeatedFill::BeginCopy(RunPorts& ports) {
  begunAt_ = static_cast<std::int64_t>(std::time(nullptr));
  if (!copy_ || !usesRecord_ || !writable_) return nullptr;
  if (recoveryUnstored_) {
    // The fill cut off before is still told of by its journal alone: what the previous
    // fill frees makes room for the record that takes it over, and only then does the old
    // journal go and this fill's begin.
    removedEarly_ = RemovePrevious(ports);
    if (const int error = StoreHistory()) {
      writable_ = false;
      ShowNoRecord(ports, ReasonOf(error));
      return nullptr;
    }
    RemoveJournal(*recordFolder_, kJournalName);
    recoveryUnstored_ = false;
  }
  journal_.emplace(*recordFolder_, kJournalName, ownership_->key());
  if (const int error = journal_->Begin(begunAt_, replacing_)) {
    // Without a journal nothing this fill does could be accounted for: it removes nothing
    // and keeps no record, as on a player where none can be written.
    journal_.reset();
    writable_ = false;
    ShowNoRecord(ports, ReasonOf(error));
    return nullptr;
  }
  return &*journal_;
}

ArrangeJournal* RepeatedFill::arrangeJournal() {
  return journal_ ? &*journal_ : nullptr;
}

std::vector<std::string> RepeatedFill::RemovePrevious(RunPorts& ports) {
  if (removedEarly_) return std::move(*std::exchange(removedEarly_, std::nullopt));
  std::vector<std::string> paths;
  if (!writable_ || destination_ == nullptr || !ownership_) return paths;
  replacement_.removed = 0;
  std::size_t failed = 0;
  int firstError = 0;
  std::set<std::string> emptied;  // the folders that held what was removed, and those above
  // A file proven the fill's when the fill was planned goes where it is still that very
  // file, unchanged; any other is proven now.
  const auto remove = [&](const RecordedFile& file, const platform::EntryStatus* verified,
                          bool song) {
    const int error = verified != nullptr
                          ? destination_->RemoveFileIfUnchanged(file.relative, *verified)
                          : ownership_->RemoveIfOurs(*destination_, file.relative, file);
    if (error == 0) {
      paths.push_back(text::JoinPath(settings_.destination, file.relative));
      if (song) ++replacement_.removed;
      for (std::size_t slash = file.relative.rfind('/'); slash != std::string::npos && slash > 0;
           slash = file.relative.rfind('/', slash - 1))
        emptied.insert(file.relative.substr(0, slash));
    } else if (error != ENOENT) {
      if (song) ++replacement_.left;
      if (song && error != ESTALE) notRemoved_.push_back(file);
      if (error != ESTALE && failed++ == 0) firstError = error;
    }
  };
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!keptAgain_[j]) remove(replaceable_[j], verifiedAs_[j] ? &*verifiedAs_[j] : nullptr, true);
  for (const RecordedFile& playlist : replaceablePlaylists_)
    if (RemovesPlaylist(playlist)) remove(playlist, nullptr, false);
  RemoveEmptyFillFolders(emptied);
  if (failed > 0) {
    ports.ShowWarning(
        {failed == 1
             ? SORVINA_TEXT("sorvina", "%1 file of the previous fill could not be removed (%2)")
             : SORVINA_TEXT("sorvina", "%1 files of the previous fill could not be removed (%2)"),
         {failed, ReasonOf(firstError)}});
  }
  return paths;
}

// Removes the folders that fills made and that are empty now because what the previous
// fill put there went, the deepest first: a folder a record names, but that held none of
// the fill's files (the user's own, empty), stays. Those still there stay fills' folders.
void RepeatedFill::RemoveEmptyFillFolders(const std::set<std::string>& emptied) {
  if (history_.fills.empty()) return;
  std::vector<std::string> folders = FoldersStillThere(history_.fills.back(), *destination_);
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
  });
  for (const std::string& folder : folders)
    if (!InRecordFolder(folder) && emptied.contains(folder))
      (void)destination_->RemoveFolderIfEmpty(folder);
}

ChosenPlaces RepeatedFill::PlacesOf(const std::vector<Candidate>& chosen,
                                    const transfer::FileOperationResult& copied) const {
  ChosenPlaces places;
  places.relatives.resize(chosen.size());
  places.ownCopy.assign(chosen.size(), true);
  places.digests.resize(chosen.size());
  if (destination_ == nullptr) return places;
  std::size_t next = 0;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (i < keptAt_.size() && keptAt_[i]) {
      places.relatives[i] = keptAt_[i]->relative;
      places.digests[i] = keptAt_[i]->digest;
      continue;
    }
    const std::size_t j = next++;
    if (j < copied.placedTargets.size() && !copied.placedTargets[j].empty()) {
      places.relatives[i] = copied.placedTargets[j];
      if (journal_) {
        const auto digest = journal_->placedDigests().find(copied.placedTargets[j]);
        if (digest != journal_->placedDigests().end()) places.digests[i] = digest->second;
      }
    } else if (j < copied.takenTargets.size() && !copied.takenTargets[j].empty() &&
               HaveSameContent(*destination_, copied.takenTargets[j], chosen[i].path)) {
      places.relatives[i] = copied.takenTargets[j];
      places.ownCopy[i] = false;
    }
  }
  return places;
}

bool RepeatedFill::FinishCopy(const std::vector<Candidate>& chosen, ChosenPlaces places,
                              const std::vector<std::string>& madeFolders,
                              transfer::FileOperationUi* owner, RunPorts& ports) {
  const bool devicePlaylist = !settings_.options.devicePlaylist.empty();
  const bool recording = usesRecord_ && writable_;
  if ((!devicePlaylist && !recording) || destination_ == nullptr) return true;
  std::vector<std::string>& relatives = places.relatives;

  RecordedFill fill;
  fill.time = begunAt_;
  // The previous fill's songs not yet played stay part of the fill, ahead of the new ones.
  std::vector<Candidate> listed;
  std::vector<std::string> listedRelatives;
  for (const RecordedFile& kept : unheard_) {
    const std::optional<EntryStatus> status = destination_->StatusOf(kept.relative);
    if (!status || status->kind != EntryStatus::Kind::kFile) continue;
    fill.files.push_back(kept);
    listed.push_back({kept.source, kept.sizeBytes, 1.0, 0});
    listedRelatives.push_back(kept.relative);
  }
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (relatives[i].empty()) continue;
    // Only what can be reached inside the destination is recorded, and so ever removed.
    const std::optional<EntryStatus> status = destination_->StatusOf(relatives[i]);
    if (!status || status->kind != EntryStatus::Kind::kFile) {
      relatives[i].clear();
      continue;
    }
    // A file of the fill's own with no fingerprint is not recorded: no later fill could
    // ever tell it from the user's.
    if (places.ownCopy[i] && places.digests[i])
      fill.files.push_back(
          {relatives[i], status->sizeBytes, status->modified, chosen[i].path, places.digests[i]});
  }
  for (const RecordedFile& file : notRemoved_)
    if (destination_->StatusOf(file.relative)) fill.files.push_back(file);
  // A fill that put nothing on a player that holds no record of an earlier one writes
  // neither a record nor a playlist: a record of nothing would keep a later fill from
  // offering the copies found there for adoption, and a playlist not recorded would be
  // taken for the user's.
  if (recording && fill.files.empty() && history_.fills.empty()) {
    // Its journal tells of nothing left behind, unless a folder it made stays.
    const bool failed = JournalFailed(ports);
    if (journal_ && madeFolders.empty()) journal_->Remove();
    return !failed;
  }
  if (!history_.fills.empty())
    fill.folders = FoldersStillThere(history_.fills.back(), *destination_);
  for (const std::string& folder : madeFolders)
    if (std::find(fill.folders.begin(), fill.folders.end(), folder) == fill.folders.end())
      fill.folders.push_back(folder);
  listed.insert(listed.end(), chosen.begin(), chosen.end());
  listedRelatives.insert(listedRelatives.end(), relatives.begin(), relatives.end());
  const bool written =
      !devicePlaylist || WriteDevicePlaylist(listed, listedRelatives, owner, ports, fill);
  if (written && devicePlaylist) PutPlaylistAheadOfSongs(places, fill, ports);
  const bool journaled = !JournalFailed(ports);
  if (!recording) return written;
  const bool recorded = WriteRecord(std::move(fill), ports);
  // Once the record holds the fill, the journal has told all it had to.
  if (recorded && journal_) journal_->Remove();
  return written && journaled && recorded;
}

// Says so where the journal could not be written: the fill stopped there, and only what
// the journal told of before was placed.
bool RepeatedFill::JournalFailed(RunPorts& ports) const {
  if (!journal_ || journal_->failure() == 0) return false;
  ports.ShowInformation(
      {SORVINA_TEXT("sorvina",
                    "The journal of this fill could not be written to %1 (%2); the fill stopped"),
       {PathOf(kJournalName), ReasonOf(journal_->failure())}});
  return true;
}

bool RepeatedFill::WriteDevicePlaylist(const std::vector<Candidate>& chosen,
                                       const std::vector<std::string>& relatives,
                                       transfer::FileOperationUi* owner, RunPorts& ports,
                                       RecordedFill& fill) {
  const std::string& name = settings_.options.devicePlaylist;
  std::string_view folder = FolderOf(name, PathStyle::kPosix);
  const std::string base(std::string_view(name).substr(folder.size()));
  if (!folder.empty()) folder.remove_suffix(1);
  // No link on the way to it or in its place: the playlist is written inside the
  // destination or not at all.
  std::vector<std::string> made;
  const std::optional<ContainedFolder> playlistFolder =
      folder.empty() ? std::nullopt : destination_->Folder(folder, true, nullptr, &made);
  for (std::string& made : made) {
    if (journal_) journal_->FolderMade(made);
    fill.folders.push_back(std::move(made));
  }
  const ContainedFolder* into = folder.empty()   ? destination_
                                : playlistFolder ? &*playlistFolder
                                                 : nullptr;
  const std::optional<EntryStatus> existing = into ? into->StatusOf(base) : std::nullopt;
  if (into == nullptr || (existing && existing->kind == EntryStatus::Kind::kFolder)) {
    ports.ShowInformation(kCannotOpenPlaylistMessage);
    return false;
  }
  if (writable_) into->RemoveLeftoverTemporaries(base);
  std::vector<std::string> paths;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (relatives[i].empty() || !IsPlaylistEntryPath(relatives[i])) continue;
    paths.push_back(chosen[i].path);
    lines.push_back(RelativeEntry(folder, relatives[i], PathStyle::kPosix).value_or(relatives[i]));
  }
  // Cancel does not cut it short: the files are on the player by then, and a playlist that
  // ended early would hide the rest of them.
  UncancellablePorts wholePlaylist(ports);
  std::string text;
  PlaylistText(paths, lines, wholePlaylist, text);

  // Only a playlist that a fill wrote, unchanged since, is replaced without asking. Each
  // is in the journal before it is written, so that a fill cut off before its record takes
  // it back.
  const std::string prefix = folder.empty() ? std::string() : std::string(folder) + "/";
  const std::optional<platform::ContentFingerprint> fingerprint =
      ownership_ ? std::optional(platform::FingerprintOfBytes(text, ownership_->key()))
                 : std::nullopt;
  const auto journaled = [&](const std::string& written) {
    return journal_ && fingerprint ? journal_->WillWritePlaylist(prefix + written, *fingerprint)
                                   : 0;
  };
  std::string written = base;
  int error = 0;
  // Where the device renames nothing, a playlist is written under its name, the fill's own
  // one it replaces removed first.
  const auto placeNew = [&](const std::string& written) {
    const int placed = into->PlaceNewFile(written, text);
    return platform::PlacementRefused(placed) ? into->WriteNewFileInPlace(written, text) : placed;
  };
  if (existing && IsOwnPlaylist(name)) {
    error = journaled(base);
    if (error == 0) error = into->ReplaceFile(base, text);
    if (platform::PlacementRefused(error) &&
        (error = into->RemoveFileIfUnchanged(base, *existing)) == 0)
      error = into->WriteNewFileInPlace(base, text);
  } else {
    error = existing ? EEXIST : journaled(base);
    if (error == 0) error = placeNew(base);
    if (error == EEXIST) {
      const transfer::ConflictAction action =
          owner != nullptr
              ? owner->AskConflict({}, text::JoinPath(settings_.destination, name)).action
              : transfer::ConflictAction::kSkip;
      error = 0;
      switch (action) {
        case transfer::ConflictAction::kReplace:
          error = journaled(base);
          if (error == 0) error = into->ReplaceFile(base, text);
          break;
        case transfer::ConflictAction::kKeepBoth:
          error = EEXIST;
          for (unsigned number = 2; error == EEXIST && number < 10000; ++number) {
            written = transfer::NumberedName(base, number);
            error = journaled(written);
            if (error == 0) error = placeNew(written);
          }
          break;
        case transfer::ConflictAction::kSkip:
        case transfer::ConflictAction::kCancel:
          return true;  // the user's file stays; the copy itself went as it went
      }
    }
  }
  if (error != 0) {
    ports.ShowInformation(kCannotWritePlaylistMessage);
    return false;
  }
  const std::string relative = prefix + written;
  if (const std::optional<EntryStatus> status = destination_->StatusOf(relative))
    fill.playlists.push_back({relative,
                              status->sizeBytes,
                              status->modified,
                              {},
                              fingerprint ? std::optional(fingerprint->digest) : std::nullopt});
  return true;
}

// The playlist, written once the songs are in play order, took the first free place in
// its folder that fits its name: one among the songs, where a longer name could not take
// it or the last fill's playlist held it. Where it shares its folder with songs, it goes
// out with them and comes back first, each taking the first free place that fits it
// again: no song can then take a place ahead of it (where the volume's listing shows
// the order, one that does goes again), and the songs follow in play order.
void RepeatedFill::PutPlaylistAheadOfSongs(const ChosenPlaces& places, RecordedFill& fill,
                                           RunPorts& ports) {
  if (!places.inPlayOrder || fill.playlists.empty() || destination_ == nullptr) return;
  const std::string playlist = fill.playlists.back().relative;
  if (InRecordFolder(playlist)) return;
  const std::string folder = text::ParentPath(playlist);
  std::vector<ArrangedFile> files = {{playlist, playlist}};
  for (std::size_t i = 0; i < places.relatives.size(); ++i) {
    const std::string& song = places.relatives[i];
    if (!song.empty() && places.ownCopy[i] && text::ParentPath(song) == folder)
      files.push_back({song, song});
  }
  if (files.size() == 1) return;
  const ArrangeResult arranged =
      ArrangeInPlayOrder(*destination_, files, {kRecordFolderName}, arrangeJournal(),
                         journal_ ? kRecordFolderName : std::string());
  // Where a failure left a file elsewhere, the record names it there.
  std::unordered_map<std::string, std::string> movedTo;
  for (std::size_t k = 0; k < files.size() && k < arranged.placed.size(); ++k)
    if (arranged.placed[k] && *arranged.placed[k] != files[k].current)
      movedTo.emplace(files[k].current, *arranged.placed[k]);
  for (std::vector<RecordedFile>* recorded : {&fill.files, &fill.playlists})
    for (RecordedFile& file : *recorded)
      if (const auto to = movedTo.find(file.relative); to != movedTo.end())
        file.relative = to->second;
  if (arranged.error != 0) {
    ports.ShowWarning(
        {SORVINA_TEXT("sorvina", "Not every folder could be put in play order: %1 (%2)"),
         {arranged.failedPath, transfer::ErrorText(arranged.error)}});
  }
}

// Whether the playlist at `relative` is the one a fill wrote there last, as it wrote it.
bool RepeatedFill::IsOwnPlaylist(const std::string& relative) const {
  for (auto fill = history_.fills.rbegin(); fill != history_.fills.rend(); ++fill) {
    for (const RecordedFile& playlist : fill->playlists)
      if (playlist.relative == relative) return OwnsPlaylist(playlist, *fill);
  }
  return false;
}

// Whether `playlist`, written by `fill`, is still as that fill wrote it: its fingerprint
// says so; a record from before fingerprints has none, and there a playlist is the fill's
// only where it is still of the size and time recorded and lists nothing but songs that
// fill put there.
bool RepeatedFill::OwnsPlaylist(const RecordedFile& playlist, const RecordedFill& fill) const {
  if (!ownership_ || destination_ == nullptr) return false;
  if (playlist.digest)
    return ownership_->Verify(*destination_, playlist.relative, playlist).has_value();
  const std::optional<EntryStatus> status = destination_->StatusOf(playlist.relative);
  if (!status || status->kind != EntryStatus::Kind::kFile ||
      status->sizeBytes != playlist.sizeBytes || !(status->modified == playlist.modified))
    return false;
  std::string_view folder = FolderOf(playlist.relative, PathStyle::kPosix);
  if (!folder.empty()) folder.remove_suffix(1);
  const std::optional<ContainedFolder> in =
      folder.empty() ? std::nullopt : destination_->Folder(folder, false);
  std::string text;
  if ((folder.empty() ? *destination_ : *in)
              .ReadFile(playlist.relative.substr(folder.empty() ? 0 : folder.size() + 1),
                        kMaxRecordBytes, text) != 0 ||
      !text.starts_with("#EXTM3U"))
    return false;
  std::unordered_set<std::string> songs;
  for (const RecordedFile& file : fill.files)
    songs.insert(RelativeEntry(folder, file.relative, PathStyle::kPosix).value_or(file.relative));
  std::size_t entries = 0;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(begin, end - begin);
    begin = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (!songs.contains(std::string(line))) return false;
    ++entries;
  }
  return entries > 0;
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
  const int error = StoreHistory();
  // The journal stays where it is, so that the next fill still finds what this one did.
  if (error != 0) {
    ports.ShowInformation(
        {SORVINA_TEXT("sorvina", "The record of this fill could not be written to %1 (%2)"),
         {PathOf(recordName_), ReasonOf(error)}});
  }
  return error == 0;
}

// Writes the history whole into the record; 0, or the errno value.
int RepeatedFill::StoreHistory() {
  // The oldest fills go first where a record would grow past what a reader takes.
  std::string bytes = FormatFillRecord(history_);
  while (history_.fills.size() > 1 &&
         (bytes.size() > kMaxRecordBytes || LinesOf(history_) > kMaxRecordLines)) {
    history_.fills.erase(history_.fills.begin());
    bytes = FormatFillRecord(history_);
  }
  if (recordHeldAs_.empty()) recordHeldAs_ = recordName_;
  int error = recordFolder_->ReplaceFile(recordHeldAs_, bytes);
  if (!platform::PlacementRefused(error)) return error;
  // The device renames nothing: the record is written whole under the other of its two
  // names (its own where it has none yet), and the one before goes only then, so that a
  // record is there whole at every point; ReadRecord takes the newer.
  const bool held = recordFolder_->StatusOf(recordHeldAs_).has_value();
  const std::string next = !held                          ? recordHeldAs_
                           : recordHeldAs_ == recordName_ ? AlternateRecordName(recordName_)
                                                          : recordName_;
  // Left by a write cut off, or older than the one held: no fill is recorded only there.
  if (const std::optional<EntryStatus> stale = recordFolder_->StatusOf(next); stale && held)
    (void)recordFolder_->RemoveFileIfUnchanged(next, *stale);
  if ((error = recordFolder_->WriteNewFileInPlace(next, bytes)) != 0) return error;
  if (next != recordHeldAs_) {
    if (const std::optional<EntryStatus> before = recordFolder_->StatusOf(recordHeldAs_))
      (void)recordFolder_->RemoveFileIfUnchanged(recordHeldAs_, *before);
  }
  recordHeldAs_ = next;
  return 0;
}

std::optional<Replacement> RepeatedFill::replacement() const {
  if (!replacing_ || !(writable_ || dryRun_)) return std::nullopt;
  return replacement_;
}

std::optional<std::string> RepeatedFill::ReadBeside(const std::string& name, RunPorts& ports) {
  return ReadTrusted(name, ports);
}

bool RepeatedFill::WriteBeside(const std::string& name, const std::string& bytes, RunPorts& ports) {
  if (dryRun_ || !recordFolder_ || !writable_) return true;
  int error = recordFolder_->ReplaceFile(name, bytes);
  if (platform::PlacementRefused(error)) {
    // The device renames nothing: the file is written anew in place.
    if (const std::optional<EntryStatus> before = recordFolder_->StatusOf(name))
      (void)recordFolder_->RemoveFileIfUnchanged(name, *before);
    error = recordFolder_->WriteNewFileInPlace(name, bytes);
  }
  if (error != 0) {
    ports.ShowWarning(
        {SORVINA_TEXT("sorvina", "The record of this fill could not be written to %1 (%2)"),
         {PathOf(name), ReasonOf(error)}});
  }
  return error == 0;
}

std::int64_t RepeatedFill::LastFillTime() const {
  return history_.fills.empty() ? 0 : history_.fills.back().time;
}

void RepeatedFill::KeepIfChosen(const std::vector<std::pair<std::string, std::string>>& files) {
  if (destination_ == nullptr || !ownership_ || !(writable_ || dryRun_)) return;
  std::set<std::string_view> already;
  for (const RecordedFile& file : replaceable_)
    already.insert(file.relative);
  for (const auto& [relative, source] : files) {
    if (already.contains(relative) || InRecordFolder(relative)) continue;
    // The newest fill that recorded a file there tells what it must hold.
    for (auto fill = history_.fills.rbegin(); fill != history_.fills.rend(); ++fill) {
      const auto recorded =
          std::find_if(fill->files.begin(), fill->files.end(), [&](const RecordedFile& file) {
            return file.relative == relative && file.source == source;
          });
      if (recorded == fill->files.end()) continue;
      if (const std::optional<OwnedFile> owned =
              ownership_->Verify(*destination_, relative, *recorded)) {
        replaceable_.push_back(*recorded);
        replaceable_.back().digest = owned->digest;
        replaceable_.back().modified = owned->status.modified;
        verifiedAs_.push_back(owned->status);
        keptAgain_.push_back(false);
      }
      break;
    }
  }
}

}  // namespace sorvina::engine
