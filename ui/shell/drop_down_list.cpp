// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/drop_down_list.h"

namespace sorvina::ui {

void DropDownList::showPopup() {
  emit aboutToOpen();
  QComboBox::showPopup();
}

}  // namespace sorvina::ui
