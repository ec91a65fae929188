// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress/progress_window.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "tests/ui/widget_test_case.h"
#include "ui/progress/wizard_run_ports.h"
#include "ui/shell/application_name.h"
#include "ui/shell/message_box.h"

namespace sorvina::ui {
namespace {

const QString kTitle = QStringLiteral("Creating Playlist");

// Clicks `button` in the next round of events, as a user's click that arrives while the
// caller is busy.
void QueueClick(QPushButton* button) {
  QMetaObject::invokeMethod(button, &QPushButton::click, Qt::QueuedConnection);
}

// Quit requests that reach the application object while it lives, held back.
class QuitCounter : public QObject {
 public:
  QuitCounter() { qApp->installEventFilter(this); }
  ~QuitCounter() override { qApp->removeEventFilter(this); }
  int count = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != qApp || event->type() != QEvent::Quit) return false;
    ++count;
    return true;
  }
};

}  // namespace

class ProgressWindowTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private slots:
  void showsTheTextAboveTheBarAndCancelCentredOverItsOwner() {
    QWidget owner;
    owner.setGeometry(100, 100, 800, 500);
    owner.show();
    ProgressWindow window(&owner, kTitle);
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), kTitle);
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));

    auto* text = window.findChild<QLabel*>(QStringLiteral("progressText"));
    auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    auto* cancel = window.findChild<QPushButton*>(QStringLiteral("progressCancel"));
    QVERIFY(text && bar && cancel);
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    // The text spans the window above the bar; Cancel stands at the bar's right, level with it.
    QVERIFY(text->geometry().bottom() < bar->geometry().top());
    QCOMPARE(text->geometry().left(), bar->geometry().left());
    QCOMPARE(text->geometry().right(), cancel->geometry().right());
    QVERIFY(bar->geometry().right() < cancel->geometry().left());
    QVERIFY(qAbs(bar->geometry().center().y() - cancel->geometry().center().y()) <= 1);
    // The caption with any percentage fits the window.
    QVERIFY(window.width() > window.fontMetrics().horizontalAdvance(kTitle + " [100%]"));
    QCOMPARE(window.geometry().center(), owner.geometry().center());
  }

  void labelsShowWholeOrShortenedAndNeverResizeTheWindow() {
    ProgressWindow window(nullptr, QStringLiteral("Converting songs for the player"));
    auto* text = window.findChild<QLabel*>(QStringLiteral("progressText"));
    QCoreApplication::processEvents();
    const QSize size = window.size();
    const QString longName = "Artist - " + QString(200, 'b') + " (Live).flac";
    struct Case {
      QString label;
      bool whole;
    };
    const Case cases[] = {{"Intro.mp3", true},
                          {longName, false},
                          {"", true},
                          {QString::fromUtf8("Ünïcödé — Song.ogg"), true}};
    for (const Case& shown : cases) {
      window.SetLabel(shown.label);
      QCoreApplication::processEvents();
      QCOMPARE(window.size(), size);
      QVERIFY(text->fontMetrics().horizontalAdvance(text->text()) <= text->width());
      if (shown.whole) {
        QCOMPARE(text->text(), shown.label);
        QVERIFY(text->toolTip().isEmpty());
      } else {
        // Both ends stay readable; the whole name is a tool tip away.
        QVERIFY2(text->text().startsWith("Artist - b") && text->text().endsWith("(Live).flac") &&
                     text->text().contains(QChar(0x2026)),
                 qPrintable(text->text()));
        QCOMPARE(text->toolTip(), shown.label);
      }
    }
  }

  void captionShowsWholePercentagesAndChangesOnlyWithThem() {
    {
      ProgressWindow window(nullptr, kTitle);
      QSignalSpy titles(&window, &QWidget::windowTitleChanged);
      window.SetRange(0, 4);
      QStringList seen;
      QList<int> previous;
      for (int position = 0; position < 4; ++position) {
        previous << window.SetPosition(position);
        seen << window.windowTitle();
      }
      QCOMPARE(seen,
               (QStringList{kTitle, kTitle + " [25%]", kTitle + " [50%]", kTitle + " [75%]"}));
      QCOMPARE(previous, (QList<int>{0, 0, 1, 2}));
      QCOMPARE(titles.count(), 3);
      QVERIFY(window.findChild<QProgressBar*>()->value() < 4);  // never at the end
    }
    {
      // 1/300 and 2/300 both give 0%, 3/300 and 4/300 both 1%.
      ProgressWindow window(nullptr, kTitle);
      QSignalSpy titles(&window, &QWidget::windowTitleChanged);
      window.SetRange(0, 300);
      for (int position : {1, 2, 3, 4})
        window.SetPosition(position);
      QCOMPARE(titles.count(), 1);
      QCOMPARE(window.windowTitle(), kTitle + " [1%]");
    }
    {
      ProgressWindow window(nullptr, kTitle);
      window.SetRange(0, 0);
      window.SetPosition(0);
      window.SetPosition(5);
      QCOMPARE(window.windowTitle(), kTitle);
    }
  }

  void rangesBeyondSixteenBitsReachTheBarWhole() {
    ProgressWindow window(nullptr, kTitle);
    auto* bar = window.findChild<QProgressBar*>();
    window.SetRange(0, 70000);
    QCOMPARE(bar->maximum(), 70000);
    window.SetPosition(35000);
    QCOMPARE(bar->value(), 35000);
    QCOMPARE(window.windowTitle(), kTitle + " [50%]");
    // position x 100 would not fit 32 bits here.
    window.SetRange(0, 2000000000);
    QCOMPARE(window.SetPosition(1999999999), 35000);
    QCOMPARE(window.windowTitle(), kTitle + " [99%]");
    // Past the end: the bar stays full, the caption tells the truth.
    window.SetRange(0, 100);
    window.SetPosition(150);
    QCOMPARE(bar->value(), 100);
    QCOMPARE(window.windowTitle(), kTitle + " [150%]");
  }

  void cancelClickedDuringThePumpIsSeenWhenItReturns() {
    ProgressWindow window(nullptr, kTitle);
    QueueClick(window.findChild<QPushButton*>(QStringLiteral("progressCancel")));
    QVERIFY(!window.cancelRequested);
    QVERIFY(PumpWaitingMessages());
    QVERIFY(window.cancelRequested);
    QVERIFY(window.isVisible());
  }

  void ownerTakesNoClicksWhileTheWindowIsUp() {
    QWidget owner;
    auto* finish = new QPushButton(QStringLiteral("Finish"), &owner);
    (new QVBoxLayout(&owner))->addWidget(finish);
    owner.resize(300, 200);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QSignalSpy finishes(finish, &QPushButton::clicked);
    const auto clickFinish = [&] {
      QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {},
                        finish->mapTo(&owner, finish->rect().center()));
    };
    clickFinish();
    QCOMPARE(finishes.count(), 1);  // the click itself works

    {
      ProgressWindow window(&owner, kTitle);
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      clickFinish();
      PumpWaitingMessages();
      QCOMPARE(finishes.count(), 1);
      auto* cancel = window.findChild<QPushButton*>(QStringLiteral("progressCancel"));
      QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, cancel->geometry().center());
      QVERIFY(window.cancelRequested);
    }
    clickFinish();
    QCOMPARE(finishes.count(), 2);
  }

  void quitRequestEndsThePumpAndIsQueuedAgain() {
    QWidget other;
    other.show();
    QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
    QVERIFY(!PumpWaitingMessages());
    // Held back: the application did not start closing its windows mid-loop.
    QVERIFY(other.isVisible());
    QVERIFY(!PumpWaitingMessages());  // still pending for the next caller
    QuitCounter counter;
    QCoreApplication::sendPostedEvents(qApp, QEvent::Quit);
    QCOMPARE(counter.count, 1);
    QVERIFY(PumpWaitingMessages());
  }

  void runPortsShowMessagesAndBalanceTheWaitCursor() {
    QWidget owner;
    MessageBoxRecorder recorder;
    {
      WizardRunPorts ports(&owner);
      ports.ShowInformation("No MP3s found");
      QCOMPARE(recorder.shown().size(), 1u);
      QCOMPARE(recorder.shown()[0].kind, MessageKind::kInformation);
      QCOMPARE(recorder.shown()[0].caption, ApplicationName());
      QCOMPARE(recorder.shown()[0].text, QStringLiteral("No MP3s found"));

      ports.SetWaitCursor(true);
      ports.SetWaitCursor(true);
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      ports.SetWaitCursor(false);
      ports.SetWaitCursor(false);
      ports.SetWaitCursor(false);  // one too many: ignored
      QCOMPARE(QApplication::overrideCursor(), nullptr);
      ports.SetWaitCursor(true);
      ports.SetWaitCursor(true);
    }
    QCOMPARE(QApplication::overrideCursor(), nullptr);  // the destructor took both away
  }

  void runPortsProgressIsAFocusedWindowThatReportsCancel() {
    QWidget owner;
    owner.show();
    WizardRunPorts ports(&owner);
    ports.SetWaitCursor(true);
    std::unique_ptr<engine::ProgressPort> progress = ports.OpenProgress("Creating Playlist");
    auto* window = owner.findChild<ProgressWindow*>();
    QVERIFY(window && window->isVisible());
    auto* cancel = window->findChild<QPushButton*>(QStringLiteral("progressCancel"));
    QTRY_COMPARE(QApplication::focusWidget(), cancel);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);

    progress->SetRange(0, 4);
    progress->SetPosition(1);
    QCOMPARE(window->windowTitle(), kTitle + " [25%]");
    QVERIFY(!progress->PumpAndCheckCancel());
    QueueClick(cancel);
    QVERIFY(progress->PumpAndCheckCancel());

    progress.reset();
    QCOMPARE(owner.findChild<ProgressWindow*>(), nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ports.SetWaitCursor(false);
  }
};

}  // namespace sorvina::ui

QTEST_MAIN(sorvina::ui::ProgressWindowTest)
#include "progress_window_test.moc"
