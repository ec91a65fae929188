// SPDX-License-Identifier: GPL-3.0-or-later
// The wizard as a whole: page order, titles, buttons per page, Help, Finish and Cancel.
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "tests/ui/ui_test_support.h"
#include "tests/ui/widget_test_case.h"
#include "tests/ui/wizard_fixture.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/shell/web_page.h"
#include "ui/wizard/last_state.h"

using sorvina::test::WizardFixture;

class SelectionWizardTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private:
  void TidyUp() override { sorvina::ui::SetUrlOpener({}); }

 private slots:
  void initTestCase() { sorvina::test::QuietOffscreenWarnings(); }

  void titleBarAndHeaderFollowThePageInBothDirections() {
    WizardFixture wizard;
    const QStringList captions = {"Sorvina step 1", "Sorvina step 2", "Sorvina step 3",
                                  "Sorvina step 4"};
    const QStringList headers = {"Select source folders and/or playlists",
                                 "Set what to do with the mp3 selection",
                                 "Set folder weights (optional)", "Set how many mp3s to select"};
    for (int page = 0; page < 4; ++page) {
      QCOMPARE(wizard.window->currentId(), page);
      QCOMPARE(wizard.window->windowTitle(), captions[page]);
      QCOMPARE(wizard.window->currentPage()->title(), headers[page]);
      QVERIFY(wizard.window->currentPage()->subTitle().trimmed().isEmpty());
      if (page < 3) wizard.Next();
    }
    wizard.Back();
    wizard.Back();
    QCOMPARE(wizard.window->windowTitle(), captions[1]);
    QVERIFY(wizard.messages.shown().empty());
  }

  void eachPageEnablesItsOwnButtons() {
    WizardFixture wizard;
    auto enabled = [&](QWizard::WizardButton which) {
      return wizard.Button(which)->isVisible() && wizard.Button(which)->isEnabled();
    };
    QVERIFY(!enabled(QWizard::BackButton));
    QVERIFY(enabled(QWizard::NextButton));
    QVERIFY(!enabled(QWizard::FinishButton));
    wizard.Next();
    QVERIFY(enabled(QWizard::BackButton) && enabled(QWizard::NextButton));
    QVERIFY(!enabled(QWizard::FinishButton));
    wizard.Next();
    wizard.Next();
    QVERIFY(enabled(QWizard::BackButton) && enabled(QWizard::FinishButton));
    QVERIFY(!enabled(QWizard::NextButton));
    QVERIFY(enabled(QWizard::HelpButton) && enabled(QWizard::CancelButton));
  }

  void helpOpensTheSameAddressOnEveryPageAndDonationItsOwn() {
    WizardFixture wizard;
    QList<QUrl> opened;
    sorvina::ui::SetUrlOpener([&](const QUrl& url) {
      opened << url;
      return true;
    });
    for (int page = 0; page < 4; ++page) {
      wizard.Click(QWizard::HelpButton);
      QCOMPARE(wizard.window->currentId(), page);
      if (page < 3) wizard.Next();
    }
    QCOMPARE(opened.size(), 4);
    for (const QUrl& url : opened)
      QCOMPARE(url.toString(), sorvina::ui::WebsiteAddress() + "/sorvina/index.html");

    wizard.ClickControl("donationButton");
    QCOMPARE(opened.size(), 5);
    QCOMPARE(opened.last().toString(), sorvina::ui::WebsiteAddress() + "/sorvina/donate.html");
    QCOMPARE(wizard.window->currentId(), 3);
  }

  void finishWithNothingToDoReportsItAndStaysOpenOnTheLastPage() {
    WizardFixture wizard;
    QSignalSpy finished(wizard.window.get(), &QDialog::finished);
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    wizard.Finish();
    wizard.Finish();
    QVERIFY(wizard.window->isVisible());
    QCOMPARE(wizard.window->currentId(), 3);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(wizard.messages.texts(),
             QStringList(2, "Please select at least one source folder or play list"));
  }

  void theLastStateIsKeptOnFinishAndCloseAndComesBack() {
    QTemporaryDir config;
    const QString path = config.path() + "/not/yet/last.txt";
    {
      WizardFixture wizard;
      sorvina::ui::KeepLastState(*wizard.window, path);
      wizard.dialogs.QueuePath("/music/rock");
      wizard.ClickControl("addFolder");
      wizard.ClickControl("fileType-flac");
      wizard.Next();
      wizard.ClickControl("createPlaylist");  // no playlist named yet
      wizard.ClickControl("relativePaths");
      wizard.settings.weightEntries = {"2.50 /music/rock/"};
      wizard.Next();
      wizard.Next();
      wizard.Next();
      QTest::keyClicks(wizard.Find<QLineEdit>("megabyteField"), "650");
      QTest::keyClicks(wizard.Find<QLineEdit>("hoursField"), "2");
      wizard.ClickControl("avoidLast");
      wizard.Finish();  // refused for want of a playlist, and still kept
      QVERIFY(QFileInfo::exists(path));
      wizard.Find<QLineEdit>("hoursField")->setText("3");
      wizard.Click(QWizard::CancelButton);
    }
    QFile kept(path);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("1\r\n/music/rock/\r\n\r\n1\r\n2.50 /music/rock/\r\n1 3\r\n"
                                        "avoid-last=2\r\nrelative=1\r\ntypes=mp3,flac\r\n"
                                        "copy=0\r\nmb=650\r\nhours=3\r\n"));

    WizardFixture wizard;
    sorvina::ui::RestoreLastState(*wizard.window, path);
    QCOMPARE(wizard.Find<sorvina::ui::SortedListBox>("sourceList")->Texts(),
             QStringList("/music/rock/"));
    QVERIFY(wizard.Find<QCheckBox>("fileType-flac")->isChecked());
    wizard.Next();
    QVERIFY(wizard.Find<QRadioButton>("createPlaylist")->isChecked());
    QVERIFY(wizard.Find<QCheckBox>("relativePaths")->isChecked());
    wizard.Next();
    QCOMPARE(wizard.Find<sorvina::ui::SortedListBox>("weightList")->Texts(),
             QStringList("2.50 /music/rock/"));
    wizard.Next();
    QVERIFY(wizard.Find<QRadioButton>("hoursButton")->isChecked());
    QCOMPARE(wizard.Find<QLineEdit>("hoursField")->text(), QString("3"));
    QCOMPARE(wizard.Find<QLineEdit>("megabyteField")->text(), QString("650"));
    QVERIFY(wizard.Find<QCheckBox>("avoidLast")->isChecked());

    // Nothing kept: the wizard starts empty.
    WizardFixture fresh;
    sorvina::ui::RestoreLastState(*fresh.window, config.path() + "/missing.txt");
    QCOMPARE(fresh.Find<sorvina::ui::SortedListBox>("sourceList")->count(), 0);
  }

  void aWizardStartedEmptyKeepsTheStateOnlyOnceFinished() {
    QTemporaryDir config;
    const QString path = config.filePath("last.txt");
    QFile kept(path);
    QVERIFY(kept.open(QIODevice::WriteOnly));
    kept.write("1\r\n/music/\r\n\r\n1\r\n\r\n0 5\r\n");
    kept.close();
    const auto contents = [&] {
      QFile file(path);
      return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = contents();
    {
      WizardFixture wizard;
      sorvina::ui::KeepLastState(*wizard.window, path, true);
      wizard.Next();
      wizard.Click(QWizard::CancelButton);
    }
    QCOMPARE(contents(), before);
    WizardFixture wizard;
    sorvina::ui::KeepLastState(*wizard.window, path, true);
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    wizard.Finish();
    QVERIFY(contents() != before);
  }

  void aStateThatCannotBeKeptIsReportedOnce() {
    QTemporaryDir config;
    QFile(config.filePath("file")).open(QIODevice::WriteOnly);
    WizardFixture wizard;
    sorvina::ui::KeepLastState(*wizard.window, config.filePath("file/last.txt"));
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    wizard.Finish();
    wizard.Finish();
    const QStringList texts = wizard.messages.texts();
    QCOMPARE(texts.filter("could not be kept").size(), 1);
    QVERIFY(texts.last().startsWith("Please select"));
  }

  void theWindowCanBeMadeLargerAndItsListsGrowWithIt_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("list");
    QTest::newRow("sources") << 0 << "sourceList";
    QTest::newRow("weights") << 2 << "weightList";
  }
  void theWindowCanBeMadeLargerAndItsListsGrowWithIt() {
    QFETCH(int, page);
    QFETCH(QString, list);
    WizardFixture wizard;
    for (int i = 0; i < page; ++i)
      wizard.Next();
    auto* shown = wizard.Find<QWidget>(qPrintable(list));
    const QSize before = shown->size();
    wizard.window->resize(wizard.window->size() + QSize(200, 150));
    QTRY_VERIFY(shown->width() >= before.width() + 200 && shown->height() >= before.height() + 150);
  }

  void theWindowKeepsItsSizeFromPageToPage() {
    QTemporaryDir folder;
    sorvina::engine::SettingsText given;
    given.destination = folder.path().toStdString() + "/";
    given.options.convert = "auto:opus";
    WizardFixture wizard(given);
    const QSize size = wizard.window->size();
    for (int page = 1; page < 4; ++page) {
      wizard.Next();
      QCOMPARE(wizard.window->currentId(), page);
      QCOMPARE(wizard.window->size(), size);
    }
    wizard.Back();
    QCOMPARE(wizard.window->size(), size);
  }

  void cancelEndsTheWizardFromAnyPage() {
    for (int page = 0; page < 4; ++page) {
      WizardFixture wizard;
      QSignalSpy finished(wizard.window.get(), &QDialog::finished);
      for (int i = 0; i < page; ++i)
        wizard.Next();
      wizard.Click(QWizard::CancelButton);
      QCOMPARE(finished.count(), 1);
      QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
      QVERIFY(!wizard.window->isVisible());
    }
  }
};

QTEST_MAIN(SelectionWizardTest)
#include "selection_wizard_test.moc"
