// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress/wizard_file_operation.h"

#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/support/temp_dir.h"
#include "tests/ui/widget_test_case.h"
#include "transfer/copy_job.h"
#include "ui/progress/copy_progress_dialog.h"
#include "ui/progress/progress_window.h"
#include "ui/progress/wizard_run_ports.h"
#include "ui/shell/application_name.h"
#include "ui/shell/message_box.h"

namespace sorvina::ui {
namespace {

using transfer::ConflictAction;
using transfer::ConflictAnswer;

QStringList NamesIn(const std::string& folder) {
  QStringList names;
  for (const std::string& name : test::NamesIn(folder))
    names << QString::fromStdString(name);
  return names;
}

QString Bytes(const std::string& path) {
  return QString::fromStdString(test::ReadBytes(path));
}

struct CopyOutcome {
  bool started = false;
  transfer::OperationOutcome result = transfer::OperationOutcome::kInvalid;
  bool aborted = false;
};

// Copies `sources` into `destination` as the wizard does, with `ui` as the owner.
CopyOutcome Copy(transfer::FileOperationUi& ui, const std::vector<std::string>& sources,
                 const std::string& destination,
                 transfer::CopyJob::Operation operation = transfer::PerformFileOperation) {
  transfer::CopyJob job(std::move(operation));
  job.Setup(&ui, transfer::DestinationLayout::kOneFolderForAll);
  job.AddDestination(destination);
  for (const std::string& source : sources)
    job.AddSource(source);
  CopyOutcome outcome;
  job.Run(&outcome.started, &outcome.result, &outcome.aborted);
  return outcome;
}

// Clicks the copy dialog's Cancel, as a user would, once the copy has reported
// `progressCalls` times; the click waits for the events to be let through.
class CancelOnCall : public WizardFileOperation {
 public:
  CancelOnCall(QWidget* owner, int progressCalls)
      : WizardFileOperation(owner), owner_(owner), cancelAt_(progressCalls) {}

  bool Progress(const transfer::FileProgress& progress) override {
    if (++calls_ == cancelAt_) {
      auto* cancel = owner_->findChild<QPushButton*>(QStringLiteral("copyCancel"));
      if (cancel != nullptr) {
        QMetaObject::invokeMethod(cancel, &QPushButton::click, Qt::QueuedConnection);
      }
    }
    return WizardFileOperation::Progress(progress);
  }

