// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "transfer/file_operation.h"
#include "ui/shell/wait_cursor.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorvina::ui {

// The copy's progress: "Copying file i of n", the name of that file, a bar over the bytes
// of the whole copy and a Cancel button. Modal to its owner, so that the wizard takes no
// input during the copy, yet it does not run a loop of its own: the copy shows it, updates
// it and lets the events run (PumpWaitingMessages) between files and chunks. Escape and
// the close box count as Cancel.
class CopyProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CopyProgressDialog(QWidget* owner);
  ~CopyProgressDialog() override;

  // Steps of the bar, whatever the byte counts.
  static constexpr int kBarSteps = 1000;

  void Update(const transfer::FileProgress& progress);
  // A step of the run that follows the copy (the playlist written on the player) shown in
  // this window instead of one of its own: `title` above a bar that goes over the range
  // the step sets as the step moves on.
  void ShowStep(const QString& title);
  void SetRange(int lower, int upper);
  void SetPosition(int position);
  // The copy is over and its files are being written out to the device: says so, with a
  // busy bar and no Cancel, which could no longer stop anything.
  void ShowWritingToDevice();
  // Set once the user asked to cancel; never cleared.
  bool cancelRequested() const { return cancelRequested_; }

  void reject() override;

 private:
  const ScopedCursor busy_{Qt::BusyCursor};
  QLabel* count_;
  QLabel* name_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelRequested_ = false;
};

}  // namespace sorvina::ui
