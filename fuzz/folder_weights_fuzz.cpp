// SPDX-License-Identifier: GPL-3.0-or-later
// Folder-weight entries as a hand-edited settings file may hold them: parsed in both path
// styles, and the weights page's two edits applied to what was parsed.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/settings/folder_weights.h"
#include "fuzz/fuzz_support.h"
#include "text/decimal.h"

namespace {

using sorvina::engine::FolderWeight;
using sorvina::text::PathStyle;

FolderWeight Parsed(std::string_view text, PathStyle style) {
  return sorvina::engine::ParseFolderWeightEntry(text, style).value_or(FolderWeight{"unset", -7.0});
}

// What an entry's weight reads back as once written with two decimals.
double Shown(double weight) {
  return sorvina::text::ParseLeadingDecimal(sorvina::engine::FormatWeight(weight));
}

void Check(std::string_view text, PathStyle style) {
  const FolderWeight entry = Parsed(text, style);
  const bool hasBlank = text.find(' ') != std::string_view::npos;
  if (!hasBlank) {
    FUZZ_CHECK(entry.folder == "unset" && entry.weight == -7.0);  // names no folder
    FUZZ_CHECK(sorvina::engine::ChangeEntryWeight(text, 1.5) == "1.50");
    return;
  }
  FUZZ_CHECK(!std::isnan(entry.weight));
  FUZZ_CHECK(sorvina::text::EndsWithSeparator(entry.folder, style));
  FUZZ_CHECK(entry.folder.back() == sorvina::text::Separator(style));

  // Changing the weight keeps the folder; the new weight reads back as shown.
  for (double weight : {0.0, 2.5, 0.005, 1e95, entry.weight}) {
    if (!std::isfinite(weight)) continue;
    const std::string changed = sorvina::engine::ChangeEntryWeight(text, weight);
    FUZZ_CHECK(changed.size() <= text.size() + 400);
    const FolderWeight reparsed = Parsed(changed, style);
    FUZZ_CHECK(reparsed.folder == entry.folder);
    FUZZ_CHECK(reparsed.weight == Shown(weight));
  }

  // An entry made for the parsed folder gives that folder back, and the parsed weight
  // rounded to two decimals. A weight too large for a double reads as infinite; written,
  // it is no number, which reads as 0.
  const std::string made = sorvina::engine::FormatFolderWeightEntry(entry.weight, entry.folder);
  const FolderWeight again = Parsed(made, style);
  FUZZ_CHECK(again.folder == entry.folder);
  if (std::isfinite(entry.weight)) {
    FUZZ_CHECK(again.weight == Shown(entry.weight));
  } else {
    FUZZ_CHECK(again.weight == 0.0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = sorvina::fuzz::AsText(data, size);
  Check(text, PathStyle::kPosix);
  Check(text, PathStyle::kWindows);
  return 0;
}
