#pragma once

#include <string>
#include <utility>

#include "engine/settings/limit_choice.h"

namespace sorvina::test {

// The last page's limit controls as a user leaves them for each choice.
inline engine::LimitChoice Megabytes(std::string text) {
  engine::LimitChoice choice;
  choice.megabytesChecked = true;
  choice.megabytesText = std::move(text);
  return choice;
}
inline engine::LimitChoice Hours(std::string text) {
  engine::LimitChoice choice;
  choice.hoursChecked = true;
  choice.hoursText = std::move(text);
  return choice;
}
inline engine::LimitChoice All() {
  engine::LimitChoice choice;
  choice.allChecked = true;
  return choice;
}

}  // namespace sorvina::test
