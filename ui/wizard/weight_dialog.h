// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QDialog>
#include <QString>

class QLineEdit;

namespace sorvina::ui {

// "Folder weight": asks for the weight of `folder`, which it names: a number of 0 or more,
// decimals allowed (with a point, or with the decimal sign of the user's locale). The field
// starts with `current` selected (the weight as its entry shows it, for Change Weight), or
// empty. OK (or Enter) closes it only with a valid number in `weight`; anything else, a
// text that is no number included, is refused with "Invalid entry" and left selected for
// typing again. Cancel and Escape leave it.
class WeightDialog : public QDialog {
  Q_OBJECT

 public:
  explicit WeightDialog(const QString& folder, const QString& current = {},
                        QWidget* owner = nullptr);

  // The value read at the last OK, valid or not; 0 when the text was no number.
  double weight = 0;

  void accept() override;

 private:
  QLineEdit* field_;
};

// The number a weight field holds: the whole text, blanks around it aside, read with a
// point or with the user's decimal sign, without digit grouping. Nothing when it is no
// number ("abc", "", "2x", "nan").
std::optional<double> ReadWeightText(const QString& text);

}  // namespace sorvina::ui
