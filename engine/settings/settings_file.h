// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/settings/settings_text.h"

namespace sorvina::engine {

// What the wizard's fields hold beyond the settings: the classic lines keep only the
// chosen amount, and the copy or playlist choice follows from the destination's ending.
// The record of the wizard's last state keeps these too ("copy=", "mb=", "hours=" lines
// after the options), so that nothing typed is lost from one start to the next; saved
// settings files never hold them.
struct EnteredState {
  // The choice made for an empty destination, which has no ending to tell it.
  std::optional<bool> copyToFolder;
  std::optional<std::string> megabytesText;
  std::optional<std::string> hoursText;

  friend bool operator==(const EnteredState&, const EnteredState&) = default;
};

// What a settings file holds: the settings (their copy/playlist choice from the
// destination's ending, their limit mode any value a hand-edited file gives), and what
// the wizard's fields held beyond them, where the file keeps its last state.
struct SettingsFileContents {
  SettingsText settings;
  EnteredState entered;
};

enum class SettingsWriteResult { kWritten, kCannotOpen, kCannotWrite };

// Writes the sources, the destination, the folder weights' entries and the limit line
// ("%d %s" of `limitMode` and `amountText`) of `settings`, one value per line, CR LF, then
// one "name=value" line for each option that differs from its default, in a fixed order;
// with every option at its default the file is the classic one, byte for byte. With
// `entered`, its lines follow (the wizard's last state). The file is written beside `path`
// and renamed over it when complete, so a failure leaves an existing file as it was.
[[nodiscard]] SettingsWriteResult WriteSettingsFile(const std::string& path,
                                                    const SettingsText& settings,
                                                    const EnteredState* entered = nullptr);

// Reads what WriteSettingsFile wrote. Nothing when the file cannot be opened or a read
// fails part-way. A count that is no number, zero or negative reads no lines for its
// list; lines missing at the end read as empty and no line is invented beyond the file's
// end; a missing last line gives mode 0 with an empty amount. After the limit line,
// "name=value" lines set options; unknown names, and values an option cannot take, are
// passed over, so that a file from a newer version still loads.
[[nodiscard]] std::optional<SettingsFileContents> ReadSettingsFile(const std::string& path);

}  // namespace sorvina::engine
