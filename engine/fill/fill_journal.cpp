// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_journal.h"

#include <unistd.h>

#include <algorithm>

#include "engine/fill/record_lines.h"
#include "platform/content_fingerprint.h"
#include "platform/new_file.h"

namespace sorvina::engine {
namespace {

using platform::ContainedFolder;
using platform::EntryStatus;
using record_lines::AppendEscaped;
using record_lines::AppendFileLine;
using record_lines::LineResult;
using record_lines::Lines;
using record_lines::NumberOf;
using record_lines::ReadFileLine;
using record_lines::ReadRelative;
using record_lines::SplitFields;
using record_lines::Worse;

constexpr std::string_view kFirstJournalVersionLine = "sorvina-journal 1";
constexpr std::string_view kSecondJournalVersionLine = "sorvina-journal 2";
constexpr std::string_view kJournalVersionLine = "sorvina-journal 3";

// One line of a journal of `version`; damaged for anything not as written.
LineResult ReadJournalLine(std::string_view line, int version, JournalEntry& entry) {
  const bool digests = version >= 2;
  RecordedFile file;
  std::optional<LineResult> result;
  if ((result = ReadFileLine(line, "place", {digests, true, false}, file))) {
    entry.kind = JournalEntry::Kind::kPlace;
    if (file.source.empty()) result = LineResult::kDamaged;
  } else if (digests && (result = ReadFileLine(line, "write", {true, true, false}, file))) {
    entry.kind = JournalEntry::Kind::kWrite;
    if (file.source.empty()) result = LineResult::kDamaged;
  } else if ((result = ReadFileLine(line, "placed", {digests, false, false}, file))) {
    entry.kind = JournalEntry::Kind::kPlaced;
  } else if (digests && (result = ReadFileLine(line, "playlist", {true, false, false}, file))) {
    entry.kind = JournalEntry::Kind::kPlaylist;
  }
  if (result) {
    if (*result == LineResult::kTaken) {
      entry.relative = std::move(file.relative);
      entry.sizeBytes = file.sizeBytes;
      entry.modified = file.modified;
      entry.source = std::move(file.source);
      entry.digest = file.digest;
    }
    return *result;
  }
  std::string_view fields[3];
  if (SplitFields(line, fields, 2) && fields[0] == "folder") {
    entry.kind = JournalEntry::Kind::kFolder;
    return ReadRelative(fields[1], entry.relative);
  }
  if (SplitFields(line, fields, 2) && fields[0] == "gap") {
    entry.kind = JournalEntry::Kind::kGap;
    return ReadRelative(fields[1], entry.relative);
  }
  if (SplitFields(line, fields, 3) && fields[0] == "move") {
    entry.kind = JournalEntry::Kind::kMove;
    return Worse(ReadRelative(fields[1], entry.relative), ReadRelative(fields[2], entry.to));
  }
  if (SplitFields(line, fields, 3) && (fields[0] == "arrange" || fields[0] == "arranged")) {
    // "arrange FOLDER TEMPORARY"; an empty folder is the destination itself.
    entry.kind =
        fields[0] == "arrange" ? JournalEntry::Kind::kArrange : JournalEntry::Kind::kArranged;
    return Worse(fields[1].empty() ? LineResult::kTaken : ReadRelative(fields[1], entry.to),
                 ReadRelative(fields[2], entry.relative));
  }
  return LineResult::kDamaged;
}

}  // namespace

std::string FormatJournalStart(std::int64_t time, bool replacing,
                               const std::optional<FileDigest>& seal) {
  std::string out(seal ? kJournalVersionLine : kSecondJournalVersionLine);
  out += "\nbegin\t" + std::to_string(time) + "\t" + (replacing ? "1" : "0");
  if (seal) out += "\t" + platform::DigestText(*seal);
  out.push_back('\n');
  return out;
}

std::string FormatJournalLine(const JournalEntry& entry) {
  std::string out;
  const RecordedFile file{entry.relative, entry.sizeBytes, entry.modified, entry.source,
                          entry.digest};
  switch (entry.kind) {
    case JournalEntry::Kind::kPlace:
      AppendFileLine(out, "place", file, true);
      break;
    case JournalEntry::Kind::kWrite:
      AppendFileLine(out, "write", file, true);
      break;
    case JournalEntry::Kind::kPlaced:
      AppendFileLine(out, "placed", file, false);
      break;
    case JournalEntry::Kind::kPlaylist:
      AppendFileLine(out, "playlist", file, false);
      break;
    case JournalEntry::Kind::kFolder:
    case JournalEntry::Kind::kGap:
      out = entry.kind == JournalEntry::Kind::kFolder ? "folder\t" : "gap\t";
      AppendEscaped(out, entry.relative);
      out.push_back('\n');
      break;
    case JournalEntry::Kind::kMove:
      out = "move\t";
      AppendEscaped(out, entry.relative);
      out.push_back('\t');
      AppendEscaped(out, entry.to);
      out.push_back('\n');
      break;
    case JournalEntry::Kind::kArrange:
    case JournalEntry::Kind::kArranged:
      out = entry.kind == JournalEntry::Kind::kArrange ? "arrange\t" : "arranged\t";
      AppendEscaped(out, entry.to);
      out.push_back('\t');
      AppendEscaped(out, entry.relative);
      out.push_back('\n');
      break;
  }
  return out;
}

ParsedJournal ParseFillJournal(std::string_view bytes) {
  ParsedJournal parsed;
  const auto fail = [&parsed](RecordProblem problem) {
    parsed.journal = {};
    parsed.problem = problem;
    return parsed;
  };
  if (bytes.size() > kMaxRecordBytes) return fail(RecordProblem::kTooLarge);
  // Cut off before its first two lines were whole, it tells of nothing done: the fill
  // waits for them to reach the device before its first step.
  const std::string start = std::string(kJournalVersionLine) + "\nbegin\t";
  if (bytes.size() < start.size()
          ? start.starts_with(bytes)
          : bytes.starts_with(start) && bytes.find('\n', start.size()) == std::string_view::npos)
    return parsed;
  Lines lines(bytes);
  std::string_view line;
  std::string_view fields[4];
  if (!lines.Next(line)) return fail(RecordProblem::kForeign);
  const int version = line == kJournalVersionLine         ? 3
                      : line == kSecondJournalVersionLine ? 2
                      : line == kFirstJournalVersionLine  ? 1
                                                          : 0;
  // The third version seals its beginning.
  const std::size_t beginFields = version >= 3 ? 4 : 3;
  if (version == 0 || !lines.Next(line) || !SplitFields(line, fields, beginFields) ||
      fields[0] != "begin" || (fields[2] != "0" && fields[2] != "1"))
    return fail(RecordProblem::kForeign);
  const auto time = NumberOf<std::int64_t>(fields[1], true);
  if (!time) return fail(RecordProblem::kForeign);
  parsed.journal.time = *time;
  parsed.journal.replacing = fields[2] == "1";
  if (version >= 3 && !(parsed.journal.seal = platform::DigestFromText(fields[3])))
    return fail(RecordProblem::kForeign);
  std::size_t count = 2;
  // A line cut short has no line feed: Next leaves it, and what follows a damaged line is
  // not taken either.
  while (lines.Next(line)) {
    if (++count > kMaxRecordLines) return fail(RecordProblem::kTooLarge);
    JournalEntry entry;
    const LineResult result = ReadJournalLine(line, version, entry);
    if (result == LineResult::kUnsafe) return fail(RecordProblem::kUnsafePath);
    if (result == LineResult::kDamaged) break;
    parsed.journal.entries.push_back(std::move(entry));
  }
  return parsed;
}

FileDigest JournalSeal(std::int64_t time, bool replacing, const platform::FingerprintKey& key) {
  return platform::HmacSha256(key.secret(), "sorvina-journal\tbegin\t" + std::to_string(time) +
                                                (replacing ? "\t1" : "\t0"));
}

int JournalWriter::Begin(std::int64_t time, bool replacing) {
  // Written in place, front to back through one open, and never over a journal that is
  // still there: that one tells of a fill not yet recorded. A journal cut off within its
  // first lines tells of nothing done.
  int error = 0;
  fd_ = folder_.CreateFileToWrite(name_, &error);
  if (!fd_) return error;
  end_ = 0;
  if ((error = Write(FormatJournalStart(time, replacing, JournalSeal(time, replacing, key_)))) != 0)
    return error;
  return MakeDurable();
}

int JournalWriter::Append(const JournalEntry& entry) {
  return Write(FormatJournalLine(entry));
}

int JournalWriter::Write(const std::string& line) {
  if (!fd_) return failure_ != 0 ? failure_ : EBADF;
  // Past what a reader takes the journal would tell the next run nothing.
  const int error = end_ + line.size() > kMaxRecordBytes || lines_ + 1 > kMaxRecordLines
                        ? EFBIG
                        : platform::WriteAllAt(fd_.get(), line, end_);
  // A line cut short is taken for the journal's end; nothing may be told after it.
  if (error != 0) {
    fd_.Reset();
    failure_ = error;
    return error;
  }
  end_ += line.size();
  lines_ += static_cast<std::size_t>(std::count(line.begin(), line.end(), '\n'));
  unsynced_ = true;
  return 0;
}

int JournalWriter::AppendAhead(const JournalEntry& entry) {
  return failure_ != 0 ? failure_ : Append(entry);
}

int JournalWriter::MakeDurable() {
  if (failure_ != 0) return failure_;
  if (!unsynced_) return 0;
  if (fsync(fd_.get()) != 0) {
    failure_ = errno;
    fd_.Reset();
    return failure_;
  }
  unsynced_ = false;
  return 0;
}

int JournalWriter::WillPlace(const std::string& relative, const std::string& source,
                             const EntryStatus& sourceStatus,
                             const platform::ContentFingerprint& sourceFingerprint) {
  return AppendAhead({JournalEntry::Kind::kPlace,
                      relative,
                      sourceStatus.sizeBytes,
                      sourceStatus.modified,
                      source,
                      {},
                      sourceFingerprint.digest});
}

int JournalWriter::WillWriteInPlace(const std::string& relative, const std::string& source,
                                    const EntryStatus& sourceStatus,
                                    const platform::ContentFingerprint& sourceFingerprint) {
  // The file takes its name as it is made: on the device before, or no later run could
  // tell one cut short from the user's.
  const int error = AppendAhead({JournalEntry::Kind::kWrite,
                                 relative,
                                 sourceStatus.sizeBytes,
                                 sourceStatus.modified,
                                 source,
                                 {},
                                 sourceFingerprint.digest});
  return error != 0 ? error : MakeDurable();
}

void JournalWriter::Placed(const std::string& relative, const EntryStatus& status,
                           const platform::ContentFingerprint& fingerprint) {
  placed_[relative] = fingerprint.digest;
  (void)Append({JournalEntry::Kind::kPlaced,
                relative,
                status.sizeBytes,
                status.modified,
                {},
                {},
                fingerprint.digest});
}

int JournalWriter::WillMakeFolders(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (folders_.contains(folder)) continue;
    if (const int error = AppendAhead({JournalEntry::Kind::kFolder, folder, 0, {}, {}}))
      return error;
    folders_.insert(folder);
  }
  // Where the folder reaches the device without its line, no later run could tell it
  // from the user's.
  return MakeDurable();
}

