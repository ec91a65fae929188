// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/file_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace sorvina::ui {
namespace {

// "Name (*.txt)" plus the pattern list "*.txt;*.text" gives "Name (*.txt *.text)".
QString NameFilter(QString name, const QString& patterns) {
  const qsizetype bracket = name.lastIndexOf(QLatin1String(" ("));
  if (bracket >= 0 && name.endsWith(QLatin1Char(')'))) name.truncate(bracket);
  return QStringLiteral("%1 (%2)").arg(name, FilterPatterns(patterns).join(QLatin1Char(' ')));
}

// The dialog's list without some files.
class HidingProxy final : public QSortFilterProxyModel {
 public:
  HidingProxy(const QStringList& hidden, QObject* parent)
      : QSortFilterProxyModel(parent), hidden_(hidden) {
    for (QString& path : hidden_)
      path = QDir::cleanPath(QDir(path).absolutePath());
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    return files == nullptr || !hidden_.contains(files->filePath(files->index(row, 0, parent)));
  }

 private:
  QStringList hidden_;
};

std::optional<QString> Run(QWidget* parent, FileDialogRequest request) {
  if (FileDialogRecorder* recorder = FileDialogRecorder::active())
    return recorder->Record(std::move(request));
  QFileDialog dialog(parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  switch (request.kind) {
    case FileDialogKind::kOpen:
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
    case FileDialogKind::kSave:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      break;
    case FileDialogKind::kFolder:
      break;  // the folder picker is a dialog of its own
  }
  if (!request.nameFilters.isEmpty()) dialog.setNameFilters(request.nameFilters);
  if (!request.defaultExtension.isEmpty()) dialog.setDefaultSuffix(request.defaultExtension);
  if (!request.initialFolder.isEmpty()) dialog.setDirectory(request.initialFolder);
  if (!request.hiddenPaths.isEmpty())
    dialog.setProxyModel(new HidingProxy(request.hiddenPaths, &dialog));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

}  // namespace

QStringList FilterPatterns(const QString& patterns) {
  QStringList converted;
  for (const QString& pattern : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts))
    converted << (pattern.trimmed() == QLatin1String("*.*") ? QStringLiteral("*")
                                                            : pattern.trimmed());
  return converted;
}

std::vector<FilterPair> SplitFilterString(const QString& filterString) {
  const QStringList parts = filterString.split(QLatin1Char('|'));
  std::vector<FilterPair> pairs;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;  // the closing bar
    pairs.push_back({parts[i], parts[i + 1]});
  }
  return pairs;
}

QStringList ToNameFilters(const QString& filterString) {
  QStringList filters;
  for (const FilterPair& pair : SplitFilterString(filterString))
    filters << NameFilter(pair.name, pair.patterns);
  return filters;
}

QString AllFilesFilter() {
  return QCoreApplication::translate("sorvina::ui::FileDialog", "All Files (*.*)") +
         QStringLiteral("|*.*||");
}

QString FilterWithAllFiles(const QString& name, const QString& patterns) {
  return name + QLatin1Char('|') + patterns + QLatin1Char('|') + AllFilesFilter();
}

std::optional<QString> ChooseFileToOpen(QWidget* parent, const QString& filterString,
                                        const QString& defaultExtension,
                                        const QString& initialFolder) {
  return Run(
      parent,
      {FileDialogKind::kOpen, ToNameFilters(filterString), defaultExtension, initialFolder, {}});
}

std::optional<QString> ChooseFileToSave(QWidget* parent, const QString& filterString,
                                        const QString& defaultExtension,
                                        const QString& initialFolder,
                                        const QStringList& hiddenPaths) {
  return Run(parent, {FileDialogKind::kSave, ToNameFilters(filterString), defaultExtension,
                      initialFolder, hiddenPaths});
}

std::optional<QString> FileDialogRecorder::Record(FileDialogRequest request) {
  requests_.push_back(std::move(request));
  QString path = TakeNext(paths_, QString());
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace sorvina::ui
