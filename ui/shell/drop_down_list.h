// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace sorvina::ui {

// A drop-down list that says when it is about to open, so that its owner can fill it with
// what is there at that moment.
class DropDownList : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;

  void showPopup() override;

 signals:
  void aboutToOpen();
};

}  // namespace sorvina::ui
