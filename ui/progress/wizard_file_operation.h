// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <QPointer>
#include <QString>

#include "transfer/file_operation.h"
#include "ui/shell/test_seam.h"

class QWidget;

namespace sorvina::ui {

class CopyProgressDialog;

// The copy's progress dialog, its name-conflict question and its error reports as
// windows owned by `owner` (the wizard). The progress dialog appears with the first
// progress report and closes with the object. A quit request met while the events run
// stops the copy as Cancel does.
class WizardFileOperation : public transfer::FileOperationUi {
 public:
  explicit WizardFileOperation(QWidget* owner);
  ~WizardFileOperation() override;
  WizardFileOperation(const WizardFileOperation&) = delete;
  WizardFileOperation& operator=(const WizardFileOperation&) = delete;

  transfer::ConflictAnswer AskConflict(const std::string& source,
                                       const std::string& target) override;
  transfer::ErrorAction ReportError(const std::string& path, const text::UserText& reason) override;
  bool Progress(const transfer::FileProgress& progress) override;
  void WritingToDevice() override;

  // The copy's progress dialog while it is up; none before the first progress report.
  CopyProgressDialog* progressDialog() const;

 private:
  // The window the questions belong to: the progress dialog once it is up, else the owner.
  QWidget* QuestionParent() const;

  QWidget* owner_;
  // Guarded, since the owner takes the dialog with it should it go first.
  QPointer<CopyProgressDialog> progress_;
};

// Asks what to do about a name that exists in the destination: Replace, Skip, Keep both
// or Cancel, with "Do this for all remaining".
transfer::ConflictAnswer AskNameConflict(QWidget* parent, const QString& source,
                                         const QString& target);

// Test seam: while one exists, the conflict question is not shown; each is recorded and
// answered with the next queued answer (Skip when none is queued).
class ConflictQuestionRecorder : public ScopedSeam<ConflictQuestionRecorder> {
 public:
  struct Asked {
    QString source;
    QString target;
  };

  void QueueAnswer(transfer::ConflictAnswer answer) { answers_.push_back(answer); }
  const std::vector<Asked>& asked() const { return asked_; }

  transfer::ConflictAnswer Record(const QString& source, const QString& target);

 private:
  std::vector<Asked> asked_;
  std::deque<transfer::ConflictAnswer> answers_;
};

}  // namespace sorvina::ui
