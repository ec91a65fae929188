// SPDX-License-Identifier: GPL-3.0-or-later
// Hand-edited settings files: whatever the reader takes from a file, the writer writes and
// the reader takes back unchanged, field by field. The one exception is a limit mode that
// no single digit holds (only a hand-edited file has one): it is written as "-" and reads
// back as another mode that is still none of the three, with the amount intact.
#include <cstdint>
#include <string>

#include "engine/settings/settings_file.h"
#include "fuzz/fuzz_support.h"

namespace {

using sorvina::engine::SettingsFileContents;

bool IsValidMode(int mode) {
  return mode >= 0 && mode <= 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = sorvina::fuzz::ProcessFolder();
  const std::string input = folder + "/input.txt";
  const std::string output = folder + "/output.txt";
  sorvina::fuzz::WriteWholeFile(input, sorvina::fuzz::AsText(data, size));

  const std::optional<SettingsFileContents> first = sorvina::engine::ReadSettingsFile(input);
  FUZZ_CHECK(first.has_value());
  FUZZ_CHECK(sorvina::engine::WriteSettingsFile(output, first->settings) ==
             sorvina::engine::SettingsWriteResult::kWritten);
  const std::optional<SettingsFileContents> second = sorvina::engine::ReadSettingsFile(output);
  FUZZ_CHECK(second.has_value());

  const sorvina::engine::SettingsText& was = first->settings;
  const sorvina::engine::SettingsText& is = second->settings;
  FUZZ_CHECK(is.sources == was.sources);
  FUZZ_CHECK(is.destination == was.destination);
  FUZZ_CHECK(is.copyToFolder == was.copyToFolder);
  FUZZ_CHECK(is.weightEntries == was.weightEntries);
  if (was.limitMode >= 0 && was.limitMode <= 9) {
    FUZZ_CHECK(is.limitMode == was.limitMode);
  } else {
    FUZZ_CHECK(!IsValidMode(is.limitMode));
  }
  FUZZ_CHECK(is.amountText == was.amountText);
  FUZZ_CHECK(is.options == was.options);

  // And from there on the file is a fixed point: written again, it reads the same.
  FUZZ_CHECK(sorvina::engine::WriteSettingsFile(output, is) ==
             sorvina::engine::SettingsWriteResult::kWritten);
  const std::optional<SettingsFileContents> third = sorvina::engine::ReadSettingsFile(output);
  FUZZ_CHECK(third.has_value() && third->settings.limitMode == is.limitMode);
  return 0;
}
