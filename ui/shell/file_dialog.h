// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "ui/shell/test_seam.h"

class QWidget;

namespace sorvina::ui {

struct FilterPair {
  QString name;      // "Settings Files (*.txt)"
  QString patterns;  // "*.txt", several separated by ';'
};

// Splits a filter string of name and pattern pairs, each followed by a bar and the whole
// ended by one more bar ("Settings Files (*.txt)|*.txt|All Files (*.*)|*.*||").
std::vector<FilterPair> SplitFilterString(const QString& filterString);

// The name patterns of one pair's pattern list; "*.*" means every file, also one without a
// dot in its name, and becomes "*".
QStringList FilterPatterns(const QString& patterns);

// Turns a filter string into the file dialog's name filters ("Name (*.txt *.text)").
QStringList ToNameFilters(const QString& filterString);

// "All Files (*.*)|*.*||" in the user's language: the last choice of every filter list.
QString AllFilesFilter();

// The filter string of one choice, `name` showing `patterns`, followed by AllFilesFilter.
QString FilterWithAllFiles(const QString& name, const QString& patterns);

// The common file dialogs. Each gives the full path of the chosen file, or nothing when
// the user cancels. `defaultExtension` (without the dot) is appended to a typed name that
// has none; an empty `initialFolder` leaves the dialog's own choice.
std::optional<QString> ChooseFileToOpen(QWidget* parent, const QString& filterString,
                                        const QString& defaultExtension,
                                        const QString& initialFolder);
// Asks before an existing file is overwritten. The files in `hiddenPaths` are not listed.
std::optional<QString> ChooseFileToSave(QWidget* parent, const QString& filterString,
                                        const QString& defaultExtension,
                                        const QString& initialFolder,
                                        const QStringList& hiddenPaths = {});

enum class FileDialogKind { kOpen, kSave, kFolder };

struct FileDialogRequest {
  FileDialogKind kind;
  QStringList nameFilters;
  QString defaultExtension;
  QString initialFolder;
  QStringList hiddenPaths;  // files the dialog does not list
};

// Test seam for these dialogs and the folder picker: while one exists, no dialog is shown; each
// request is recorded and answered with the next queued path (an empty path, or none queued, is
// Cancel).
class FileDialogRecorder : public ScopedSeam<FileDialogRecorder> {
 public:
  void QueuePath(const QString& path) { paths_.push_back(path); }
  const std::vector<FileDialogRequest>& requests() const { return requests_; }

  std::optional<QString> Record(FileDialogRequest request);

 private:
  std::vector<FileDialogRequest> requests_;
  std::deque<QString> paths_;
};

}  // namespace sorvina::ui
