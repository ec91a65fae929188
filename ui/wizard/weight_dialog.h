#pragma once

#include <QDialog>

class QLineEdit;

namespace sorvina::ui {

// Asks for one folder weight: a number of 0 or more, decimals allowed. OK closes it only
// with a valid number in `weight`; anything else is refused with "Invalid entry".
class WeightDialog : public QDialog {
  Q_OBJECT

 public:
  explicit WeightDialog(QWidget* owner = nullptr);

  // The value read at the last OK, valid or not.
  double weight = 0;

  void accept() override;

 private:
  QLineEdit* field_;
};

}  // namespace sorvina::ui
