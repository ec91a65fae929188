// SPDX-License-Identifier: GPL-3.0-or-later
// Journals of fills cut off part-way, as a player may hold them after any accident or
// anyone's hand: whatever the reader takes names only paths inside the destination, and
// reads back the same once written.
#include <cstdint>
#include <string>

#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "fuzz/fuzz_support.h"
#include "platform/contained_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvina::engine;
  const ParsedJournal parsed = ParseFillJournal(sorvina::fuzz::AsText(data, size));
  if (parsed.problem != RecordProblem::kNone) {
    FUZZ_CHECK(parsed.journal.entries.empty());
    return 0;
  }
  std::string written = FormatJournalStart(parsed.journal.time, parsed.journal.replacing);
  for (const JournalEntry& entry : parsed.journal.entries) {
    FUZZ_CHECK(sorvina::platform::ContainedFolder::IsContainedPath(entry.relative));
    FUZZ_CHECK(entry.sizeBytes >= 0);
    FUZZ_CHECK(entry.kind != JournalEntry::Kind::kPlace ||
               (!entry.source.empty() && entry.source.find('\0') == std::string::npos));
    // A second path: where a move goes, or the folder a rebuild is for ("" for the
    // destination itself).
    const bool folder =
        entry.kind == JournalEntry::Kind::kArrange || entry.kind == JournalEntry::Kind::kArranged;
    if (entry.kind == JournalEntry::Kind::kMove || (folder && !entry.to.empty())) {
      FUZZ_CHECK(sorvina::platform::ContainedFolder::IsContainedPath(entry.to));
    } else {
      FUZZ_CHECK(entry.to.empty());
    }
    written += FormatJournalLine(entry);
  }
  const ParsedJournal again = ParseFillJournal(written);
  FUZZ_CHECK(again.problem == RecordProblem::kNone);
  FUZZ_CHECK(again.journal == parsed.journal);
  return 0;
}
