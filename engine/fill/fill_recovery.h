// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "engine/fill/ownership.h"
#include "platform/contained_folder.h"

namespace sorvina::engine {

// What a fill cut off part-way had put into `destination`, as its `journal` tells and the
// files' content proves (FileOwnership): the songs it placed, wherever the order work took
// them, the playlist it wrote and the folders it made; and where it was replacing
// `previous`, the songs of that fill it had not removed yet, which now belong to it.
// Where `clean`, the leftovers of its work go first: a folder whose rebuilding was cut off
// is put back together (FinishArranging; also one that no line tells of, by its name),
// hidden part files and temporaries anywhere in the destination but the record's folder
// `recordFolder` are removed, and so are the empty files of its steps: placeholders that
// hold a song's name for an instant before a copy or a move takes it, and the empty files
// that held free places (each only under a name of the kind those steps give, empty, and
// made since the fill began). Where the journal bears the seal of the user's key, the
// folders the fill left empty go too: those it tells were made, and the folders of
// `previous` that held one of that fill's songs, gone now. Nothing is recorded where it
// had placed nothing and moved none of the songs it replaced.
std::optional<RecordedFill> RecoverInterruptedFill(const FillJournal& journal,
                                                   const platform::ContainedFolder& destination,
                                                   const RecordedFill* previous, bool clean,
                                                   const std::string& recordFolder,
                                                   const FileOwnership& ownership);

// The folders of `previous` still there as folders in `destination`: a fill after it
// keeps them as folders that fills made.
std::vector<std::string> FoldersStillThere(const RecordedFill& previous,
                                           const platform::ContainedFolder& destination);

}  // namespace sorvina::engine
