#pragma once

#include <QLineEdit>

namespace sorvina::ui {

// The folder picker's "Folder:" field. It keeps Enter, Tab and Escape for itself instead
// of letting the dialog act on them (so Escape does not close the picker while the field
// has the focus), and reports what was typed so that the picker can judge the new text.
class FolderEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit FolderEdit(QWidget* parent = nullptr);

 signals:
  // Tab or Shift+Tab; the field's text is unchanged.
  void tabPressed();
  // Enter, Return or a line feed; the field's text is unchanged.
  void enterPressed();
  // Any other key that types a character, Backspace, Escape and other control characters
  // included, after the field has inserted or deleted as usual.
  void characterTyped(bool backspace);
  // The Delete key, after the field has deleted as usual.
  void deletePressed();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace sorvina::ui
