// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

namespace sorvina::ui {

// The folder picker's "Folder:" field. It keeps Enter and Tab for itself instead of letting
// the dialog act on them, reports Escape to the picker, which closes, and reports what was
// typed so that the picker can judge the new text. Ctrl+A selects the whole text and
// counts as nothing typed.
class FolderEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit FolderEdit(QWidget* parent = nullptr);

 signals:
  // Tab or Shift+Tab; the field's text is unchanged.
  void tabPressed();
  // Enter, Return or a line feed; the field's text is unchanged.
  void enterPressed();
  // Escape: the picker is to close as with Cancel.
  void escapePressed();
  // Any other key that types a character, Backspace and other control characters
  // included, after the field has inserted or deleted as usual.
  void characterTyped(bool backspace);
  // The Delete key, after the field has deleted as usual.
  void deletePressed();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace sorvina::ui
