// The wizard as a whole: page order, titles, buttons per page, Help, Finish and Cancel.
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "tests/ui/ui_test_support.h"
#include "tests/ui/wizard_fixture.h"
#include "ui/shell/web_page.h"

using sorvina::test::WizardFixture;

class SelectionWizardTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { sorvina::test::QuietOffscreenWarnings(); }
  void cleanup() {
    sorvina::ui::SetUrlOpener({});
    QCOMPARE(sorvina::test::TopLevelWidgetsLeft(), QStringList());
  }

  void titleBarAndHeaderFollowThePageInBothDirections() {
    WizardFixture wizard;
    const QStringList captions = {"Sorvina step 1", "Sorvina step 2", "Sorvina step 3",
                                  "Sorvina step 4"};
    const QStringList headers = {"Select source folders and/or playlists",
                                 "Set what do with mp3 selection", "Set folder weights (optional)",
                                 "Set how many mp3s to select"};
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
    sorvina::ui::SetUrlOpener([&](const QUrl& url) { opened << url; });
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
