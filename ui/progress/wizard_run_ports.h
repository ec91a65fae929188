// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "engine/report/run_ports.h"

class QWidget;

namespace sorvina::ui {

class WizardFileOperation;

// The selection run's messages, wait cursor and playlist progress in windows owned by
// `owner` (the wizard): message boxes with the information icon, in the user's language, the
// override cursor, and a ProgressWindow pumped after each entry. With `copy`, whose
// progress dialog is up once the copy began, a step after the copy (the playlist on the
// player) shows its progress in that dialog, so that one progress window is up at a time.
class WizardRunPorts : public engine::RunPorts {
 public:
  explicit WizardRunPorts(QWidget* owner, const WizardFileOperation* copy = nullptr)
      : owner_(owner), copy_(copy) {}
  // Takes away the wait cursors that are still shown.
  ~WizardRunPorts() override;
  WizardRunPorts(const WizardRunPorts&) = delete;
  WizardRunPorts& operator=(const WizardRunPorts&) = delete;

  void ShowInformation(const text::UserText& message) override;
  bool AskYesNo(const text::UserText& question) override;
  void SetWaitCursor(bool shown) override;
  std::unique_ptr<engine::ProgressPort> OpenProgress(const text::UserText& title) override;

 private:
  QWidget* owner_;
  const WizardFileOperation* copy_;
  // Wait cursors shown and not yet removed: a removal beyond them is ignored, so that the
  // program's cursor stack stays balanced whatever the caller does.
  int waitCursorDepth_ = 0;
};

}  // namespace sorvina::ui
