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

sorvina::engine::SelectionSettings ToSettings(const SettingsFileContents& contents) {
  sorvina::engine::SelectionSettings settings;
  settings.sources = contents.sources;
  settings.destination = contents.destination;
  settings.folderWeights = contents.folderWeights;
  settings.limitMode = contents.limitMode;
  settings.amountText = contents.amountText;
  settings.options = contents.options;
  return settings;
}

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
  FUZZ_CHECK(sorvina::engine::WriteSettingsFile(output, ToSettings(*first)) ==
             sorvina::engine::SettingsWriteResult::kWritten);
  const std::optional<SettingsFileContents> second = sorvina::engine::ReadSettingsFile(output);
  FUZZ_CHECK(second.has_value());

  FUZZ_CHECK(second->sources == first->sources);
  FUZZ_CHECK(second->destination == first->destination);
  FUZZ_CHECK(second->folderWeights.size() == first->folderWeights.size());
  for (std::size_t i = 0; i < first->folderWeights.size(); ++i) {
    FUZZ_CHECK(second->folderWeights[i].entryText == first->folderWeights[i].entryText);
  }
  if (first->limitMode >= 0 && first->limitMode <= 9) {
    FUZZ_CHECK(second->limitMode == first->limitMode);
  } else {
    FUZZ_CHECK(!IsValidMode(second->limitMode));
  }
  FUZZ_CHECK(second->amountText == first->amountText);
  FUZZ_CHECK(second->options == first->options);

  // And from there on the file is a fixed point: written again, it reads the same.
  FUZZ_CHECK(sorvina::engine::WriteSettingsFile(output, ToSettings(*second)) ==
             sorvina::engine::SettingsWriteResult::kWritten);
  const std::optional<SettingsFileContents> third = sorvina::engine::ReadSettingsFile(output);
  FUZZ_CHECK(third.has_value() && third->limitMode == second->limitMode);
  return 0;
}
