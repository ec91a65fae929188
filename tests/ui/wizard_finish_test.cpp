// SPDX-License-Identifier: GPL-3.0-or-later
// Finish on a real library: the wizard runs the selection, writes a playlist or copies
// the files (asking about a name that exists), and stays open on its last page.
#include <memory>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "engine/report/summary_line.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/ui/ui_test_support.h"
#include "tests/ui/widget_test_case.h"
#include "tests/ui/wizard_fixture.h"
#include "ui/progress/wizard_file_operation.h"

using sorvina::test::WizardFixture;

class WizardFinishTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;

  void TidyUp() override { dir_.reset(); }

  QString Path(const QString& relative) const { return dir_->filePath(relative); }

  void WriteFile(const QString& relative, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(Path(relative)).path());
    QFile file(Path(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
  }

  // Twenty seconds of silence, as an encoder writes it (a Xing frame with a count).
  QByteArray Song() {
    const sorvina::test::FrameFormat format;
    return QByteArray::fromStdString(sorvina::test::XingFrame(format, 766) +
                                     sorvina::test::SilentFrames(format, 2));
  }

  // Goes as a user to the last page of a fill that replaces the previous one: the library
  // (with three more songs) as the one source, the player typed as the destination.
  void ToTheLastPageOfAWeeklyFill(WizardFixture& wizard, bool devicePlaylist) {
    for (const char* name : {"library/d.mp3", "library/e.mp3", "library/f.mp3"})
      WriteFile(name, Song());
    wizard.dialogs.QueuePath(Path("library"));
    wizard.ClickControl("addFolder");
    wizard.Next();
    wizard.Find<QLineEdit>("destinationField")->setText(Path("player"));
    wizard.ClickControl("replacePrevious");
    if (devicePlaylist) wizard.ClickControl("devicePlaylist");
    wizard.Next();
    wizard.Next();
  }

  // Goes through the pages as a user: the library as the one source, the destination
  // typed, "Select all", Finish.
  void RunThrough(WizardFixture& wizard, bool copy, const QString& destination) {
    wizard.dialogs.QueuePath(Path("library"));
    wizard.ClickControl("addFolder");
    wizard.Next();
    wizard.ClickControl(copy ? "copyToFolder" : "createPlaylist");
    wizard.Find<QLineEdit>("destinationField")->setText(destination);
    wizard.Next();
    wizard.Next();
    wizard.ClickControl("allButton");
    wizard.Finish();
  }

 private slots:
  void initTestCase() { sorvina::test::QuietOffscreenWarnings(); }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    for (const char* name : {"library/a.mp3", "library/b.mp3", "library/deeper/c.mp3"})
      WriteFile(name, Song());
    WriteFile("library/notes.txt", "not music");
  }

  void finishWritesThePlaylistAndStaysOnTheLastPage() {
    WizardFixture wizard;
    RunThrough(wizard, false, Path("lists/new/all.m3u"));  // the folders are made
    QVERIFY(wizard.messages.shown().empty());
    QFile playlist(Path("lists/new/all.m3u"));
    QVERIFY(playlist.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = playlist.readAll().split('\n');
    QCOMPARE(lines.size(), 8);  // header, three entries of two lines, the empty end
    QCOMPARE(lines[0], QByteArray("#EXTM3U\r"));
    for (int entry = 0; entry < 3; ++entry) {
      QVERIFY(lines[1 + 2 * entry].startsWith("#EXTINF:20,"));
      QVERIFY(lines[2 + 2 * entry].startsWith(Path("library/").toUtf8()));
    }
    QVERIFY(wizard.window->isVisible());
    QCOMPARE(wizard.window->currentId(), 3);
    QVERIFY(wizard.Button(QWizard::FinishButton)->isEnabled());
  }

  void aLongSummaryWrapsOntoMoreLinesWhole() {
    WizardFixture wizard;
    const QString playlist = Path(
        "lists/the evening playlists of the whole family/of this week/"
        "with the songs everyone likes/all.m3u");
    RunThrough(wizard, false, playlist);
    auto* summary = wizard.Find<QLabel>("summaryLine");
    QVERIFY(summary->text().endsWith(playlist));
    QCOMPARE(summary->text(), summary->toolTip());
    QVERIFY(summary->fontMetrics().horizontalAdvance(summary->text()) > summary->width());
    wizard.Settle();
    QVERIFY(summary->height() >= 2 * summary->fontMetrics().lineSpacing());
  }

  void finishCopiesAndAsksAboutANameThatExists() {
    WriteFile("player/a.mp3", "the user's own file");
    WizardFixture wizard;
    sorvina::ui::ConflictQuestionRecorder conflicts;
    conflicts.QueueAnswer({sorvina::transfer::ConflictAction::kKeepBoth, false});
    RunThrough(wizard, true, Path("player"));
    QVERIFY(wizard.messages.shown().empty());
    QCOMPARE(conflicts.asked().size(), 1u);
    QCOMPARE(QDir(Path("player")).entryList(QDir::Files),
             QStringList({"a (2).mp3", "a.mp3", "b.mp3", "c.mp3"}));
    QFile own(Path("player/a.mp3"));
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("the user's own file"));
    QCOMPARE(wizard.window->currentId(), 3);

    // A second Finish makes another selection in the same session.
    conflicts.QueueAnswer({sorvina::transfer::ConflictAction::kSkip, true});
    wizard.Finish();
    QCOMPARE(conflicts.asked().size(), 2u);  // "for all remaining" asks once
    QCOMPARE(QDir(Path("player")).entryList(QDir::Files).size(), 4);
  }

  void fillingTheFreeSpaceKeepsFoldersAndSaysWhatWasDone() {
    WizardFixture wizard;
    wizard.dialogs.QueuePath(Path("library"));
    wizard.ClickControl("addFolder");
    wizard.Next();
    wizard.ClickControl("createPlaylist");
    QVERIFY(!wizard.Find<QCheckBox>("keepFolders")->isEnabled());  // a copy's choice only
    wizard.ClickControl("copyToFolder");
    wizard.ClickControl("keepFolders");
    wizard.Find<QLineEdit>("destinationField")->setText(Path("player"));
    wizard.Next();
    QVERIFY(wizard.settings.options.keepFolders);
    wizard.Next();
    QVERIFY(wizard.Find<QPushButton>("freeSpaceButton")->isEnabled());
    wizard.ClickControl("allButton");
    wizard.ClickControl("freeSpaceButton");
    QVERIFY(wizard.Find<QRadioButton>("megabyteButton")->isChecked());
    QCOMPARE(wizard.Find<QLineEdit>("megabyteField")->text(), QString("free"));
    wizard.ClickControl("keepFilling");
    QVERIFY(wizard.settings.options.fill);
    wizard.Finish();

    QVERIFY(wizard.messages.shown().empty());
    QCOMPARE(QDir(Path("player")).entryList(QDir::Files), QStringList({"a.mp3", "b.mp3"}));
    QCOMPARE(QDir(Path("player/deeper")).entryList(QDir::Files), QStringList({"c.mp3"}));
    const QString size = QString::fromStdString(
        sorvina::text::English(sorvina::engine::SizeText(3 * Song().size())));
    QCOMPARE(wizard.Find<QLabel>("summaryLine")->toolTip(),
             "Copied 3 files (" + size + ") to " + Path("player"));
    QVERIFY(wizard.Find<QLabel>("summaryLine")->isVisible());

    // Back on the destination page a playlist leaves no free space to fill.
    wizard.Back();
    wizard.Back();
    wizard.ClickControl("createPlaylist");
    wizard.Find<QLineEdit>("destinationField")->setText(Path("lists/all.m3u"));
    wizard.Next();
    wizard.Next();
    QVERIFY(!wizard.Find<QPushButton>("freeSpaceButton")->isEnabled());
    QVERIFY(wizard.Find<QLabel>("summaryLine")->text().isEmpty());
    QVERIFY(wizard.Find<QCheckBox>("keepFilling")->isChecked());
  }

  void aSecondFinishReplacesTheFirstFillWithSongsItDidNotChoose() {
    WriteFile("player/mine.mp3", "the user's own file");
    WizardFixture wizard;
    ToTheLastPageOfAWeeklyFill(wizard, true);
    // Room for three of the six songs, and none of the last fill's twice.
    const qint64 song = Song().size();
    wizard.Find<QLineEdit>("megabyteField")
        ->setText(QString::number((3 * song + 1) / 1048576.0, 'f', 9));
    wizard.ClickControl("avoidLast");
    wizard.Find<QLineEdit>("avoidLastCount")->setText("1");

    QStringList fills[2];
    const QString copied =
        "Copied 3 files (" +
        QString::fromStdString(sorvina::text::English(sorvina::engine::SizeText(3 * song))) +
        ") to " + Path("player");
    for (int fill = 0; fill < 2; ++fill) {
      wizard.Finish();
      // The user's file makes the player one that holds files and no record of a fill:
      // the first fill says so, the second one says nothing.
      QCOMPARE(wizard.messages.texts(),
               QStringList{"This player has no record of an earlier fill"});
      fills[fill] = QDir(Path("player")).entryList({"?.mp3"}, QDir::Files);  // not mine.mp3
      QCOMPARE(wizard.Find<QLabel>("summaryLine")->toolTip(),
               copied + (fill == 0 ? ", no earlier fill to replace" : ", 3 replaced"));
    }
    QCOMPARE(fills[0].size(), 3);
    QCOMPARE(fills[1].size(), 3);
    for (const QString& name : fills[1])
      QVERIFY2(!fills[0].contains(name), qPrintable(name));
    QFile own(Path("player/mine.mp3"));
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("the user's own file"));
    QFile playlist(Path("player/Sorvina.m3u8"));
    QVERIFY(playlist.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = playlist.readAll().split('\n');
    QCOMPARE(lines.size(), 8);
    for (int entry = 0; entry < 3; ++entry)
      QVERIFY(QFile::exists(Path("player/" + QString::fromUtf8(lines[2 + 2 * entry].trimmed()))));
  }

  void aPlayerFilledByHandIsTakenForTheLastFillOnceTheUserAgrees() {
    // The first week: the user copied two of the songs by hand, and their own file.
    WriteFile("player/d.mp3", Song());
    WriteFile("player/e.mp3", Song());
    WriteFile("player/mine.mp3", "the user's own file");
    WizardFixture wizard;
    ToTheLastPageOfAWeeklyFill(wizard, false);
    wizard.ClickControl("allButton");
    wizard.messages.QueueAnswer(true);
    wizard.Finish();
    QCOMPARE(wizard.messages.shown().size(), 1u);
    QCOMPARE(wizard.messages.shown()[0].kind, sorvina::ui::MessageKind::kYesNo);
    QVERIFY2(wizard.messages.texts()[0].contains("2 files (0.00"),
             qPrintable(wizard.messages.texts()[0]));
    // Both copies were chosen again: they stay where they are, taken for the fill's own.
    QVERIFY2(wizard.Find<QLabel>("summaryLine")->toolTip().endsWith(", 0 replaced, 2 kept"),
             qPrintable(wizard.Find<QLabel>("summaryLine")->toolTip()));
    QCOMPARE(QDir(Path("player")).entryList({"*.mp3"}, QDir::Files),
             QStringList({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3", "mine.mp3"}));
  }

  void badInputAtFinishIsReportedAndNothingIsWritten() {
    WizardFixture wizard;
    RunThrough(wizard, false, Path("lists/no-extension"));
    wizard.Back();
    wizard.Back();
    QVERIFY(wizard.Find<QRadioButton>("copyToFolder")->isChecked());  // from the destination
    wizard.ClickControl("createPlaylist");
    wizard.Find<QLineEdit>("destinationField")->setText(Path("lists/fine.m3u"));
    wizard.Next();
    wizard.Next();
    wizard.ClickControl("megabyteButton");
    wizard.Find<QLineEdit>("megabyteField")->setText("zero");
    wizard.Finish();
    QCOMPARE(wizard.messages.texts(), QStringList({"Please select a play list file",
                                                   "Please enter a number of MB to select"}));
    QVERIFY(!QFile::exists(Path("lists/fine.m3u")));
    QCOMPARE(wizard.window->currentId(), 3);
  }
};

QTEST_MAIN(WizardFinishTest)
#include "wizard_finish_test.moc"
