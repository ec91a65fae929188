// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <vector>

#include <QString>

#include "ui/shell/test_seam.h"

class QWidget;

namespace sorvina::ui {

// The program's modal message boxes. Each carries the application name as its caption, and
// its text can be selected and copied.

// An information icon and an OK button.
void ShowInformation(QWidget* parent, const QString& text);
// No icon, an OK button.
void ShowPlainMessage(QWidget* parent, const QString& text);
// No icon, Yes and No; true only for Yes (closing the box counts as No).
bool AskYesNo(QWidget* parent, const QString& text);

enum class MessageKind { kInformation, kPlain, kYesNo };

struct ShownMessage {
  MessageKind kind;
  QString caption;
  QString text;
};

// Test seam: while one exists, no box is shown; each is recorded instead and a Yes/No
// question takes the next queued answer (No when none is queued).
class MessageBoxRecorder : public ScopedSeam<MessageBoxRecorder> {
 public:
  void QueueAnswer(bool yes) { answers_.push_back(yes); }
  const std::vector<ShownMessage>& shown() const { return shown_; }
  // The texts shown so far, in order.
  QStringList texts() const;
  void Clear() { shown_.clear(); }

  // Used by the functions above.
  bool Record(MessageKind kind, const QString& text);

 private:
  std::vector<ShownMessage> shown_;
  std::deque<bool> answers_;
};

}  // namespace sorvina::ui
