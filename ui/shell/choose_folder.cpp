// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/choose_folder.h"

#include "ui/shell/file_dialog.h"
#include "ui/shell/folder_dialog.h"

namespace sorvina::ui {

std::optional<QString> ChooseFolder(QWidget* parent, const QString& startFolder) {
  std::optional<QString> folder;
  if (FileDialogRecorder* recorder = FileDialogRecorder::active()) {
    folder = recorder->Record({FileDialogKind::kFolder, {}, {}, startFolder, {}});
  } else {
    FolderDialog dialog(startFolder.isEmpty() ? std::nullopt : std::optional<QString>(startFolder),
                        std::nullopt, parent);
    if (dialog.exec() == QDialog::Accepted) folder = dialog.GetFolder();
  }
  if (!folder || folder->isEmpty()) return std::nullopt;
  return FolderEntryText(*folder);
}

QString FolderEntryText(QString folder) {
  while (folder.endsWith(QLatin1Char('/')))
    folder.chop(1);
  return folder + QLatin1Char('/');
}

}  // namespace sorvina::ui
