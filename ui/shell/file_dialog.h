#pragma once

#include <deque>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "ui/shell/test_seam.h"

class QWidget;

namespace sorvina::ui {

// Turns a filter list of name and pattern pairs, each followed by a bar and the whole
// ended by one more bar ("Settings Files (*.txt)|*.txt|All Files (*.*)|*.*||"), into the
// file dialog's name filters. "*.*" means every file, also one without a dot in its name.
QStringList ConvertFilterSpec(const QString& spec);

// The common file dialogs. Each gives the full path of the chosen file, or nothing when
// the user cancels. `defaultExtension` (without the dot) is appended to a typed name that
// has none; an empty `initialFolder` leaves the dialog's own choice.
std::optional<QString> ChooseFileToOpen(QWidget* parent, const QString& filterSpec,
                                        const QString& defaultExtension,
                                        const QString& initialFolder);
// Asks before an existing file is overwritten.
std::optional<QString> ChooseFileToSave(QWidget* parent, const QString& filterSpec,
                                        const QString& defaultExtension,
                                        const QString& initialFolder);
// An existing folder, as the platform's folder dialog gives it (no trailing separator).
std::optional<QString> ChooseExistingFolder(QWidget* parent);

enum class FileDialogKind { kOpen, kSave, kFolder };

struct FileDialogRequest {
  FileDialogKind kind;
  QStringList nameFilters;
  QString defaultExtension;
  QString initialFolder;
};

// Test seam: while one exists, no dialog is shown; each request is recorded and answered
// with the next queued path (an empty path, or none queued, is Cancel).
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
