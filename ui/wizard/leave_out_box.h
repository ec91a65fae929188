// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

#include "engine/settings/extra_options.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace sorvina::ui {

// "Leave out", beside page 3's "How to choose": the filters a run applies before drawing.
// Paths matching patterns (one a line), songs not of some genres or of others, songs
// outside some years or lengths, songs not changed lately, and all but one file of each
// recording. What a box needs beside it is enabled while it is checked.
class LeaveOutBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit LeaveOutBox(QWidget* parent = nullptr);

  void Show(const engine::ExtraOptions& options);
  // Patterns and lengths that are not valid leave those `options` hold as they are.
  void StoreInto(engine::ExtraOptions& options) const;
  // True when the patterns and lengths can be stored; otherwise says what is wrong in a
  // message box and selects the field at fault, for typing again.
  bool AcceptFilters();

 private:
  void ShowWhatApplies();
  // The patterns typed, one a line, blank lines left out.
  QStringList Patterns() const;
  // The length range typed, as ParseLengthRange reads it.
  std::string LengthText() const;

  QPlainTextEdit* patterns_;
  QLineEdit* genres_;
  QLineEdit* notGenres_;
  QCheckBox* years_;
  QSpinBox* firstYear_;
  QSpinBox* lastYear_;
  QCheckBox* length_;
  QLineEdit* shortest_;
  QLineEdit* longest_;
  QCheckBox* changed_;
  QSpinBox* days_;
  QCheckBox* duplicates_;
};

}  // namespace sorvina::ui
