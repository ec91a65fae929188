// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/fill/fill_record.h"
#include "engine/fill/play_order.h"
#include "platform/contained_folder.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

// Writes the journal of a fill under way (FillJournal) into the record's folder, a line
// ahead of each step it tells of, so that the next fill knows what this one put there,
// and where putting the destination in play order moved it, if it is cut off. Each line
// is handed to the system before the step, which keeps it through a killed process; the
// journal goes once the record holds the fill.
class JournalWriter : public transfer::PlacementJournal, public ArrangeJournal {
 public:
  JournalWriter(const platform::ContainedFolder& folder, std::string name)
      : folder_(folder), name_(std::move(name)) {}

  // Starts the journal of a fill that began at `time`. 0, or the errno value.
  [[nodiscard]] int Begin(std::int64_t time, bool replacing);
  bool begun() const { return fd_.valid(); }

  int WillPlace(const std::string& relative, const std::string& source,
                const platform::EntryStatus& sourceStatus) override;
  void Placed(const std::string& relative, const platform::EntryStatus& status) override;
  void FolderMade(const std::string& relative) override;

  // Once any line could not be written, these refuse every step they would tell of.
  int Arranging(const std::string& folder, const std::string& temporary) override;
  int Moving(const std::string& from, const std::string& to) override;
  int FillingGap(const std::string& relative) override;
  void Arranged(const std::string& folder, const std::string& temporary) override;

  // Removes the journal: the record holds the fill now.
  void Remove();

 private:
  int Append(const JournalEntry& entry);

  // Writes a line that announces a step of the arranging.
  int AppendAhead(const JournalEntry& entry);

  const platform::ContainedFolder& folder_;
  const std::string name_;
  platform::UniqueFd fd_;
  int failure_ = 0;  // of the first line that could not be written
};

// What a fill cut off part-way had put into `destination`, as its `journal` tells and the
// destination shows: the songs it placed that are still there as it placed them (those
// whose placing it had not confirmed only where the file has the size and time its copy
// would have), the folders it made, and, where it was replacing `previous`, the songs and
// playlist of that fill it had not removed yet, which now belong to it. Each song is
// taken where putting the destination in play order moved it. Where `clean`, a folder
// whose rebuilding was cut off is put back together first (FinishArranging), and the
// leftovers of the fill's work are removed: hidden part files and temporaries anywhere in
// the destination but the record's folder `recordFolder`, the empty files that held free
// places while the destination was put in order, and the empty placeholder a copy puts
// under its name for an instant on FAT volumes. Nothing where it had placed no song and
// moved none of the songs it replaced.
std::optional<RecordedFill> RecoverInterruptedFill(const FillJournal& journal,
                                                   const platform::ContainedFolder& destination,
                                                   const RecordedFill* previous, bool clean,
                                                   const std::string& recordFolder);

// The folders of `previous` still there as folders in `destination`: a fill after it
// keeps them as folders that fills made.
std::vector<std::string> FoldersStillThere(const RecordedFill& previous,
                                           const platform::ContainedFolder& destination);

// Whether `file` is still in `destination` as it was recorded (a regular file of the
// same size and modification time).
bool IsUnchanged(const RecordedFile& file, const platform::ContainedFolder& destination);

}  // namespace sorvina::engine
