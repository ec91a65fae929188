// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress/progress_window.h"

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace sorvina::ui {
namespace {

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
    : QWidget(owner != nullptr ? owner : QApplication::activeWindow(),
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      title_(title) {
  setWindowTitle(title_);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowModality(Qt::WindowModal);
  // Busy, yet clickable; shown wherever no override cursor of the program hides it.
  setCursor(Qt::BusyCursor);

  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("progressText"));
  label_->setTextFormat(Qt::PlainText);
  // Wide enough for the caption with its percentage, and for the bar to show its steps; one
  // line high, empty or not. The label is fitted to it, so that the window never changes
  // size as labels come and go.
  label_->setFixedSize(fontMetrics().horizontalAdvance(title_ + QStringLiteral(" [100%]")) +
                           fontMetrics().averageCharWidth() * 24,
                       fontMetrics().height());
  bar_ = new Bar(this);
  bar_->setObjectName(QStringLiteral("progressBar"));
  bar_->setTextVisible(false);
  // The bar's own default range with the position at its start, not the "no position
  // yet" state of the widget, so that SetPosition always reports a position in range.
  bar_->setRange(0, 100);
  bar_->setValue(0);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setObjectName(QStringLiteral("progressCancel"));
  cancel->setFocusPolicy(Qt::StrongFocus);
  connect(cancel, &QPushButton::clicked, this, [this] { cancelRequested = true; });
  // Whoever gives the window the focus gives it to the only control that takes keys.
  setFocusProxy(cancel);

  auto* row = new QHBoxLayout;
  row->addWidget(bar_, 1);
  row->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  layout->activate();
  CentreOver(owner != nullptr ? owner->window() : parentWidget());
  show();
}

ProgressWindow::~ProgressWindow() = default;

// Over the owner, else over the active window, else on the screen. The frame's size is
// not known before it is shown, so the client areas are centred on each other.
void ProgressWindow::CentreOver(const QWidget* over) {
  QRect area;
  if (over != nullptr) {
    area = over->geometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) setGeometry(QRect(area.center() - rect().center(), size()));
}

void ProgressWindow::SetRange(int lower, int upper) {
  upper_ = upper;
  lower_ = lower;
  // The position stays, brought within the new range; QProgressBar alone would drop it.
  const int previous = bar_->value();
  bar_->setRange(lower, upper);
  bar_->setValue(std::clamp(previous, bar_->minimum(), bar_->maximum()));
}

int ProgressWindow::SetPosition(int position) {
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

void ProgressWindow::SetLabel(const QString& label) {
  label_->setText(label_->fontMetrics().elidedText(label, Qt::ElideMiddle, label_->width()));
  label_->setToolTip(label_->text() == label ? QString() : label);
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