 private:
  QWidget* owner_;
  int cancelAt_;
  int calls_ = 0;
};

}  // namespace

class WizardFileOperationTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private slots:
  void conflictsAreAnsweredAndTheFilesOnDiskFollow() {
    const test::TempDir temp;
    std::vector<std::string> sources;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
      sources.push_back(temp.WriteFile(std::string("src/") + name, std::string("new ") + name));
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
      temp.WriteFile(std::string("dst/") + name, std::string("old ") + name);
    const std::string destination = temp / "dst";

    QWidget owner;
    ConflictQuestionRecorder questions;
    questions.QueueAnswer({ConflictAction::kReplace, false});
    questions.QueueAnswer({ConflictAction::kKeepBoth, false});
    questions.QueueAnswer({ConflictAction::kSkip, false});
    WizardFileOperation ui(&owner);
    const CopyOutcome outcome = Copy(ui, sources, destination);
    QVERIFY(outcome.started);
    QCOMPARE(outcome.result, transfer::OperationOutcome::kSucceeded);
    QVERIFY(outcome.aborted);  // a file was skipped

    QCOMPARE(questions.asked().size(), 3u);
    QCOMPARE(questions.asked()[1].target, QString::fromStdString(destination + "/b.mp3"));
    QCOMPARE(NamesIn(destination), (QStringList{"a.mp3", "b (2).mp3", "b.mp3", "c.mp3", "d.mp3"}));
    QCOMPARE(Bytes(destination + "/a.mp3"), QStringLiteral("new a.mp3"));
    QCOMPARE(Bytes(destination + "/b.mp3"), QStringLiteral("old b.mp3"));
    QCOMPARE(Bytes(destination + "/b (2).mp3"), QStringLiteral("new b.mp3"));
    QCOMPARE(Bytes(destination + "/c.mp3"), QStringLiteral("old c.mp3"));
    QCOMPARE(Bytes(destination + "/d.mp3"), QStringLiteral("new d.mp3"));

    // The dialog followed the copy to its end, and blocks the wizard meanwhile.
    auto* dialog = owner.findChild<CopyProgressDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), dialog);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("copyCount"))->text(),
             QStringLiteral("Copying file 4 of 4"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("copyName"))->text(),
             QStringLiteral("d.mp3"));
    auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("copyBar"));
    QCOMPARE(bar->value(), bar->maximum());
  }

  void cancelInTheDialogStopsTheCopyWithoutAPartialFile() {
    const test::TempDir temp;
    const std::vector<std::string> sources = {
        temp.WriteFile("src/small.mp3", "small"),
        temp.WriteFile("src/large.mp3", std::string(1 << 20, 'x')),
        temp.WriteFile("src/after.mp3", "after")};
    const std::string destination = temp / "dst";
    QWidget owner;
    // Calls: before small (1), after its only chunk (2), before large (3), after its
    // first 64 KiB (4): the click is seen in the middle of the large file.
    CancelOnCall ui(&owner, 4);
    const CopyOutcome outcome = Copy(ui, sources, destination, [](const auto& request) {
      return transfer::PerformFileOperationWith(request, {64 * 1024, false});
    });
    QCOMPARE(outcome.result, transfer::OperationOutcome::kCancelled);
    QVERIFY(outcome.aborted);
    QCOMPARE(NamesIn(destination), QStringList{"small.mp3"});
    QVERIFY(owner.findChild<CopyProgressDialog*>()->cancelRequested());
  }

  void errorsAskWhetherToGoOn() {
    const test::TempDir temp;
    const std::vector<std::string> sources = {temp / "missing1.mp3", temp / "missing2.mp3",
                                              temp.WriteFile("src/good.mp3", "good")};
    const std::string destination = temp / "dst";
    QWidget owner;
    MessageBoxRecorder messages;
    messages.QueueAnswer(true);  // go on after the first; No (nothing queued) after the second
    WizardFileOperation ui(&owner);
    const CopyOutcome outcome = Copy(ui, sources, destination);
    QCOMPARE(outcome.result, transfer::OperationOutcome::kFailed);
    QVERIFY(outcome.aborted);
    QCOMPARE(NamesIn(destination), QStringList());

    QCOMPARE(messages.shown().size(), 2u);
    QCOMPARE(messages.shown()[0].kind, MessageKind::kYesNo);
    QCOMPARE(messages.shown()[0].caption, ApplicationName());
    QCOMPARE(messages.shown()[1].text,
             QStringLiteral("Can't copy \"%1\": No such file or directory\n\n"
                            "Continue with the remaining files?")
                 .arg(QString::fromStdString(sources[1])));
  }

  void conflictQuestionGivesBothFilesAndSaysWhenTheyAreTheSame_data() {
    QTest::addColumn<QByteArray>("source");  // null: a file the run writes itself
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<QStringList>("lines");  // the lines' beginnings, in order
    QTest::newRow("different") << QByteArray("new song") << QByteArray("old")
                               << QStringList{"Copying: SOURCE (8 bytes, changed ",
                                              "Existing file: TARGET (3 bytes, changed "};
    QTest::newRow("identical") << QByteArray("same") << QByteArray("same")
                               << QStringList{"Copying: SOURCE (4 bytes, changed ",
                                              "Existing file: TARGET (4 bytes, changed ", "",
                                              "The two files are identical."};
    QTest::newRow("written by the run") << QByteArray() << QByteArray("#EXTM3U")
                                        << QStringList{"Existing file: TARGET (7 bytes, changed "};
  }
  void conflictQuestionGivesBothFilesAndSaysWhenTheyAreTheSame() {
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, existing);
    QFETCH(QStringList, lines);
    const test::TempDir temp;
    const QString target =
        QString::fromStdString(temp.WriteFile("dst/x.mp3", existing.toStdString()));
    const QString from =
        source.isNull() ? QString()
                        : QString::fromStdString(temp.WriteFile("src/x.mp3", source.toStdString()));
    QString facts;
    QTimer::singleShot(0, [&facts] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      facts = box->informativeText();
      box->findChild<QPushButton*>(QStringLiteral("conflictSkip"))->click();
    });
    QWidget owner;
    AskNameConflict(&owner, from, target);
    const QStringList shown = facts.split('\n');
    QCOMPARE(shown.size(), lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
      QString expected = lines[i];
      expected.replace("SOURCE", from).replace("TARGET", target);
      QVERIFY2(shown[i].startsWith(expected), qPrintable(shown[i]));
    }
  }

  void aStepAfterTheCopyShowsItsProgressInTheCopysWindow() {
    QWidget owner;
    owner.show();
    WizardFileOperation copy(&owner);
    WizardRunPorts ports(&owner, &copy);
    // Before the copy shows its window, a step has a window of its own.
    std::unique_ptr<engine::ProgressPort> alone = ports.OpenProgress("Creating Playlist");
    QVERIFY(owner.findChild<ProgressWindow*>());
    alone.reset();

    QVERIFY(copy.Progress({0, 1, "/music/a.mp3", 0, 10}));
    std::unique_ptr<engine::ProgressPort> step = ports.OpenProgress("Creating Playlist");
    QCOMPARE(owner.findChild<ProgressWindow*>(), nullptr);
    auto* dialog = owner.findChild<CopyProgressDialog*>();
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("copyCount"))->text(),
             QStringLiteral("Creating Playlist"));
    step->SetRange(0, 4);
    step->SetPosition(3);
    QCOMPARE(dialog->findChild<QProgressBar*>(QStringLiteral("copyBar"))->value(), 3);
    QVERIFY(!step->PumpAndCheckCancel());
    step.reset();
    QVERIFY(dialog->isVisible());  // the copy's to close
  }

  void conflictQuestionOffersEveryAnswer() {
    QWidget owner;
    QStringList buttons;
    QString caption;
    QString text;
    // Ticks "for all remaining" and picks Keep both, as a user would.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      caption = box->windowTitle();
      text = box->text();
      for (QAbstractButton* button : box->buttons())
        buttons << button->text();
      box->checkBox()->setChecked(true);
      box->findChild<QPushButton*>(QStringLiteral("conflictKeepBoth"))->click();
    });
    ConflictAnswer answer = AskNameConflict(&owner, "/music/new/x.mp3", "/player/x.mp3");
    QCOMPARE(answer.action, ConflictAction::kKeepBoth);
    QVERIFY(answer.forAllRemaining);
    QCOMPARE(caption, ApplicationName());
    QCOMPARE(text,
             QStringLiteral("A file named \"x.mp3\" already exists in the destination folder."));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"Cancel", "Keep both", "Replace", "Skip"}));

    // Escape never means anything but Cancel.
    QTimer::singleShot(0, [] {
      if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Escape);
    });
    answer = AskNameConflict(&owner, "/music/new/x.mp3", "/player/x.mp3");
    QCOMPARE(answer.action, ConflictAction::kCancel);
    QVERIFY(!answer.forAllRemaining);
  }
};

}  // namespace sorvina::ui

QTEST_MAIN(sorvina::ui::WizardFileOperationTest)
#include "wizard_file_operation_test.moc"
