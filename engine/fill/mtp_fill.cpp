// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/mtp_fill.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <set>
#include <unordered_set>

#include "engine/fill/record_lines.h"
#include "engine/fill/repeated_fill.h"
#include "engine/output/playlist_paths.h"
#include "engine/output/playlist_writer.h"
#include "engine/report/messages.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"
#include "platform/unique_fd.h"
#include "platform/user_folders.h"
#include "text/path_style.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

using platform::MtpObject;
using platform::MtpObjectId;
using text::UserText;

constexpr char kAlternateRecordName[] = "fills-2.txt";
constexpr char kJournalVersion[] = "sorvina-mtp-journal\t1";

std::vector<std::string> Names(std::string_view path) {
  std::vector<std::string> names;
  while (!path.empty()) {
    const std::size_t end = std::min(path.find('/'), path.size());
    if (end > 0) names.emplace_back(path.substr(0, end));
    path.remove_prefix(std::min(end + 1, path.size()));
  }
  return names;
}

std::string FolderPart(const std::string& relative) {
  const std::size_t slash = relative.rfind('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string NamePart(const std::string& relative) {
  const std::size_t slash = relative.rfind('/');
  return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// Phones compare names without letter case, as FAT does.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && text::EndsWithNoCase(a, b);
}

std::int64_t RoundedUp(std::int64_t bytes, std::int64_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// The phone went away, or stopped answering: nothing more can be done on it this run.
bool PhoneGone(int error) {
  return error == ENODEV || error == ETIMEDOUT;
}

// Bytes in memory as a file to send from.
platform::UniqueFd FileOfBytes(const std::string& bytes) {
  platform::UniqueFd fd(memfd_create("sorvina", MFD_CLOEXEC));
  if (!fd) return fd;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) return platform::UniqueFd();
    done += static_cast<std::size_t>(wrote);
  }
  return fd;
}

std::string DigestField(const std::optional<FileDigest>& digest) {
  return digest ? platform::DigestText(*digest) : std::string(record_lines::kNoDigest);
}

UserText PhoneGoneText(const std::string& name) {
  return {SORVINA_TEXT("sorvina",
                       "The phone stopped answering at %1; what was sent before is kept, and "
                       "the next fill of it finishes the record"),
          {name}};
}

}  // namespace

// The objects below the destination folder, each folder listed once when first needed.
class MtpFill::Objects {
 public:
  explicit Objects(MtpDestination& phone)
      : device_(phone.device()), storage_(phone.storage()), base_(phone.folderNames()) {}

  platform::MtpDevice& device() { return device_; }
  std::uint32_t storage() const { return storage_; }

  // The children of `parent`, listed once.
  int Children(MtpObjectId parent, const std::vector<MtpObject>** children) {
    auto found = listed_.find(parent);
    if (found == listed_.end()) {
      std::vector<MtpObject> listed;
      if (const int error = device_.ListFolder(storage_, parent, listed)) return error;
      found = listed_.emplace(parent, std::move(listed)).first;
    }
    *children = &found->second;
    return 0;
  }

  // The folder `relative` below the destination ("" for the destination itself), made
  // where missing and `make` (the folders made below the destination added to `made`);
  // none where it is not there.
  int Folder(const std::string& relative, bool make, std::optional<MtpObjectId>& id,
             std::vector<std::string>* made = nullptr) {
    std::vector<std::string> names = base_;
    const std::size_t baseCount = names.size();
    for (std::string& name : Names(relative))
      names.push_back(std::move(name));
    MtpObjectId parent = platform::kMtpTopLevel;
    std::string below;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i >= baseCount) below = Joined(below, names[i]);
      const std::vector<MtpObject>* children = nullptr;
      if (const int error = Children(parent, &children)) return error;
      const auto found = std::find_if(children->begin(), children->end(), [&](const MtpObject& o) {
        return o.folder && SameName(o.name, names[i]);
      });
      if (found != children->end()) {
        parent = found->id;
        continue;
      }
      if (!make) {
        id.reset();
        return 0;
      }
      MtpObjectId madeId = 0;
      if (const int error = device_.MakeFolder(storage_, parent, names[i], madeId)) return error;
      listed_[parent].push_back({madeId, parent, names[i], 0, true});
      listed_[madeId];
      if (made != nullptr && i >= baseCount) made->push_back(below);
      parent = madeId;
    }
    id = parent;
    return 0;
  }

  // The object at `relative` below the destination; none where there is none.
  int Find(const std::string& relative, std::optional<MtpObject>& object) {
    object.reset();
    std::optional<MtpObjectId> folder;
    if (const int error = Folder(FolderPart(relative), false, folder)) return error;
    if (!folder) return 0;
    const std::vector<MtpObject>* children = nullptr;
    if (const int error = Children(*folder, &children)) return error;
    const std::string name = NamePart(relative);
    for (const MtpObject& child : *children)
      if (child.name == name) object = child;
    return 0;
  }

  void Added(const MtpObject& object) { listed_[object.parent].push_back(object); }
  void Removed(const MtpObject& object) {
    std::vector<MtpObject>& children = listed_[object.parent];
    std::erase_if(children, [&](const MtpObject& o) { return o.id == object.id; });
  }
  // Lists `parent` again when next asked: a send that failed may have left an object.
  void Forget(MtpObjectId parent) { listed_.erase(parent); }

 private:
  platform::MtpDevice& device_;
  const std::uint32_t storage_;
  const std::vector<std::string> base_;
  std::map<MtpObjectId, std::vector<MtpObject>> listed_;
};

