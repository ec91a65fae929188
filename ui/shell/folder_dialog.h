// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>

#include <QDialog>
#include <QString>

class QComboBox;
class QFileIconProvider;
class QFileSystemModel;
class QModelIndex;
class QPushButton;
class QToolButton;
class QTreeView;

namespace sorvina::ui {

class FolderEdit;

// "Select Folder": lets the user choose a folder by clicking through folders or by typing
// its path into the "Folder:" field. A path that ends in a separator is displayed as it
// is typed, a partly typed folder name is completed, Enter displays (and, after asking,
// creates) the folder typed, and Open, or Enter on the folder displayed, accepts the
// displayed folder once the typed text passes its checks; Escape cancels. The list shows
// folders only, or every file on request.
class FolderDialog : public QDialog {
  Q_OBJECT

 public:
  // With no `initialFolder` the picker starts where the last one was closed with Open,
  // else in the current directory. `extraFilter` ("Name|pattern||") replaces the "All
  // Files" choice of the list.
  FolderDialog(const std::optional<QString>& initialFolder,
               const std::optional<QString>& extraFilter, QWidget* owner);
  ~FolderDialog() override;

  // The folder displayed when Open ended the picker, ending in one separator; empty when
  // no folder has been displayed.
  QString GetFolder() const { return folderPath_; }

  // Displays the folder that `text` names (relative to the displayed folder). The field
  // then shows the displayed path, unless the user's own text was more than another
  // spelling of it, which is then kept with its selection.
  void NavigateTo(const QString& text);

 protected:
  // Showing a dialog selects the whole text of the field that gets the focus; the
  // picker's field keeps the caret at the end of the folder shown instead.
  void setVisible(bool visible) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void FillFilterChoice(const std::optional<QString>& extraFilter);
  void DisplayFolder(const QString& absolutePath);
  void OnFolderChanged(const QString& absolutePath);
  void UpdateLookIn(const QString& absolutePath);
  void DisplayTypedFolder(const QString& text);
  void OnOpen();
  void OnEnter();
  // Whether `text` names the folder displayed, in any spelling.
  bool NamesDisplayedFolder(const QString& text) const;
  void OnCharacter(bool backspace);
  void OnDelete();
  void OnFilterChosen(int index);
  void OnItemActivated(const QModelIndex& index);
  void OnUp();
  QString BaseFolder() const;

  QString folderPath_;
  QString filterText_;
  // Icons from the style, so that folders show one also where no icon theme is installed.
  std::unique_ptr<QFileIconProvider> icons_;
  QFileSystemModel* model_ = nullptr;
  QTreeView* view_ = nullptr;
  QComboBox* lookIn_ = nullptr;
  QToolButton* upButton_ = nullptr;
  QToolButton* homeButton_ = nullptr;
  QComboBox* fileTypes_ = nullptr;
  FolderEdit* folderEdit_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};

}  // namespace sorvina::ui
