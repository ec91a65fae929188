// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "engine/run/selection_run.h"
#include "engine/settings/settings_text.h"

namespace sorvina::test {

// The amounts a user types on the last page, as the run reads them.
inline engine::Amount Megabytes(std::string_view text) {
  return engine::ParseAmount(engine::kLimitMegabytes, text);
}
inline engine::Amount Hours(std::string_view text) {
  return engine::ParseAmount(engine::kLimitHours, text);
}
inline engine::Amount All() {
  return engine::ParseAmount(engine::kLimitAll, {});
}

// Runs a selection of `settings` with `amount` in their place.
inline engine::SelectionOutcome RunFor(engine::SelectionSettings settings, engine::Amount amount,
                                       engine::RunPorts& ports,
                                       const engine::SelectionRunOptions& options = {}) {
  settings.amount = amount;
  return engine::SelectionRun(settings, ports, options);
}

}  // namespace sorvina::test
