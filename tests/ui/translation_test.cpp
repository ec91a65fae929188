// SPDX-License-Identifier: GPL-3.0-or-later
// The translations: every text the code marks has a finished translation in each .ts file
// kept, with its placeholders whole, and the compiled one built into the program says the
// same; the language is chosen from the environment as gettext chooses it; and in German
// the wizard, the engine's messages and the numbers in them read German.
#include <algorithm>
#include <map>
#include <set>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QXmlStreamReader>

#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "resources/artwork.h"
#include "tests/ui/ui_test_support.h"
#include "tests/ui/widget_test_case.h"
#include "tests/ui/wizard_fixture.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/shell/translated_text.h"
#include "ui/shell/translations.h"
#include "ui/wizard/weight_dialog.h"

using sorvina::test::WizardFixture;

namespace {

struct Message {
  QString context;
  QString source;
  QString type;              // "", "unfinished", "vanished", "obsolete"
  QStringList translations;  // one, or one per plural form
};

// The texts of the buttons, check boxes and radio buttons in `page` that are wider than
// their control, so that the user sees them cut short. A push button's text may use its
// padding up to a few pixels from its frame.
QStringList TextsCutShort(QWidget& page) {
  QStringList cut;
  for (const QAbstractButton* button : page.findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(&page) || button->text().isEmpty()) continue;
    const int needed = qobject_cast<const QPushButton*>(button)
                           ? button->fontMetrics().horizontalAdvance(button->text()) + 8
                           : button->sizeHint().width();
    if (needed > button->width()) cut << button->text();
  }
  return cut;
}

// The Alt keys that more than one control shown answers to: the wizard's buttons and the
// current page's buttons, boxes and labels for a control; each with the texts it is in.
QStringList ClashingMnemonics(const QWizard& wizard) {
  std::map<QString, QStringList> owners;
  for (const QWidget* widget : wizard.findChildren<QWidget*>()) {
    if (!widget->isVisible()) continue;
    QString text;
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) text = button->text();
    if (const auto* label = qobject_cast<const QLabel*>(widget); label && label->buddy())
      text = label->text();
    const QKeySequence key = QKeySequence::mnemonic(text);
    if (!key.isEmpty()) owners[key.toString()] << text;
  }
  QStringList clashes;
  for (const auto& [key, texts] : owners) {
    if (texts.size() > 1) clashes << key + QStringLiteral(": ") + texts.join(QStringLiteral(", "));
  }
  return clashes;
}

std::vector<Message> ReadTsFile(const QString& path) {
  std::vector<Message> messages;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return messages;
  QXmlStreamReader xml(&file);
  QString context;
  Message message;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    const auto name = xml.name();
    if (name == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (name == QLatin1String("message")) {
      message = {context, {}, {}, {}};
    } else if (name == QLatin1String("source")) {
      message.source = xml.readElementText();
    } else if (name == QLatin1String("translation")) {
      message.type = xml.attributes().value(QLatin1String("type")).toString();
      // Plural forms come as <numerusform> children; a plain translation is its own text.
      QString text;
      while (!(xml.isEndElement() && xml.name() == QLatin1String("translation")) && !xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters()) text += xml.text();
        if (xml.isStartElement() && xml.name() == QLatin1String("numerusform"))
          message.translations << xml.readElementText();
      }
      if (message.translations.isEmpty()) message.translations << text;
      messages.push_back(message);
    }
  }
  return messages;
}

// The placeholders of a text: %1 to %99, %L1, %n.
std::multiset<QString> Placeholders(const QString& text) {
  static const QRegularExpression placeholder(QStringLiteral("%L?([0-9]{1,2}|n)"));
  std::multiset<QString> found;
  for (const QRegularExpressionMatch& match : placeholder.globalMatch(text))
    found.insert(match.captured());
  return found;
}

QString Language(const QString& tsFile) {
  return QFileInfo(tsFile).completeBaseName().section(QLatin1Char('_'), 1);
}

}  // namespace

class TranslationTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private slots:
  void initTestCase() { sorvina::test::QuietOffscreenWarnings(); }

  void everyMarkedTextHasAFinishedTranslationWithItsPlaceholders() {
    const QDir refreshed(QStringLiteral(SORVINA_REFRESHED_TS_DIR));
    const QStringList files = refreshed.entryList({QStringLiteral("*.ts")}, QDir::Files);
    QVERIFY(!files.isEmpty());
    QStringList languages;
    for (const QString& name : files) {
      const QString language = Language(name);
      languages << language;
      const std::vector<Message> messages = ReadTsFile(refreshed.filePath(name));
      // The engine's marked texts were found, not only the wizard's own.
      const bool engineTextFound =
          std::any_of(messages.begin(), messages.end(), [](const Message& message) {
            return message.context == QLatin1String("sorvina") &&
                   message.source == QLatin1String(sorvina::engine::kNoMp3sFoundMessage);
          });
      QVERIFY2(engineTextFound, qPrintable(name));
      QVERIFY(messages.size() > 150);

      QTranslator built;
      QVERIFY(built.load(QStringLiteral(":/i18n/sorvina_%1.qm").arg(language)));
      QStringList problems;
      for (const Message& message : messages) {
        const QString where = language + QStringLiteral(" \"") + message.source + QLatin1Char('"');
        if (message.type == QLatin1String("unfinished")) {
          problems << where + QStringLiteral(": not translated");
          continue;
        }
        if (!message.type.isEmpty()) {
          problems << where + QStringLiteral(": ") + message.type +
                          QStringLiteral(", no longer in the code");
          continue;
        }
        for (const QString& translation : message.translations) {
          if (translation.trimmed().isEmpty()) problems << where + QStringLiteral(": empty");
          if (Placeholders(translation) != Placeholders(message.source))
            problems << where + QStringLiteral(": placeholders differ in \"") + translation + '"';
        }
        if (built.translate(message.context.toUtf8(), message.source.toUtf8()) !=
            message.translations.first())
          problems << where + QStringLiteral(": not so in the built translation");
      }
      QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
    languages.sort();
    QStringList available = sorvina::ui::AvailableLanguages();
    available.sort();
    QCOMPARE(available, languages);
  }

  void languagesAreChosenAsGettextChoosesThem() {
    struct Case {
      std::map<QByteArray, QString> environment;
      QStringList expected;
    };
    const Case cases[] = {
        {{{"LANG", "de_DE.UTF-8"}}, {"de_DE"}},
        {{{"LANG", "de_AT.UTF-8@euro"}, {"LC_MESSAGES", "fr_FR"}}, {"fr_FR"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "pt_BR.UTF-8"}}, {"pt_BR"}},
        // The list in LANGUAGE stands in place of the locale, unless that is C or unset.
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:de_CH: "}}, {"fr", "de_CH"}},
        {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}, {}},
        {{{"LANGUAGE", "de"}}, {}},
        {{{"LC_ALL", "POSIX"}, {"LANG", "de_DE"}}, {}},
        {{}, {}},
    };
    for (const Case& c : cases) {
      const auto environment = [&c](const char* name) {
        const auto found = c.environment.find(name);
        return found == c.environment.end() ? QString() : found->second;
      };
      QCOMPARE(sorvina::ui::PreferredLanguages(environment), c.expected);
    }
  }

  // Run before German is installed: English, and languages without ours, install nothing.
  void englishOrAnUnknownLanguageKeepsTheTextsAsWritten() {
    QCOMPARE(sorvina::ui::InstallTranslations({"en_GB", "de"}), QString("en"));
    QCOMPARE(sorvina::ui::InstallTranslations({"tlh", "zz_ZZ"}), QString("en"));
    QCOMPARE(sorvina::ui::Translated(sorvina::engine::kNoMp3sFoundMessage),
             QString("No MP3s found"));
    // A text with plural forms takes the English one for its count.
    sorvina::engine::RunSummary one;
    one.copy = true;
    one.destination = "/media/PLAYER";
    one.chosenFiles = one.doneFiles = 1;
    one.doneBytes = 100;
    QCOMPARE(sorvina::ui::Translated(sorvina::engine::SummaryText(one)),
             QString("Copied 1 file (100 bytes) to /media/PLAYER"));
  }

  // Run before German is installed.
  void eachPageHasAltKeysOfItsOwnInEnglish() {
    WizardFixture wizard;
    for (int page = 0; page < 4; ++page) {
      QCOMPARE(ClashingMnemonics(*wizard.window).join("|"), QString());
      if (page < 3) wizard.Next();
    }
  }

  void inGermanTheWizardAndTheEngineSpeakGerman() {
    QCOMPARE(sorvina::ui::InstallTranslations({"fr", "de_AT"}), QString("de"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    sorvina::engine::RunSummary copied;
    copied.copy = true;
    copied.destination = "/media/PLAYER/Musik/";
    copied.chosenFiles = copied.doneFiles = 1234;
    copied.doneBytes = 2'072'000'000;
    copied.replacement = sorvina::engine::Replacement{true, 198, 3, 0};
    QCOMPARE(sorvina::ui::Translated(sorvina::engine::SummaryText(copied)),
             QString("1.234 Dateien (1,93 GB) nach /media/PLAYER/Musik/ kopiert, 198 ersetzt, "
                     "3 behalten"));
    copied.chosenFiles = copied.doneFiles = 1;
    copied.doneBytes = 2'072'000;
    copied.replacement.reset();
    QCOMPARE(sorvina::ui::Translated(sorvina::engine::SummaryText(copied)),
             QString("1 Datei (1,98 MB) nach /media/PLAYER/Musik/ kopiert"));

    WizardFixture wizard;
    QCOMPARE(wizard.window->windowTitle(), QString("Sorvina Schritt 1"));
    QCOMPARE(wizard.Find<QAbstractButton>("loadSettings")->text(), QString("Einstellungen laden"));
    // Every page's buttons and boxes show their German texts whole, with Alt keys of their own.
    for (int page = 0; page < 4; ++page) {
      QCOMPARE(TextsCutShort(*wizard.window->currentPage()).join("|"), QString());
      QCOMPARE(ClashingMnemonics(*wizard.window).join("|"), QString());
      if (page < 3) wizard.Next();
    }
    wizard.Back();
    // A German decimal comma is a weight, as the point is.
    wizard.dialogs.QueuePath("/musik/jazz");
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<sorvina::ui::WeightDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      QCOMPARE(dialog->windowTitle(), QString("Ordnergewichtung"));
      QTest::keyClicks(dialog->findChild<QLineEdit*>("weightField"), "2,5");
      QTest::keyClick(dialog->findChild<QLineEdit*>("weightField"), Qt::Key_Return);
    });
    wizard.ClickControl("addWeight");
    QCOMPARE(wizard.Find<sorvina::ui::SortedListBox>("weightList")->Texts(),
             QStringList("2.50 /musik/jazz/"));
    wizard.Next();
    wizard.Finish();
    QCOMPARE(wizard.messages.texts(),
             QStringList("Bitte wählen Sie mindestens einen Quellordner oder eine Wiedergabeliste "
                         "aus"));
    QLocale::setDefault(QLocale::c());
  }

  // Run after German is installed.
  void inGermanProfileErrorsTheFreeSpaceAndTheDonationReadGerman() {
    QCOMPARE(sorvina::ui::InstallTranslations({"de"}), QString("de"));
    QTemporaryDir folder;
    const sorvina::test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());
    const QString file = folder.filePath("player.mpi");
    const auto writeProfile = [&file](const QByteArray& text) {
      QFile profile(file);
      QVERIFY(profile.open(QIODevice::WriteOnly | QIODevice::Truncate));
      profile.write(text);
    };
    writeProfile("[Limits]\nMaxBitrate=schnell");
    sorvina::engine::SettingsText given;
    given.destination = folder.path().toStdString() + "/";
    given.options.player = file.toStdString();
    given.amountText = "free";
    WizardFixture wizard(given);
    const QSize size = wizard.window->size();
    wizard.Next();
    wizard.Next();
    QCOMPARE(wizard.messages.texts(),
             QStringList(QString("Das Geräteprofil %1 hat in Zeile 2 einen ungültigen Wert, "
                                 "MaxBitrate: keine ganze Zahl")
                             .arg(file)));
    writeProfile("[Limits]\nMaxBitrate=192");
    wizard.Next();
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 3);
    // As wide as the widest page in German from the first page on.
    QCOMPARE(wizard.window->size(), size);

    // The free space has a German word, and the settings keep theirs; either is taken.
    auto* megabytes = wizard.Find<QLineEdit>("megabyteField");
    QCOMPARE(megabytes->text(), QString("frei"));
    for (const char* typed : {" FREI", "free"}) {
      megabytes->clear();
      QTest::keyClicks(megabytes, typed);
      wizard.Back();
      QCOMPARE(wizard.settings.amountText, std::string("free"));
      wizard.Next();
      QCOMPARE(megabytes->text(), QString("frei"));
    }
    megabytes->setText("12");
    wizard.ClickControl("freeSpaceButton");
    QCOMPARE(megabytes->text(), QString("frei"));

    // The donation picture's word is German.
    const QImage shown = wizard.Find<QToolButton>("donationButton")
                             ->icon()
                             .pixmap(sorvina::resources::kDonationSize)
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const auto drawn = [](const QString& word) {
      return sorvina::resources::DonationPicture(1, word).convertToFormat(QImage::Format_RGB32);
    };
    QVERIFY(shown == drawn("Spenden"));
    QVERIFY(shown != drawn("Donate"));
  }
};

QTEST_MAIN(TranslationTest)
#include "translation_test.moc"
