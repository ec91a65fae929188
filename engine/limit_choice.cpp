#include "engine/limit_choice.h"

namespace sorvina::engine {

void StoreLimitChoice(const LimitChoice& choice, SelectionSettings& settings) {
  if (choice.megabytesChecked) {
    settings.limitMode = kLimitMegabytes;
    settings.amountText = choice.megabytesText;
  } else if (choice.hoursChecked) {
    settings.limitMode = kLimitHours;
    settings.amountText = choice.hoursText;
  } else if (choice.allChecked) {
    // The amount last typed stays, so that choosing a limit again brings it back.
    settings.limitMode = kLimitAll;
  }
}

}  // namespace sorvina::engine
