#pragma once

#include <cstdint>

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorvina::ui {

// A small window that shows how far a long loop has come: the title with the percentage
// in its caption ("Creating Playlist [42%]"), a bar and a Cancel button. It is shown,
// centred over its owner, as soon as it is made, and goes away with the object. The loop
// calls PumpWaitingMessages after each step so that the window repaints and Cancel works.
//
// The window is modal to its owner: while it is up the owner takes no clicks or keys, so
// that nothing in the owner can start over or tear down the loop that is running.
class ProgressWindow : public QWidget {
  Q_OBJECT

 public:
  // `owner`: the window to centre over and to block (none: the program's active window).
  ProgressWindow(QWidget* owner, const QString& title);
  ~ProgressWindow() override;

  // Client size, fixed: a frame of 390 x 110 less its borders and caption.
  static constexpr int kClientWidth = 384;
  static constexpr int kClientHeight = 81;

  // Stores the range and passes it to the bar, all of it.
  void SetRange(int lower, int upper);
  // Moves the bar, and rewrites the caption only when the whole percentage changes.
  // Returns the bar's previous position (the stored one when the window could not be
  // made).
  int SetPosition(int position);
  // Makes the window visible without activating it, once.
  void Show();

  // Set when the user clicks Cancel; never cleared.
  bool cancelRequested = false;

  bool created() const { return created_; }

 protected:
  // Lets tests make an object whose window could not be built, which must stay inert.
  enum class Creation { kNormal, kFails };
  ProgressWindow(QWidget* owner, const QString& title, Creation creation);

 private:
  bool Create(QWidget* owner, Creation creation);
  void OnCancel();

  bool created_ = false;
  int position_ = 0;
  // Wide enough for any position over any range, so that the caption never wraps around.
  std::int64_t lastPercentage_ = 0;
  int upper_ = 100;
  int lower_ = 0;
  QString title_;
  QLabel* text_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Handles the events waiting for the user interface once (painting, clicks such as
// Cancel). False when the program was asked to quit meanwhile; the request is then
// queued again, so that it still ends the program's own event loop once the caller is
// back there, and not in the middle of the caller's work.
bool PumpWaitingMessages();

}  // namespace sorvina::ui
