#pragma once

#include <string>
#include <string_view>

#include "engine/settings/selection_settings.h"

namespace sorvina::engine {

// The last page's limit controls as the user left them: which of the three buttons is
// checked and what the two amount fields hold. The selection run reads these, not the
// stored `limitMode`/`amountText`.
struct LimitChoice {
  bool megabytesChecked = false;
  std::string megabytesText;
  bool hoursChecked = false;
  std::string hoursText;
  bool allChecked = false;
};

// The amount of MB that stands for the copy destination's free space.
inline constexpr char kFreeSpaceAmount[] = "free";

// Whether an amount of MB as typed means the free space: "free" in any letter case, with
// blanks around it or not.
bool MeansFreeSpace(std::string_view amountText);

// Stores the choice into `settings`: the megabyte, hours and "all" buttons are tested in
// this order and the first checked one decides (0 with the megabyte text, 1 with the
// hours text, 2 leaving `amountText` as it was). With none checked nothing changes.
void StoreLimitChoice(const LimitChoice& choice, SelectionSettings& settings);

}  // namespace sorvina::engine