// The journal on this computer: a line ahead of each step, on the disk before it.
class MtpFill::Journal {
 public:
  explicit Journal(std::string path) : path_(std::move(path)) {}

  int Begin(std::int64_t time, const std::string& folder) {
    const std::string parent = FolderPart(path_);
    if (const int error = platform::MakeFolders(parent)) return error;
    fd_ = platform::UniqueFd(open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd_) return errno;
    const std::string start = std::string(kJournalVersion) + "\n";
    if (write(fd_.get(), start.data(), start.size()) != static_cast<ssize_t>(start.size()))
      return errno != 0 ? errno : EIO;
    return Write({"begin", std::to_string(time), folder});
  }

  int Write(std::initializer_list<std::string> fields) {
    if (!fd_) return EBADF;
    std::string line;
    for (const std::string& field : fields) {
      if (!line.empty()) line += '\t';
      record_lines::AppendEscaped(line, field);
    }
    line += '\n';
    if (write(fd_.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      return errno != 0 ? errno : EIO;
    return fdatasync(fd_.get()) == 0 ? 0 : errno;
  }

  void Remove() {
    fd_ = platform::UniqueFd();
    unlink(path_.c_str());
  }

 private:
  std::string path_;
  platform::UniqueFd fd_;
};

MtpFill::MtpFill(const SelectionSettings& settings, MtpDestination& phone, bool dryRun)
    : settings_(settings),
      phone_(phone),
      dryRun_(dryRun),
      objects_(std::make_unique<Objects>(phone)) {}

MtpFill::~MtpFill() = default;

// The storage and folder a journal is about.
std::string MtpFill::FolderKey() const {
  std::string key = std::to_string(phone_.storage());
  for (const std::string& name : phone_.folderNames())
    key += "/" + name;
  return key;
}

std::string MtpFill::JournalPath(const std::string& serial) {
  const bool plain = !serial.empty() && std::all_of(serial.begin(), serial.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
  });
  return platform::StateFolder() + "/mtp/" + (plain ? serial : TextHash(serial)) + ".journal";
}

bool MtpFill::Begin(RunPorts& ports) {
  if (std::optional<platform::FingerprintKey> key = platform::UserFingerprintKey())
    key_.emplace(std::move(*key));
  if (!ReadRecord(ports)) return false;
  if (!dryRun_) Recover(ports);
  if (const int error = PlanReplacement()) {
    ports.ShowInformation(
        {SORVINA_TEXT("sorvina", "The phone cannot be read: %1"), {transfer::ErrorText(error)}});
    return false;
  }
  return true;
}

// Takes the newest whole record of the two names a record takes in turn.
bool MtpFill::ReadRecord(RunPorts& ports) {
  std::optional<MtpObject> folder;
  if (const int error = objects_->Find(kRecordFolderName, folder)) {
    ports.ShowInformation(
        {SORVINA_TEXT("sorvina", "The phone cannot be read: %1"), {transfer::ErrorText(error)}});
    return false;
  }
  if (!folder || !folder->folder) return true;
  const std::vector<MtpObject>* children = nullptr;
  if (const int error = objects_->Children(folder->id, &children)) {
    ports.ShowInformation(
        {SORVINA_TEXT("sorvina", "The phone cannot be read: %1"), {transfer::ErrorText(error)}});
    return false;
  }
  std::optional<FillHistory> best;
  for (const MtpObject& object : *children) {
    if (object.folder || (object.name != kRecordFileName && object.name != kAlternateRecordName))
      continue;
    std::optional<FillHistory> read;
    if (object.sizeBytes <= kMaxRecordBytes) {
      // A record that cannot be read is no damaged one: the fill stops rather than lose
      // track of the files it names.
      const platform::UniqueFd fd(memfd_create("sorvina", MFD_CLOEXEC));
      std::string bytes(object.sizeBytes, '\0');
      int error = fd ? objects_->device().GetFile(object.id, fd.get()) : errno;
      if (error == 0 &&
          pread(fd.get(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        error = EIO;
      if (error != 0) {
        ports.ShowInformation({SORVINA_TEXT("sorvina", "The phone cannot be read: %1"),
                               {transfer::ErrorText(error)}});
        return false;
      }
      ParsedRecord parsed = ParseFillRecord(bytes);
      if (parsed.problem == RecordProblem::kNone) read = std::move(parsed.history);
    }
    const auto newest = [](const FillHistory& h) {
      return h.fills.empty() ? std::int64_t{0} : h.fills.back().time;
    };
    if (read && (!best || newest(*read) > newest(*best))) {
      if (recordId_) staleRecords_.push_back({*recordId_, folder->id, recordName_, 0, false});
      best = std::move(read);
      recordId_ = object.id;
      recordName_ = object.name;
    } else {
      staleRecords_.push_back(object);
    }
  }
  if (best) {
    history_ = std::move(*best);
  } else if (!staleRecords_.empty()) {
    recordUnreadable_ = true;
    ports.ShowWarning(
        {SORVINA_TEXT("sorvina", "The record of earlier fills in %1 was ignored: %2"),
         {phone_.ShownName(),
          UserText(SORVINA_TEXT("sorvina", "it is damaged or was changed by hand"))}});
  }
  return true;
}

// Finishes the fill the journal tells of: a file it sent whole joins the record, one it
// did not send whole is deleted. Only the lines before the first that is not as written
// count.
void MtpFill::Recover(RunPorts& ports) {
  const std::string path = JournalPath(phone_.serial());
  const std::optional<std::string> bytes = platform::ReadWholeFile(path);
  if (!bytes) return;
  record_lines::Lines lines(*bytes);
  std::string_view line;
  if (!lines.Next(line) || line != kJournalVersion) {
    unlink(path.c_str());
    return;
  }
  RecordedFill fill;
  std::string folderKey;
  struct Sent {
    RecordedFile file;
    bool playlist = false;
  };
  std::vector<Sent> sends;
  bool replacing = false;
  while (lines.Next(line)) {
    std::vector<std::string> fields;
    bool whole = true;
    for (std::string_view rest = line;;) {
      const std::size_t tab = rest.find('\t');
      std::optional<std::string> field = record_lines::Unescaped(rest.substr(0, tab));
      if (!field) whole = false;
      fields.push_back(field.value_or(""));
      if (tab == std::string_view::npos) break;
      rest.remove_prefix(tab + 1);
    }
    if (!whole) break;
    const std::string& kind = fields[0];
    if (kind == "begin" && fields.size() == 3) {
      fill.time = record_lines::NumberOf<std::int64_t>(fields[1]).value_or(0);
      folderKey = fields[2];
    } else if ((kind == "send" || kind == "playlist") && fields.size() == 5) {
      Sent sent;
      sent.playlist = kind == "playlist";
      sent.file.sizeBytes = record_lines::NumberOf<std::int64_t>(fields[1]).value_or(-1);
      sent.file.digest = platform::DigestFromText(fields[2]);
      sent.file.relative = fields[3];
      sent.file.source = fields[4];
      if (record_lines::ReadRelative(fields[3], sent.file.relative) !=
          record_lines::LineResult::kTaken)
        break;
      sends.push_back(std::move(sent));
    } else if (kind == "folder" && fields.size() == 2) {
      fill.folders.push_back(fields[1]);
    } else if (kind == "delete") {
      replacing = true;
    } else if (kind != "sent" && kind != "record") {
      break;
    }
  }
  const bool sameFolder = folderKey == FolderKey();
  for (const Sent& sent : sends) {
    std::optional<MtpObject> object;
    if (objects_->Find(sent.file.relative, object) != 0) return;  // the journal stays
    if (!object || object->folder) continue;
    const auto size = static_cast<std::int64_t>(object->sizeBytes);
    if (size < sent.file.sizeBytes) {
      // Cut off while it was being sent: not whole, and ours.
      if (objects_->device().DeleteObject(object->id) != 0) return;
      objects_->Removed(*object);
    } else if (size == sent.file.sizeBytes && sameFolder) {
      (sent.playlist ? fill.playlists : fill.files).push_back(sent.file);
    }
  }
  // Cut off after its record was sent: the record holds it already. Two fills may begin
  // in one second, so the files tell.
  const bool recorded =
      !history_.fills.empty() && history_.fills.back().time == fill.time &&
      std::all_of(fill.files.begin(), fill.files.end(), [this](const RecordedFile& file) {
        const std::vector<RecordedFile>& last = history_.fills.back().files;
        return std::any_of(last.begin(), last.end(),
                           [&](const RecordedFile& r) { return r.relative == file.relative; });
      });
  if (sameFolder && !recorded && replacing) {
    // It was cut off while replacing the fill before it: what is left of that one is
    // replaced with it next time.
    const RecordedFill& previous = history_.fills.back();
    for (const auto* files : {&previous.files, &previous.playlists}) {
      for (const RecordedFile& file : *files) {
        bool there = false;
        if (FindAsRecorded(file, there) != 0) return;
        if (there) (files == &previous.files ? fill.files : fill.playlists).push_back(file);
      }
    }
  }
  if (sameFolder && !recorded && (!fill.files.empty() || !fill.playlists.empty())) {
    // The folders of the fill before it still stand: they are the fills' too.
    if (!history_.fills.empty())
      fill.folders.insert(fill.folders.begin(), history_.fills.back().folders.begin(),
                          history_.fills.back().folders.end());
    history_.fills.push_back(std::move(fill));
    if (!WriteRecord(ports)) return;
  }
  unlink(path.c_str());
}

// The previous fill's files still on the phone as recorded; 0 or the errno value of a
// phone that could not be read.
int MtpFill::PlanReplacement() {
  replacement_.anyPrevious = !history_.fills.empty();
  if (history_.fills.empty()) return 0;
  const RecordedFill& last = history_.fills.back();
  int error = 0;
  // The playlist of the fill before goes when replacing, and where this fill writes its
  // own in its place.
  for (const RecordedFile& playlist : last.playlists) {
    if (!settings_.options.replacePrevious && playlist.relative != settings_.options.devicePlaylist)
      continue;
    bool there = false;
    if ((error = FindAsRecorded(playlist, there)) != 0) return error;
    if (there) replaceablePlaylists_.push_back(playlist);
  }
  if (!settings_.options.replacePrevious) return 0;
  for (const RecordedFile& file : last.files) {
    bool there = false;
    if ((error = FindAsRecorded(file, there)) != 0) return error;
    if (there)
      replaceable_.push_back(file);
    else
      ++replacement_.left;
  }
  keptAgain_.assign(replaceable_.size(), false);
  return 0;
}

// Whether the object at the place of `file` has its name and size.
int MtpFill::FindAsRecorded(const RecordedFile& file, bool& there) {
  std::optional<MtpObject> object;
  const int error = objects_->Find(file.relative, object);
  there = error == 0 && object && !object->folder &&
          static_cast<std::int64_t>(object->sizeBytes) == file.sizeBytes;
  return error;
}

bool MtpFill::LeaveOutRecent(CandidatePool& pool) const {
  const auto recentFills = static_cast<std::size_t>(std::max(0, settings_.options.avoidLast));
  if (recentFills == 0 || history_.fills.empty()) return true;
  std::unordered_set<std::string_view> recent;
  AddRecentSources(history_, recentFills, recent);
  pool.RemoveWhere([&](CandidatePool::Index i) { return recent.contains(pool[i].path); });
  return pool.count() > 0;
}

std::int64_t MtpFill::SpaceToBeFreed(std::uint64_t allocationUnit) const {
  const auto unit = static_cast<std::int64_t>(std::max<std::uint64_t>(allocationUnit, 1));
  std::int64_t bytes = 0;
  for (const RecordedFile& file : replaceable_)
    bytes += RoundedUp(file.sizeBytes, unit);
  return bytes;
}

void MtpFill::ChargeOwnFiles(DestinationSpace& space, std::int64_t& budget,
                             std::uint64_t allocationUnit) const {
  // A line of the record per file, one of the playlist; the new record stands beside the
  // old one until it is whole.
  const bool playlist = !settings_.options.devicePlaylist.empty();
  const auto linesOf = [=](const Candidate& candidate, const std::string& target) {
    const auto targetBytes = static_cast<std::int64_t>(target.size());
    return 130 + targetBytes + static_cast<std::int64_t>(candidate.path.size()) +
           (playlist ? 160 + 2 * targetBytes : 0);
  };
  const auto recordBytes = static_cast<std::int64_t>(FormatFillRecord(history_).size());
  space.ChargeListings(linesOf, recordBytes);
  const auto unit = static_cast<std::int64_t>(std::max<std::uint64_t>(allocationUnit, 1));
  budget -= RoundedUp(recordBytes, unit) + 3 * unit;
}

std::vector<Candidate> MtpFill::Settle(
    const std::vector<Candidate>& chosen,
    const std::unordered_map<std::string, std::string>& convertedFrom) {
  keptAt_.assign(chosen.size(), std::nullopt);
  std::unordered_map<std::string_view, std::size_t> bySource;
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (!replaceable_[j].source.empty()) bySource.try_emplace(replaceable_[j].source, j);
  // A file stays where the record's fingerprint is that of what would be sent now.
  const auto wouldBeSent = [this](const RecordedFile& recorded, const std::string& path) {
    if (!key_ || !recorded.digest) return false;
    const platform::UniqueFd fd(platform::OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    const std::optional<platform::ContentFingerprint> fingerprint =
        platform::FingerprintOf(fd.get(), *key_);
    return fingerprint && fingerprint->sizeBytes == recorded.sizeBytes &&
           fingerprint->digest == *recorded.digest;
  };
  std::vector<Candidate> toCopy;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const auto found = bySource.find(chosen[i].path);
    const auto converted = convertedFrom.find(chosen[i].path);
    if (found != bySource.end() && !keptAgain_[found->second] &&
        wouldBeSent(replaceable_[found->second],
                    converted != convertedFrom.end() ? converted->second : chosen[i].path)) {
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

std::vector<std::string> MtpFill::PathsToRemove() const {
  std::vector<std::string> paths;
  for (std::size_t j = 0; j < replaceable_.size(); ++j)
    if (j >= keptAgain_.size() || !keptAgain_[j]) paths.push_back(replaceable_[j].relative);
  return paths;
}

std::optional<Replacement> MtpFill::replacement() const {
  if (!settings_.options.replacePrevious) return std::nullopt;
  return replacement_;
}

// Deletes the file of a fill where the object at its place has the recorded name and
// size; ESTALE where it does not.
int MtpFill::DeleteOwn(const RecordedFile& file) {
  std::optional<MtpObject> object;
  if (const int error = objects_->Find(file.relative, object)) return error;
  if (!object || object->folder || static_cast<std::int64_t>(object->sizeBytes) != file.sizeBytes)
    return ESTALE;
  if (const int error = objects_->device().DeleteObject(object->id)) return error;
  objects_->Removed(*object);
  return 0;
}

bool MtpFill::StopsTheFill(int error, RunPorts& ports, const std::string& relative) {
  if (PhoneGone(error)) {
    ports.ShowInformation(PhoneGoneText(relative));
  } else if (error == ENOSPC) {
    ports.ShowInformation(
        {SORVINA_TEXT("sorvina", "The phone's storage is full; %1 was not sent"), {relative}});
  } else if (error == EMFILE) {
    ports.ShowInformation(
        {SORVINA_TEXT("sorvina", "The phone holds as many files as it can; %1 was not sent"),
         {relative}});
  } else {
    return false;
  }
  return true;
}

MtpFill::Result MtpFill::Copy(const std::vector<Candidate>& chosen,
                              const std::vector<std::string>& targets,
                              const std::unordered_map<std::string, std::string>& convertedFrom,
                              transfer::FileOperationUi* owner, RunPorts& ports) {
  Result result;
  if (chosen.empty()) return result;
  // Later than every fill recorded, so that of two records the newer is always known.
  const std::int64_t begunAt =
      std::max(static_cast<std::int64_t>(std::time(nullptr)),
               history_.fills.empty() ? std::int64_t{0} : history_.fills.back().time + 1);
  journal_ = std::make_unique<Journal>(JournalPath(phone_.serial()));
  Journal& journal = *journal_;
  if (const int error = journal.Begin(begunAt, FolderKey())) {
    ports.ShowInformation({SORVINA_TEXT("sorvina",
                                        "The journal of this fill cannot be kept in "
                                        "%1: %2"),
                           {JournalPath(phone_.serial()), transfer::ErrorText(error)}});
    result.succeeded = false;
    return result;
  }
  RecordedFill fill;
  fill.time = begunAt;
  bool gone = false;
  // The previous fill's files that are not kept, then the folders fills made that this
  // leaves empty.
  std::size_t notRemoved = 0;
  for (std::size_t j = 0; j < replaceable_.size() && !gone; ++j) {
    if (keptAgain_[j]) continue;
    const RecordedFile& file = replaceable_[j];
    int error = journal.Write({"delete", file.relative});
    if (error == 0) error = DeleteOwn(file);
    if (error != 0) {
      ++notRemoved;
      gone = PhoneGone(error);
    }
  }
  for (const RecordedFile& playlist : replaceablePlaylists_) {
    if (gone || journal.Write({"delete", playlist.relative}) != 0) break;
    const int error = DeleteOwn(playlist);
    gone = PhoneGone(error);
  }
  if (gone) {
    ports.ShowInformation(PhoneGoneText(phone_.ShownName()));
    result.succeeded = false;
    return result;  // the journal stays for the next fill
  }
  replacement_.removed -= std::min(replacement_.removed, notRemoved);
  replacement_.left += notRemoved;
  std::set<std::string> folders;
  if (!history_.fills.empty())
    folders.insert(history_.fills.back().folders.begin(), history_.fills.back().folders.end());
  if (settings_.options.replacePrevious && !gone) {
    // Deepest first: a folder goes only once empty, and only one that fills made.
    for (auto it = folders.rbegin(); it != folders.rend();) {
      std::optional<MtpObjectId> id;
      const std::vector<MtpObject>* children = nullptr;
      bool removed = false;
      if (objects_->Folder(*it, false, id) == 0 && id && objects_->Children(*id, &children) == 0 &&
          children->empty() && journal.Write({"delete", *it}) == 0 &&
          objects_->device().DeleteObject(*id) == 0) {
        std::optional<MtpObjectId> parent;
        if (objects_->Folder(FolderPart(*it), false, parent) == 0 && parent)
          objects_->Removed({*id, *parent, NamePart(*it), 0, true});
        removed = true;
      }
      it =
          removed ? std::make_reverse_iterator(folders.erase(std::next(it).base())) : std::next(it);
    }
  }

  std::vector<std::string> places(chosen.size());
  std::unique_ptr<ProgressPort> progress =
      ports.OpenProgress({SORVINA_TEXT("sorvina", "Sending to %1"), {phone_.ShownName()}});
  if (progress) progress->SetRange(0, static_cast<int>(chosen.size()));
  std::optional<transfer::ConflictAction> conflictForAll;
  for (std::size_t i = 0; i < chosen.size() && !gone; ++i) {
    if (keptAt_.size() > i && keptAt_[i]) {
      RecordedFile kept = *keptAt_[i];
      places[i] = kept.relative;
      fill.files.push_back(std::move(kept));
      continue;
    }
    if (progress && progress->PumpAndCheckCancel()) {
      result.cancelled = true;
      break;
    }
    if (progress) {
      progress->SetPosition(static_cast<int>(i));
      progress->SetLabel(text::Verbatim(std::string(text::SplitPath(chosen[i].path).name)));
    }
    const auto converted = convertedFrom.find(chosen[i].path);
    const std::string& from = converted != convertedFrom.end() ? converted->second : chosen[i].path;
    const std::string folder = FolderPart(targets[i]);
    std::string name = NamePart(targets[i]);
    std::optional<MtpObjectId> parent;
    std::vector<std::string> made;
    int error = objects_->Folder(folder, true, parent, &made);
    for (const std::string& madeFolder : made) {
      (void)journal.Write({"folder", madeFolder});
      folders.insert(madeFolder);
    }
    const std::vector<MtpObject>* children = nullptr;
    if (error == 0) error = objects_->Children(*parent, &children);
    if (error != 0) {
      if (StopsTheFill(error, ports, targets[i])) {
        gone = PhoneGone(error);
        result.succeeded = false;
        break;
      }
      ++result.failed;
      continue;
    }
    const auto taken = [&](const std::string& wanted) {
      return std::any_of(children->begin(), children->end(),
                         [&](const MtpObject& o) { return SameName(o.name, wanted); });
    };
    if (taken(name)) {
      // Another file holds the name: nothing on the phone is overwritten without asking.
      transfer::ConflictAction action = transfer::ConflictAction::kSkip;
      if (conflictForAll) {
        action = *conflictForAll;
      } else if (owner != nullptr) {
        const transfer::ConflictAnswer answer =
            owner->AskConflict(from, phone_.ShownName() + " / " + targets[i]);
        action = answer.action;
        if (answer.forAllRemaining) conflictForAll = action;
      }
      if (action == transfer::ConflictAction::kCancel) {
        result.cancelled = true;
        break;
      }
      if (action == transfer::ConflictAction::kSkip) {
        ++result.skipped;
        continue;
      }
      if (action == transfer::ConflictAction::kReplace) {
        const auto old = std::find_if(children->begin(), children->end(),
                                      [&](const MtpObject& o) { return SameName(o.name, name); });
        const MtpObject replaced = *old;
        if (replaced.folder || objects_->device().DeleteObject(replaced.id) != 0) {
          ++result.failed;
          continue;
        }
        objects_->Removed(replaced);
      } else {
        const std::string base = name;
        for (unsigned number = 2; taken(name) && number < 10000; ++number)
          name = transfer::NumberedName(base, number);
      }
    }
    const std::string relative = Joined(folder, name);
    const platform::UniqueFd fd(platform::OpenPath(from, O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!fd || fstat(fd.get(), &status) != 0) {
      ++result.failed;
      ports.ShowWarning(
          {SORVINA_TEXT("sorvina", "%1 was not sent: %2"), {from, transfer::ErrorText(errno)}});
      continue;
    }
    const auto size = static_cast<std::int64_t>(status.st_size);
    std::optional<FileDigest> digest;
    if (key_) {
      if (const std::optional<platform::ContentFingerprint> fingerprint =
              platform::FingerprintOf(fd.get(), *key_))
        digest = fingerprint->digest;
    }
    error = journal.Write(
        {"send", std::to_string(size), DigestField(digest), relative, chosen[i].path});
    if (error != 0) {
      ports.ShowInformation({SORVINA_TEXT("sorvina",
                                          "The journal of this fill cannot be kept in "
                                          "%1: %2"),
                             {JournalPath(phone_.serial()), transfer::ErrorText(error)}});
      result.succeeded = false;
      break;
    }
    MtpObjectId id = 0;
    error = objects_->device().SendFile(fd.get(), static_cast<std::uint64_t>(size),
                                        objects_->storage(), *parent, name, id);
    if (error == 0) {
      objects_->Added({id, *parent, name, static_cast<std::uint64_t>(size), false});
      (void)journal.Write({"sent", std::to_string(id), relative});
      fill.files.push_back({relative, size, {}, chosen[i].path, digest});
      places[i] = relative;
      ++result.files;
      result.bytes += size;
      continue;
    }
    // What a failed send left is no whole file: it goes at once (else the next fill takes
    // it away, as the journal names it).
    if (!PhoneGone(error)) {
      objects_->Forget(*parent);
      std::optional<MtpObject> left;
      if (objects_->Find(relative, left) == 0 && left && !left->folder &&
          objects_->device().DeleteObject(left->id) == 0)
        objects_->Removed(*left);
    }
    if (StopsTheFill(error, ports, relative)) {
      gone = PhoneGone(error);
      result.succeeded = false;
      break;
    }
    ++result.failed;
    ports.ShowWarning(
        {SORVINA_TEXT("sorvina", "%1 was not sent: %2"), {relative, transfer::ErrorText(error)}});
  }
  progress.reset();
  if (result.failed > 0) result.succeeded = false;
  if (gone) return result;  // the journal stays for the next fill

  if (!settings_.options.devicePlaylist.empty() &&
      !SendPlaylist(chosen, places, owner, ports, fill))
    result.succeeded = false;
  fill.folders.assign(folders.begin(), folders.end());
  history_.fills.push_back(std::move(fill));
  if (!WriteRecord(ports)) {
    result.succeeded = false;
    return result;
  }
  journal.Remove();
  return result;
}

// The device playlist, sent as a new object; the previous fill's was deleted before.
bool MtpFill::SendPlaylist(const std::vector<Candidate>& chosen,
                           const std::vector<std::string>& places, transfer::FileOperationUi* owner,
                           RunPorts& ports, RecordedFill& fill) {
  const std::string& relative = settings_.options.devicePlaylist;
  const std::string folder = FolderPart(relative);
  std::vector<std::string> paths;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (places[i].empty() || !IsPlaylistEntryPath(places[i])) continue;
    paths.push_back(chosen[i].path);
    lines.push_back(RelativeEntry(folder, places[i], text::PathStyle::kPosix).value_or(places[i]));
  }
  std::string text;
  (void)PlaylistText(paths, lines, ports, text);
  std::optional<MtpObjectId> parent;
  std::vector<std::string> made;
  const std::vector<MtpObject>* children = nullptr;
  int error = objects_->Folder(folder, true, parent, &made);
  fill.folders.insert(fill.folders.end(), made.begin(), made.end());
  if (error == 0) error = objects_->Children(*parent, &children);
  if (error != 0) {
    ports.ShowInformation(kCannotWritePlaylistMessage);
    return false;
  }
  std::string name = NamePart(relative);
  if (std::any_of(children->begin(), children->end(),
                  [&](const MtpObject& o) { return SameName(o.name, name); })) {
    // A playlist no fill wrote: the user says whether to keep both.
    const transfer::ConflictAction action =
        owner != nullptr ? owner->AskConflict({}, phone_.ShownName() + " / " + relative).action
                         : transfer::ConflictAction::kSkip;
    if (action != transfer::ConflictAction::kKeepBoth &&
        action != transfer::ConflictAction::kReplace)
      return true;
    const std::string base = name;
    for (unsigned number = 2; number < 10000; ++number) {
      name = transfer::NumberedName(base, number);
      if (std::none_of(children->begin(), children->end(),
                       [&](const MtpObject& o) { return SameName(o.name, name); }))
        break;
    }
  }
  const std::string placed = Joined(folder, name);
  const std::optional<FileDigest> digest =
      key_ ? std::optional(platform::FingerprintOfBytes(text, *key_).digest) : std::nullopt;
  const auto size = static_cast<std::int64_t>(text.size());
  const platform::UniqueFd fd = FileOfBytes(text);
  MtpObjectId id = 0;
  error = fd ? 0 : errno;
  if (error == 0)
    error = journal_->Write({"playlist", std::to_string(size), DigestField(digest), placed, ""});
  if (error == 0)
    error =
        objects_->device().SendFile(fd.get(), text.size(), objects_->storage(), *parent, name, id);
  if (error != 0) {
    objects_->Forget(*parent);
    std::optional<MtpObject> left;
    if (!PhoneGone(error) && objects_->Find(placed, left) == 0 && left && !left->folder)
      (void)objects_->device().DeleteObject(left->id);
    ports.ShowInformation(kCannotWritePlaylistMessage);
    return false;
  }
  objects_->Added({id, *parent, name, text.size(), false});
  fill.playlists.push_back({placed, size, {}, {}, digest});
  return true;
}

// Sends the record under the name the record on the phone does not hold, then deletes
// the old one: there is always a whole record on the phone.
bool MtpFill::WriteRecord(RunPorts& ports) {
  const std::string text = FormatFillRecord(history_);
  const std::string name =
      recordName_ == kRecordFileName ? kAlternateRecordName : std::string(kRecordFileName);
  const auto failed = [&](int error) {
    ports.ShowInformation({SORVINA_TEXT("sorvina",
                                        "The record of this fill cannot be kept on "
                                        "%1: %2"),
                           {phone_.ShownName(), transfer::ErrorText(error)}});
    return false;
  };
  std::optional<MtpObjectId> folder;
  std::vector<std::string> made;
  if (const int error = objects_->Folder(kRecordFolderName, true, folder, &made))
    return failed(error);
  // What holds the name is a record of ours that was cut short or is older.
  for (const MtpObject& stale : staleRecords_) {
    if (stale.name != name) continue;
    if (const int error = objects_->device().DeleteObject(stale.id)) return failed(error);
  }
  std::erase_if(staleRecords_, [&](const MtpObject& o) { return o.name == name; });
  const platform::UniqueFd fd = FileOfBytes(text);
  if (!fd) return failed(errno);
  MtpObjectId id = 0;
  if (const int error = objects_->device().SendFile(fd.get(), text.size(), objects_->storage(),
                                                    *folder, name, id)) {
    objects_->Forget(*folder);
    std::optional<MtpObject> left;
    if (!PhoneGone(error) &&
        objects_->Find(std::string(kRecordFolderName) + "/" + name, left) == 0 && left)
      (void)objects_->device().DeleteObject(left->id);
    return failed(error);
  }
  if (recordId_) (void)objects_->device().DeleteObject(*recordId_);
  for (const MtpObject& stale : staleRecords_)
    (void)objects_->device().DeleteObject(stale.id);
  staleRecords_.clear();
  recordId_ = id;
  recordName_ = name;
  return true;
}

}  // namespace sorvina::engine
