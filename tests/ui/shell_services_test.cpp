// SPDX-License-Identifier: GPL-3.0-or-later
// The small services every window of the program relies on: filter lists, the sorted
// list, message box captions, folder results, web addresses and the players plugged in.
#include <QApplication>
#include <QFileInfo>
#include <QLayout>
#include <QTest>
#include <QTimer>

#include "tests/support/temp_dir.h"
#include "tests/ui/widget_test_case.h"
#include "ui/shell/application_name.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/shell/removable_volumes.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/shell/web_page.h"

using namespace sorvina::ui;

class ShellServicesTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // The texts as written, whatever language the machine running the tests has.
    qputenv("LC_ALL", "C");
    QCOMPARE(SetUpApplication(), QString("en"));
  }

  void filterListsBecomeNameFiltersThatShowEveryFileForStarDotStar() {
    QCOMPARE(ToNameFilters("Settings Files (*.txt)|*.txt|All Files (*.*)|*.*||"),
             QStringList({"Settings Files (*.txt)", "All Files (*)"}));
    QCOMPARE(ToNameFilters("Lists|*.m3u;*.m3u8||"), QStringList({"Lists (*.m3u *.m3u8)"}));
    QCOMPARE(ToNameFilters(""), QStringList());
  }

  void sortedListInsertsIgnoringCaseAndReturnsTheIndex() {
    SortedListBox list;
    QCOMPARE(list.InsertSorted("C:\\b\\"), 0);
    QCOMPARE(list.InsertSorted("C:\\a\\"), 0);
    QCOMPARE(list.InsertSorted("c:\\B\\"), 2);  // equal ignoring case: after the first
    QCOMPARE(list.InsertSorted("10.00 x"), 0);
    QCOMPARE(list.InsertSorted("2.00 x"), 1);
    QCOMPARE(list.InsertSorted("0.50 x"), 0);
    QCOMPARE(list.Texts(),
             QStringList({"0.50 x", "10.00 x", "2.00 x", "C:\\a\\", "C:\\b\\", "c:\\B\\"}));
    list.SelectRow(2);
    QCOMPARE(list.SelectedRow(), 2);
    list.SelectRow(-1);
    QCOMPARE(list.SelectedRow(), -1);
  }

  void messageBoxesCarryTheDisplayNameAndOnlyYesCounts() {
    const QString expected = "Sorvina";
    QCOMPARE(ApplicationName(), expected);
    QVERIFY(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() != expected);
    MessageBoxRecorder recorder;
    recorder.QueueAnswer(true);
    ShowInformation(nullptr, "one");
    ShowPlainMessage(nullptr, "two");
    QVERIFY(AskYesNo(nullptr, "three?"));
    QVERIFY(!AskYesNo(nullptr, "four?"));  // nothing queued: No
    QCOMPARE(recorder.texts(), QStringList({"one", "two", "three?", "four?"}));
    QCOMPARE(recorder.shown()[0].kind, MessageKind::kInformation);
    QCOMPARE(recorder.shown()[1].kind, MessageKind::kPlain);
    QCOMPARE(recorder.shown()[2].kind, MessageKind::kYesNo);
    for (const ShownMessage& message : recorder.shown())
      QCOMPARE(message.caption, expected);
  }

  // A display name set on the application would be added to every window title by the
  // desktop ("Sorvina step 1 — Sorvina"); message boxes name the program themselves.
  void windowTitlesAreTheirOwnTextAlone() {
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  }

  void aShortMessageIsWideEnoughForItsWholeCaption() {
    QString caption;
    int width = 0;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      QVERIFY(box);
      caption = box->windowTitle();
      width = box->layout()->minimumSize().width();
      box->close();
    });
    ShowInformation(nullptr, "Invalid entry");
    QCOMPARE(caption, QString("Sorvina"));
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // The box's own room, whatever its text: the caption and the title bar's buttons.
    QVERIFY(width >= metrics.horizontalAdvance(caption) + 8 * metrics.height());
  }

  void chosenFoldersEndInExactlyOneSeparator() {
    FileDialogRecorder recorder;
    recorder.QueuePath("/music/rock");
    recorder.QueuePath("/music/pop//");
    recorder.QueuePath("/");
    recorder.QueuePath("");
    QCOMPARE(ChooseFolder(), std::optional<QString>("/music/rock/"));
    QCOMPARE(ChooseFolder(), std::optional<QString>("/music/pop/"));
    QCOMPARE(ChooseFolder(), std::optional<QString>("/"));
    QCOMPARE(ChooseFolder(), std::nullopt);
    QCOMPARE(recorder.requests().size(), 4u);
    QCOMPARE(recorder.requests()[0].kind, FileDialogKind::kFolder);
  }

  void webPagesLieOnTheConfiguredSiteAndWithoutABrowserTheAddressIsShown() {
    QList<QUrl> opened;
    bool browser = true;
    SetUrlOpener([&](const QUrl& url) {
      opened << url;
      return browser;
    });
    MessageBoxRecorder messages;
    OpenHelpPage();
    OpenWebPage(kDonationPagePath);
    QVERIFY(messages.shown().empty());
    browser = false;
    OpenHelpPage();
    SetUrlOpener({});
    QCOMPARE(opened, QList<QUrl>({QUrl(WebsiteAddress() + "/sorvina/index.html"),
                                  QUrl(WebsiteAddress() + "/sorvina/donate.html"),
                                  QUrl(WebsiteAddress() + "/sorvina/index.html")}));
    QVERIFY(opened[0].isValid());
    QVERIFY(opened[0].scheme().startsWith("http"));
    QCOMPARE(messages.texts(), QStringList("No web browser could be started.\nThe page is at:\n" +
                                           WebsiteAddress() + "/sorvina/index.html"));
  }

  void aPlayerIsFilledInItsMusicFolderOrAtItsRoot() {
    sorvina::test::TempDir withMusic;
    withMusic.MakeFolder("MUSIC");
    withMusic.MakeFolder("Podcasts");
    sorvina::test::TempDir without;
    without.WriteFile("Music");  // a file, not a folder
    QCOMPARE(DestinationOnVolume({"PLAYER", QString::fromStdString(withMusic.path()), 0, 0}),
             QString::fromStdString(withMusic / "MUSIC/"));
    QCOMPARE(DestinationOnVolume({"STICK", QString::fromStdString(without.path()) + "/", 0, 0}),
             QString::fromStdString(without.path()) + "/");

    // The list is read afresh, or taken from the seam while there is one.
    for (const RemovableVolume& volume : RemovableVolumes())
      QVERIFY2(!volume.rootPath.isEmpty() && volume.rootPath != "/", qPrintable(volume.rootPath));
    FakeVolumeList fake;
    fake.volumes = {{"PLAYER", "/media/alex/PLAYER", 8'000'000'000, 1'000'000'000}};
    QCOMPARE(RemovableVolumes().size(), 1u);
    QCOMPARE(RemovableVolumes()[0].name, QString("PLAYER"));
  }
};

QTEST_MAIN(ShellServicesTest)
#include "shell_services_test.moc"
