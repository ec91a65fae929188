// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace sorvina::ui {

// A small window that shows how far a long loop has come: the title with the percentage
// in its caption ("Creating Playlist [42%]"), a line for a text above a bar with a Cancel
// button beside it. It is shown, centred over its owner and without taking the focus from
// it, as soon as it is made, and goes away with the object. The loop calls
// PumpWaitingMessages after each step so that the window repaints and Cancel works.
//
// The window is modal to its owner: while it is up the owner takes no clicks or keys, so
// that nothing in the owner can start over or tear down the loop that is running.
class ProgressWindow : public QWidget {
  Q_OBJECT

 public:
  // `owner`: the window to centre over and to block (none: the program's active window).
  ProgressWindow(QWidget* owner, const QString& title);
  ~ProgressWindow() override;

  // Stores the range and passes it to the bar, all of it.
  void SetRange(int lower, int upper);
  // Moves the bar, and rewrites the caption only when the whole percentage changes.
  // Returns the bar's previous position.
  int SetPosition(int position);
  // Shows `label` (what the loop is at, such as a song's name) on the line above the bar,
  // shortened in the middle where it is longer than the line, whole in its tool tip. The
  // window keeps its size whatever the label's length.
  void SetLabel(const QString& label);

  // Set when the user clicks Cancel; never cleared.
  bool cancelRequested = false;

 private:
  void CentreOver(const QWidget* owner);

  // Wide enough for any position over any range, so that the caption never wraps around.
  std::int64_t lastPercentage_ = 0;
  int upper_ = 100;
  int lower_ = 0;
  QString title_;
  QLabel* label_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

// Handles the events waiting for the user interface once (painting, clicks such as
// Cancel). False when the program was asked to quit meanwhile; the request is then
// queued again, so that it still ends the program's own event loop once the caller is
// back there, and not in the middle of the caller's work.
bool PumpWaitingMessages();

}  // namespace sorvina::ui
