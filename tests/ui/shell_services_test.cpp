// The small services every window of the program relies on: filter lists, the sorted
// list, message box captions, folder results and web addresses.
#include <QApplication>
#include <QFileInfo>
#include <QTest>

#include "tests/ui/ui_test_support.h"
#include "ui/shell/application_name.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/shell/web_page.h"

using namespace sorvina::ui;

class ShellServicesTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QCOMPARE(sorvina::test::TopLevelWidgetsLeft(), QStringList()); }

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

  void messageBoxesCarryTheExecutableNameAndOnlyYesCounts() {
    const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QCOMPARE(ApplicationName(), expected);
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

  void webPagesLieOnTheConfiguredSite() {
    QList<QUrl> opened;
    SetUrlOpener([&](const QUrl& url) { opened << url; });
    OpenHelpPage();
    OpenWebPage(kDonationPagePath);
    SetUrlOpener({});
    QCOMPARE(opened, QList<QUrl>({QUrl(WebsiteAddress() + "/sorvina/index.html"),
                                  QUrl(WebsiteAddress() + "/sorvina/donate.html")}));
    QVERIFY(opened[0].isValid());
    QVERIFY(opened[0].scheme().startsWith("http"));
  }
};

QTEST_MAIN(ShellServicesTest)
#include "shell_services_test.moc"
