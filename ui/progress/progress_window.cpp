#include "ui/progress/progress_window.h"

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace sorvina::ui {
namespace {

// Margins of the layout, in pixels of the client area.
constexpr int kMargin = 15;
constexpr int kTextBottomGap = 55;
constexpr int kBarTopGap = 37;
constexpr int kBarBottomGap = 17;
constexpr int kBarRightGap = 95;
constexpr int kButtonLeftGap = 90;
constexpr int kButtonTopGap = 39;

// Left, top, right and bottom edges (right and bottom exclusive) as a rectangle.
QRect Edges(int left, int top, int right, int bottom) {
  return QRect(left, top, right - left, bottom - top);
}

// Watches the application object for a quit request while events are handled, and keeps
// the request from taking effect there: the caller's loop is still running.
class QuitWatcher : public QObject {
 public:
  explicit QuitWatcher(QCoreApplication* application) : application_(application) {
    application_->installEventFilter(this);
  }
  ~QuitWatcher() override { application_->removeEventFilter(this); }

  bool seen() const { return seen_; }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != application_ || event->type() != QEvent::Quit) return false;
    seen_ = true;
    return true;
  }

 private:
  QCoreApplication* application_;
  bool seen_ = false;
};

// The window's bar. QProgressBar formats its text ("42%") on every move, to decide whether
// to repaint, although this bar never shows it; that formatting was most of the cost of
// moving the bar after each entry of a long loop. The text is formatted as before wherever
// it may be seen: when the bar shows it, or while assistive tools are at work.
class Bar final : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;
  QString text() const override {
    return isTextVisible() || QAccessible::isActive() ? QProgressBar::text() : QString();
  }
};

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, const QString& title)
    : ProgressWindow(owner, title, Creation::kNormal) {}

ProgressWindow::ProgressWindow(QWidget* owner, const QString& title, Creation creation)
    : QWidget(owner != nullptr ? owner : QApplication::activeWindow(),
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      title_(title) {
  Create(owner, creation);
}

ProgressWindow::~ProgressWindow() = default;

bool ProgressWindow::Create(QWidget* owner, Creation creation) {
  setWindowTitle(title_);
  setFixedSize(kClientWidth, kClientHeight);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowModality(Qt::WindowModal);
  // The face colour of buttons behind everything, as in a dialog.
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  // Busy, yet clickable; shown wherever no override cursor of the program hides it.
  setCursor(Qt::BusyCursor);

  created_ = creation == Creation::kNormal;
  if (!created_) return false;

  const int w = kClientWidth;
  const int h = kClientHeight;
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("progressText"));
  text_->setTextFormat(Qt::PlainText);
  text_->setGeometry(Edges(kMargin, kMargin, w - kMargin, h - kTextBottomGap));

  bar_ = new Bar(this);
  bar_->setObjectName(QStringLiteral("progressBar"));
  bar_->setTextVisible(false);
  // The bar's own default range with the position at its start, not the "no position
  // yet" state of the widget, so that SetPosition always reports a position in range.
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setGeometry(Edges(kMargin, h - kBarTopGap, w - kBarRightGap, h - kBarBottomGap));

  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("progressCancel"));
  cancel_->setFocusPolicy(Qt::StrongFocus);
  cancel_->setGeometry(Edges(w - kButtonLeftGap, h - kButtonTopGap, w - kMargin, h - kMargin));
  connect(cancel_, &QPushButton::clicked, this, &ProgressWindow::OnCancel);
  // Whoever gives the window the focus gives it to the only control that takes keys.
  setFocusProxy(cancel_);

  // Centre over the owner, else over the active window, else on the screen. The frame's
  // size is not known before it is shown, so the client areas are centred on each other.
  const QWidget* over = owner != nullptr ? owner->window() : parentWidget();
  QRect area;
  if (over != nullptr) {
    area = over->geometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) {
    setGeometry(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
  }

  Show();
  return true;
}

void ProgressWindow::Show() {
  if (!created_ || isVisible()) return;
  show();
}

void ProgressWindow::SetRange(int lower, int upper) {
  upper_ = upper;
  lower_ = lower;
  if (!created_) return;
  // The position stays, brought within the new range; QProgressBar alone would drop it.
  const int previous = bar_->value();
  bar_->setRange(lower, upper);
  bar_->setValue(std::clamp(previous, bar_->minimum(), bar_->maximum()));
}

int ProgressWindow::SetPosition(int position) {
  if (!created_) return position_;
  position_ = position;
  std::int64_t percentage = 0;
  if (upper_ > lower_) {
    percentage = std::int64_t{position} * 100 / (std::int64_t{upper_} - lower_);
  }
  if (percentage != lastPercentage_) {
    lastPercentage_ = percentage;
    setWindowTitle(QStringLiteral("%1 [%2%]").arg(title_).arg(percentage));
  }
  const int previous = bar_->value();
  // A position outside the range shows at its nearest end, as a platform bar does; the
  // widget would ignore it.
  bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
  return previous;
}

void ProgressWindow::OnCancel() {
  cancelRequested = true;
}

bool PumpWaitingMessages() {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return true;
  bool quitRequested = false;
  {
    const QuitWatcher watcher(application);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    quitRequested = watcher.seen();
  }
  if (!quitRequested) return true;
  QCoreApplication::postEvent(application, new QEvent(QEvent::Quit));
  return false;
}

}  // namespace sorvina::ui
