// SPDX-License-Identifier: GPL-3.0-or-later
// Records of fills as a player may hold them, written by anyone: whatever the reader
// takes names only paths inside the destination, and reads back the same once written.
#include <cstdint>
#include <string>

#include "engine/fill/fill_record.h"
#include "fuzz/fuzz_support.h"
#include "platform/contained_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvina::engine;
  const ParsedRecord parsed = ParseFillRecord(sorvina::fuzz::AsText(data, size));
  if (parsed.problem != RecordProblem::kNone) {
    FUZZ_CHECK(parsed.history.fills.empty());
    return 0;
  }
  FUZZ_CHECK(parsed.history.fills.size() <= kKeptFills);
  for (const RecordedFill& fill : parsed.history.fills) {
    for (const RecordedFile& file : fill.files) {
      FUZZ_CHECK(file.relative.empty() ||
                 sorvina::platform::ContainedFolder::IsContainedPath(file.relative));
      FUZZ_CHECK(!file.relative.empty() || !file.source.empty());
      FUZZ_CHECK(file.source.find('\0') == std::string::npos);
      FUZZ_CHECK(file.sizeBytes >= 0);
    }
    for (const RecordedFile& playlist : fill.playlists)
      FUZZ_CHECK(sorvina::platform::ContainedFolder::IsContainedPath(playlist.relative));
    for (const std::string& folder : fill.folders)
      FUZZ_CHECK(sorvina::platform::ContainedFolder::IsContainedPath(folder));
  }
  const std::string written = FormatFillRecord(parsed.history);
  const ParsedRecord again = ParseFillRecord(written);
  FUZZ_CHECK(again.problem == RecordProblem::kNone);
  FUZZ_CHECK(again.history == parsed.history);
  FUZZ_CHECK(FormatFillRecord(again.history) == written);
  return 0;
}
