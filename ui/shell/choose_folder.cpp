#include "ui/shell/choose_folder.h"

#include "ui/shell/file_dialog.h"

namespace sorvina::ui {

std::optional<QString> ChooseFolder(QWidget* parent) {
  std::optional<QString> folder = ChooseExistingFolder(parent);
  if (!folder) return std::nullopt;
  while (folder->endsWith(QLatin1Char('/')))
    folder->chop(1);
  return *folder + QLatin1Char('/');
}

}  // namespace sorvina::ui
