// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress/wizard_run_ports.h"

#include <optional>

#include <QApplication>
#include <QCursor>
#include <QPointer>

#include "ui/progress/copy_progress_dialog.h"
#include "ui/progress/progress_window.h"
#include "ui/progress/wizard_file_operation.h"
#include "ui/shell/message_box.h"
#include "ui/shell/translated_text.h"
#include "ui/shell/wait_cursor.h"

namespace sorvina::ui {
namespace {

bool CancelRequested(const ProgressWindow& window) {
  return window.cancelRequested;
}
bool CancelRequested(const CopyProgressDialog& dialog) {
  return dialog.cancelRequested();
}

// Progress in `Window`, whose events run after each step. A window that went away with its
// owner can no longer be asked; the loop then stops.
template <class Window>
class PumpedProgress : public engine::ProgressPort {
 public:
  explicit PumpedProgress(Window* window) : window_(window) {}

  void SetRange(int lower, int upper) override {
    if (window_) window_->SetRange(lower, upper);
  }
  void SetPosition(int position) override {
    if (window_) window_->SetPosition(position);
  }
  bool PumpAndCheckCancel() override {
    PumpWaitingMessages();
    return window_.isNull() || CancelRequested(*window_);
  }

 protected:
  QPointer<Window> window_;
};

// The playlist writer's progress in a ProgressWindow, which takes the focus as it opens.
// The wait cursor of the run is on meanwhile; the busy cursor stands above it for as long
// as the window is up, so that its Cancel button does not look out of reach.
class WindowProgress : public PumpedProgress<ProgressWindow> {
 public:
  WindowProgress(QWidget* owner, const QString& title)
      : PumpedProgress(new ProgressWindow(owner, title)) {
    window_->activateWindow();
    window_->setFocus(Qt::OtherFocusReason);
  }
  // The owner may have taken the window with it already; only what is left is deleted.
  ~WindowProgress() override { delete window_.data(); }

  // What the loop is at, such as the song being converted, on the line above the bar.
  void SetLabel(const text::UserText& label) override {
    if (window_) window_->SetLabel(Translated(label));
  }

 private:
  const ScopedCursor busy_{Qt::BusyCursor};
};

// A step after the copy in the copy's own dialog, which stays its owner's to close.
class CopyDialogProgress : public PumpedProgress<CopyProgressDialog> {
 public:
  CopyDialogProgress(CopyProgressDialog* dialog, const QString& title) : PumpedProgress(dialog) {
    window_->ShowStep(title);
  }
};

}  // namespace

WizardRunPorts::~WizardRunPorts() {
  while (waitCursorDepth_ > 0)
    SetWaitCursor(false);
}

void WizardRunPorts::ShowInformation(const text::UserText& message) {
  // A message in the middle of a run is read and answered with the ordinary arrow.
  std::optional<ScopedCursor> arrow;
  if (waitCursorDepth_ > 0) arrow.emplace(Qt::ArrowCursor);
  ui::ShowInformation(owner_, Translated(message));
}

bool WizardRunPorts::AskYesNo(const text::UserText& question) {
  std::optional<ScopedCursor> arrow;
  if (waitCursorDepth_ > 0) arrow.emplace(Qt::ArrowCursor);
  return ui::AskYesNo(owner_, Translated(question));
}

void WizardRunPorts::SetWaitCursor(bool shown) {
  if (shown) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++waitCursorDepth_;
  } else if (waitCursorDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --waitCursorDepth_;
  }
}

std::unique_ptr<engine::ProgressPort> WizardRunPorts::OpenProgress(const text::UserText& title) {
  if (copy_ != nullptr && copy_->progressDialog() != nullptr)
    return std::make_unique<CopyDialogProgress>(copy_->progressDialog(), Translated(title));
  return std::make_unique<WindowProgress>(owner_, Translated(title));
}

}  // namespace sorvina::ui