void JournalWriter::FolderMade(const std::string& relative) {
  if (folders_.insert(relative).second)
    (void)Append({JournalEntry::Kind::kFolder, relative, 0, {}, {}});
}

int JournalWriter::Arranging(const std::string& folder, const std::string& temporary) {
  // What the temporary holds would be lost to the next run without this line.
  const int error = AppendAhead({JournalEntry::Kind::kArrange, temporary, 0, {}, {}, folder});
  return error != 0 ? error : MakeDurable();
}

int JournalWriter::Moving(const std::string& from, const std::string& to) {
  return AppendAhead({JournalEntry::Kind::kMove, from, 0, {}, {}, to});
}

int JournalWriter::FillingGap(const std::string& relative) {
  return AppendAhead({JournalEntry::Kind::kGap, relative, 0, {}, {}, {}});
}

void JournalWriter::Arranged(const std::string& folder, const std::string& temporary) {
  (void)Append({JournalEntry::Kind::kArranged, temporary, 0, {}, {}, folder});
}

int JournalWriter::WillWritePlaylist(const std::string& relative,
                                     const platform::ContentFingerprint& fingerprint) {
  const int error = AppendAhead({JournalEntry::Kind::kPlaylist,
                                 relative,
                                 fingerprint.sizeBytes,
                                 {},
                                 {},
                                 {},
                                 fingerprint.digest});
  return error != 0 ? error : MakeDurable();
}

void JournalWriter::LeftBehind(const std::string&) {
  leftBehind_ = true;
}

void JournalWriter::Remove() {
  fd_.Reset();
  if (!leftBehind_) RemoveJournal(folder_, name_);
}

void RemoveJournal(const ContainedFolder& folder, const std::string& name) {
  // Gone already, or never written: nothing to do either way.
  if (const std::optional<EntryStatus> status = folder.StatusOf(name))
    (void)folder.RemoveFileIfUnchanged(name, *status);
}

}  // namespace sorvina::engine
