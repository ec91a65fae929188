#include "engine/settings/limit_choice.h"

#include "text/path_style.h"

namespace sorvina::engine {

bool MeansFreeSpace(std::string_view amountText) {
  const std::size_t begin = amountText.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return false;
  const std::string_view word =
      amountText.substr(begin, amountText.find_last_not_of(" \t") + 1 - begin);
  return word.size() == 4 && text::EndsWithNoCase(word, kFreeSpaceAmount);
}

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
