#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/limit_choice.h"
#include "engine/run_ports.h"
#include "engine/selection_settings.h"
#include "platform/path_style.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

struct SelectionRunOptions {
  // Asks the copy's questions and shows its progress; none copies without asking
  // (conflicting names are skipped).
  transfer::FileOperationUi* fileOperationOwner = nullptr;
  // The generator's seed; the clock's seconds when absent.
  std::optional<std::uint32_t> seed;
  // Choose only: create no folder, copy and write nothing.
  bool dryRun = false;
};

struct SelectionOutcome {
  // The run got through to its output without a message, and the output succeeded
  // (a cancelled playlist counts as written; a cancelled copy does not).
  bool succeeded = false;
  // The chosen files in draw order (what was copied or listed).
  std::vector<std::string> chosenPaths;
};

// The folders leading to `destination`, from the top down: every prefix that ends just
// before a separator, except the empty one and, after a drive letter ("C:\"), the drive's
// root. The text after the last separator is not a level.
std::vector<std::string> DestinationLevels(std::string_view destination,
                                           platform::PathStyle style = platform::NativePathStyle());

// What the last page's Finish does: checks the settings, prepares the destination,
// collects the candidates, draws files weighted by their folders until the limit is
// reached or the pool is empty, and copies them into the destination folder or writes
// them as a playlist. Every failure is shown through `ports` and ends the run; the
// settings are left as they were apart from the parsed folder weights.
SelectionOutcome SelectionRun(SelectionSettings& settings, const LimitChoice& limit,
                              RunPorts& ports, const SelectionRunOptions& options = {});

}  // namespace sorvina::engine
