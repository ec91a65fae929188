// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "text/user_text.h"

namespace sorvina::engine {

// A progress display with a Cancel button, open while a long loop runs; it closes when
// the object is destroyed.
class ProgressPort {
 public:
  virtual ~ProgressPort() = default;
  // The positions the display spans, from `lower` (nothing done) to `upper` (all done).
  virtual void SetRange(int lower, int upper) = 0;
  virtual void SetPosition(int position) = 0;
  // What is being worked on now, such as the name of the song being converted; shown
  // beside the position where the display has room for it.
  virtual void SetLabel(const text::UserText& /*label*/) {}
  // Lets the interface handle what is pending (painting, the Cancel button) once. True
  // when the user has asked to cancel.
  virtual bool PumpAndCheckCancel() = 0;
};

// How the engine talks to the user during a selection run; each front end implements it
// (message boxes and a progress window in the wizard, standard error in the command
// line, recorders in tests).
class RunPorts {
 public:
  virtual ~RunPorts() = default;
  // An information message with an OK button; returns when the user has seen it.
  virtual void ShowInformation(const text::UserText& message) = 0;
  // Something the run passed over and went on without, such as a record of earlier fills
  // that could not be used: worth telling, but no failure of the run. Shown as an
  // information message unless the front end tells warnings apart.
  virtual void ShowWarning(const text::UserText& message) { ShowInformation(message); }
  // A question to be answered Yes or No; true for Yes. Front ends that cannot ask (or
  // whose user answered ahead, as a command line does) answer No.
  virtual bool AskYesNo(const text::UserText& /*question*/) { return false; }
  // Shows or removes the wait cursor.
  virtual void SetWaitCursor(bool shown) = 0;
  // Opens a progress display titled `title`, shown right away with the focus.
  virtual std::unique_ptr<ProgressPort> OpenProgress(const text::UserText& title) = 0;
};

// Shows the wait cursor for as long as it lives.
class ScopedWaitCursor {
 public:
  explicit ScopedWaitCursor(RunPorts& ports) : ports_(ports) { ports_.SetWaitCursor(true); }
  ~ScopedWaitCursor() { ports_.SetWaitCursor(false); }
  ScopedWaitCursor(const ScopedWaitCursor&) = delete;
  ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;

 private:
  RunPorts& ports_;
};

}  // namespace sorvina::engine
