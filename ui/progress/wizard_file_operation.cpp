// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress/wizard_file_operation.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include "engine/report/summary_line.h"
#include "ui/progress/copy_progress_dialog.h"
#include "ui/progress/progress_window.h"
#include "ui/shell/application_name.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"
#include "ui/shell/wait_cursor.h"

namespace sorvina::ui {
namespace {

// `path` with its size and the time it was last changed, as the user reads them; the path
// alone where there is no such file.
QString Described(const QString& path) {
  const QFileInfo file(path);
  if (!file.isFile()) return path;
  return QCoreApplication::translate("sorvina::ui::WizardFileOperation", "%1 (%2, changed %3)")
      .arg(path, Translated(engine::SizeText(file.size())),
           QLocale().toString(file.lastModified(), QLocale::ShortFormat));
}

// Whether the two files hold the same bytes.
bool SameContent(const QString& first, const QString& second) {
  QFile a(first);
  QFile b(second);
  if (a.size() != b.size() || !a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
    return false;
  constexpr qint64 kChunk = 1 << 16;
  while (!a.atEnd()) {
    const QByteArray chunk = a.read(kChunk);
    if (chunk.isEmpty() || chunk != b.read(chunk.size())) return false;
  }
  return b.atEnd();
}

}  // namespace

WizardFileOperation::WizardFileOperation(QWidget* owner) : owner_(owner) {}

WizardFileOperation::~WizardFileOperation() {
  delete progress_.data();
}

CopyProgressDialog* WizardFileOperation::progressDialog() const {
  return progress_.data();
}

QWidget* WizardFileOperation::QuestionParent() const {
  if (progress_) return progress_.data();
  return owner_;
}

transfer::ConflictAnswer WizardFileOperation::AskConflict(const std::string& source,
                                                          const std::string& target) {
  const ScopedCursor arrow(Qt::ArrowCursor);
  return AskNameConflict(QuestionParent(), FromEngineText(source), FromEngineText(target));
}

transfer::ErrorAction WizardFileOperation::ReportError(const std::string& path,
                                                       const text::UserText& reason) {
  const ScopedCursor arrow(Qt::ArrowCursor);
  const QString text =
      QCoreApplication::translate("sorvina::ui::WizardFileOperation",
                                  "Can't copy \"%1\": %2\n\nContinue with the remaining files?")
          .arg(FromEngineText(path), Translated(reason));
  return AskYesNo(QuestionParent(), text) ? transfer::ErrorAction::kContinue
                                          : transfer::ErrorAction::kStop;
}

bool WizardFileOperation::Progress(const transfer::FileProgress& progress) {
  if (!progress_) {
    progress_ = new CopyProgressDialog(owner_);
    progress_->show();
  }
  progress_->Update(progress);
  const bool quitRequested = !PumpWaitingMessages();
  // The dialog may have gone with its owner while the events ran; nobody is left to show
  // the copy to.
  return !quitRequested && progress_ && !progress_->cancelRequested();
}

void WizardFileOperation::WritingToDevice() {
  if (!progress_) return;
  progress_->ShowWritingToDevice();
  PumpWaitingMessages();
}

transfer::ConflictAnswer AskNameConflict(QWidget* parent, const QString& source,
                                         const QString& target) {
  using transfer::ConflictAction;
  if (ConflictQuestionRecorder* recorder = ConflictQuestionRecorder::active())
    return recorder->Record(source, target);

  QMessageBox box(
      QMessageBox::Question, ApplicationName(),
      QCoreApplication::translate("sorvina::ui::WizardFileOperation",
                                  "A file named \"%1\" already exists in the destination folder.")
          .arg(QFileInfo(target).fileName()),
      QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  // A file the run writes itself (the playlist on the device) has no source to name, and
  // nothing to compare.
  QString facts =
      QCoreApplication::translate("sorvina::ui::WizardFileOperation", "Existing file: %1")
          .arg(Described(target));
  if (!source.isEmpty()) {
    facts = QCoreApplication::translate("sorvina::ui::WizardFileOperation", "Copying: %1")
                .arg(Described(source)) +
            QLatin1Char('\n') + facts;
    if (SameContent(source, target))
      facts +=
          QLatin1String("\n\n") + QCoreApplication::translate("sorvina::ui::WizardFileOperation",
                                                              "The two files are identical.");
  }
  box.setInformativeText(facts);
  const auto addButton = [&box](const char* text, QMessageBox::ButtonRole role,
                                const char* objectName) {
    QPushButton* button =
        box.addButton(QCoreApplication::translate("sorvina::ui::WizardFileOperation", text), role);
    button->setObjectName(QString::fromLatin1(objectName));
    return button;
  };
  QPushButton* replace = addButton(QT_TRANSLATE_NOOP("sorvina::ui::WizardFileOperation", "Replace"),
                                   QMessageBox::AcceptRole, "conflictReplace");
  QPushButton* skip = addButton(QT_TRANSLATE_NOOP("sorvina::ui::WizardFileOperation", "Skip"),
                                QMessageBox::RejectRole, "conflictSkip");
  QPushButton* keepBoth =
      addButton(QT_TRANSLATE_NOOP("sorvina::ui::WizardFileOperation", "Keep both"),
                QMessageBox::AcceptRole, "conflictKeepBoth");
  QPushButton* cancel = addButton(QT_TRANSLATE_NOOP("sorvina::ui::WizardFileOperation", "Cancel"),
                                  QMessageBox::RejectRole, "conflictCancel");
  // Enter never overwrites anything.
  box.setDefaultButton(skip);
  box.setEscapeButton(cancel);
  auto* forAll = new QCheckBox(
      QCoreApplication::translate("sorvina::ui::WizardFileOperation", "Do this for all remaining"));
  forAll->setObjectName(QStringLiteral("conflictForAll"));
  box.setCheckBox(forAll);
  box.exec();

  transfer::ConflictAnswer answer;
  answer.forAllRemaining = forAll->isChecked();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked == replace) {
    answer.action = ConflictAction::kReplace;
  } else if (clicked == skip) {
    answer.action = ConflictAction::kSkip;
  } else if (clicked == keepBoth) {
    answer.action = ConflictAction::kKeepBoth;
  } else {
    // Cancel, Escape, or the box closed some other way.
    answer.action = ConflictAction::kCancel;
  }
  return answer;
}

transfer::ConflictAnswer ConflictQuestionRecorder::Record(const QString& source,
                                                          const QString& target) {
  asked_.push_back({source, target});
  return TakeNext(answers_, transfer::ConflictAnswer{transfer::ConflictAction::kSkip, false});
}

}  // namespace sorvina::ui
