// SPDX-License-Identifier: GPL-3.0-or-later
// The four pages as a user drives them: what each shows on arrival, what Next and Back
// store, the list commands, the weight dialog, and loading and saving settings.
#include <optional>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include "tests/ui/ui_test_support.h"
#include "tests/ui/widget_test_case.h"
#include "tests/ui/wizard_fixture.h"
#include "ui/shell/path_text.h"
#include "ui/shell/removable_volumes.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/wizard/amount_page.h"
#include "ui/wizard/weight_dialog.h"

using sorvina::test::ScopedEnvironment;
using sorvina::test::WizardFixture;
using sorvina::ui::SortedListBox;
using sorvina::ui::ToEngineText;
using sorvina::ui::WeightDialog;

namespace {

// What the weight dialog showed when it opened.
struct WeightDialogSeen {
  QString title;
  QString folder;  // the folder it named
  QString preset;  // the field's text, all selected
  bool stayedOpen = false;
  QString selectedAfter;  // what the field had selected once refused
};

// Answers the weight dialog that is about to open: types `text` over what the field holds
// and presses OK, or presses Cancel when `text` is null. Refused texts leave the dialog
// open; it is then cancelled, and `seen->stayedOpen` says so.
void AnswerWeightDialog(const QString& text, WeightDialogSeen* seen = nullptr) {
  QTimer::singleShot(0, [text, seen] {
    auto* dialog = qobject_cast<WeightDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      QFAIL("no weight dialog is open");
      return;
    }
    auto* field = dialog->findChild<QLineEdit*>("weightField");
    const bool fieldHadFocus = dialog->focusWidget() == field;
    const bool allSelected = field->selectedText() == field->text();
    if (seen) {
      seen->title = dialog->windowTitle();
      seen->folder = dialog->findChild<QLabel*>("weightFolder")->toolTip();
      seen->preset = field->text();
    }
    if (text.isNull()) {
      QTest::keyClick(dialog, Qt::Key_Escape);
    } else {
      QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(field, Qt::Key_Delete);
      QTest::keyClicks(field, text);
      QTest::keyClick(field, Qt::Key_Return);
    }
    const bool open = dialog->isVisible();
    if (seen) seen->stayedOpen = open;
    if (seen && open) seen->selectedAfter = field->selectedText();
    if (open) dialog->reject();  // refused: the test goes on with Cancel
    QVERIFY(fieldHadFocus);
    QVERIFY(allSelected);
  });
}

// Drops `paths` from a file manager onto `list`, as a user lets go of a drag. The list
// takes them once pending events run (WizardFixture::Settle).
void DropPaths(QListWidget* list, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths)
    urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  QWidget* target = list->viewport();
  const QPointF at = target->rect().center();
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  QVERIFY(drop.isAccepted());
}

// Writes `content` as a settings file in `folder` and loads it with "Load Settings".
void LoadSettingsText(WizardFixture& wizard, const QTemporaryDir& folder,
                      const QByteArray& content) {
  const QString path = folder.filePath("s.txt");
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
  file.close();
  wizard.dialogs.QueuePath(path);
  wizard.ClickControl("loadSettings");
}

// The named controls of `page` that Tab visits, in the order it visits them.
QStringList TabOrder(QWidget* page) {
  QStringList names;
  for (QWidget* widget = page->nextInFocusChain(); widget != page;
       widget = widget->nextInFocusChain()) {
    if (!page->isAncestorOf(widget) || !(widget->focusPolicy() & Qt::TabFocus)) continue;
    if (!widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_"))
      names << widget->objectName();
  }
  return names;
}

// Two players plugged in, as folders: "PLAYER" with a music folder, and `second`.
struct PluggedInPlayers {
  explicit PluggedInPlayers(const QString& second) {
    root.mkpath("PLAYER/Music");
    root.mkpath(second);
    volumes.volumes = {{"PLAYER", root.filePath("PLAYER"), 8'000'000'000, 1'300'000'000},
                       {second, root.filePath(second), 2'000'000'000, 2'000'000'000}};
  }
  QTemporaryDir folder;
  QDir root{folder.path()};
  sorvina::ui::FakeVolumeList volumes;
};

// A loudness setting as a test compares it: none, or its LUFS.
QVariant Lufs(const std::optional<double>& loudness) {
  return loudness ? QVariant(*loudness) : QVariant();
}

// Writes `content` into the file `path`.
void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
  file.write(content);
}

// Sets the locale numbers are written in for as long as it lives.
class ScopedLocale {
 public:
  explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
  ~ScopedLocale() { QLocale::setDefault(QLocale::c()); }
};

}  // namespace

class WizardPagesTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private slots:
  void initTestCase() { sorvina::test::QuietOffscreenWarnings(); }

  void sourcesAreStoredInListOrderOnNextOnly() {
    WizardFixture wizard;
    auto* list = wizard.Find<SortedListBox>("sourceList");
    for (const char* folder : {"/b", "/a", "/a"})
      wizard.dialogs.QueuePath(folder);
    for (const int placedAt : {0, 0, 1}) {  // the new entry is selected where it went
      wizard.ClickControl("addFolder");
      QCOMPARE(list->SelectedRow(), placedAt);
    }
    wizard.dialogs.QueuePath("/lists/Party.m3u");
    wizard.ClickControl("addPlaylist");
    wizard.ClickControl("addPlaylist");  // cancelled: nothing changes
    QCOMPARE(list->Texts(), QStringList({"/a/", "/a/", "/b/", "/lists/Party.m3u"}));
    const auto& requests = wizard.dialogs.requests();
    QCOMPARE(requests.back().nameFilters, QStringList({"Playlist Files (*.m3u)", "All Files (*)"}));
    QCOMPARE(requests.back().defaultExtension, QString("m3u"));
    QVERIFY(wizard.settings.sources.empty());

    wizard.Next();
    QCOMPARE(wizard.settings.sources,
             (std::vector<std::string>{"/a/", "/a/", "/b/", "/lists/Party.m3u"}));
    wizard.Back();
    QCOMPARE(list->count(), 4);
    list->SelectRow(2);
    wizard.ClickControl("removeSource");
    wizard.Next();
    QCOMPARE(wizard.settings.sources, (std::vector<std::string>{"/a/", "/a/", "/lists/Party.m3u"}));
  }

  void droppedFoldersAndPlaylistsAreAddedAsIfChosen() {
    QTemporaryDir folder;
    const QDir root(folder.path());
    root.mkpath("Music/Rock");
    for (const char* name : {"party.M3U", "week.m3u8", "song.mp3"})
      QFile(root.filePath(name)).open(QIODevice::WriteOnly);
    WizardFixture wizard;
    auto* list = wizard.Find<SortedListBox>("sourceList");
    list->InsertSorted("/zzz/");
    DropPaths(list, {root.filePath("song.mp3"), root.filePath("week.m3u8"),
                     root.filePath("Music/Rock"), root.filePath("party.M3U")});
    wizard.Settle();
    QCOMPARE(list->Texts(),
             QStringList({root.filePath("Music/Rock") + "/", root.filePath("party.M3U"),
                          root.filePath("week.m3u8"), "/zzz/"}));
    QCOMPARE(list->SelectedRow(), 1);  // the last one dropped, where it went

    // A drag of nothing the list takes is refused as it enters.
    QMimeData songOnly;
    songOnly.setUrls({QUrl::fromLocalFile(root.filePath("song.mp3"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &songOnly, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(list->count(), 4);
  }

  void aFolderDroppedOnTheWeightsAsksItsWeight() {
    QTemporaryDir folder;
    const QDir root(folder.path());
    root.mkpath("Jazz");
    root.mkpath("Rock");
    WizardFixture wizard;
    wizard.Next();
    wizard.Next();
    auto* list = wizard.Find<SortedListBox>("weightList");
    WeightDialogSeen seen;
    DropPaths(list, {root.filePath("Jazz")});
    AnswerWeightDialog("2", &seen);
    wizard.Settle();
    QCOMPARE(seen.folder, root.filePath("Jazz") + "/");
    QCOMPARE(list->Texts(), QStringList("2.00 " + root.filePath("Jazz") + "/"));
    DropPaths(list, {root.filePath("Rock")});
    AnswerWeightDialog(QString());  // cancelled: that folder is passed over
    wizard.Settle();
    QCOMPARE(list->count(), 1);
  }

  void fileTypesAreCheckedFromTheSettingsAndStoredOnNext() {
    QTemporaryDir folder;
    WizardFixture wizard;
    const auto checkedTypes = [&wizard] {
      QStringList names;
      for (const char* name : {"mp3", "flac", "ogg", "opus", "m4a", "wma", "wav", "aiff"}) {
        auto* box = wizard.Find<QCheckBox>((QByteArray("fileType-") + name).constData());
        if (box->isChecked()) names << name;
      }
      return names;
    };
    QCOMPARE(checkedTypes(), QStringList("mp3"));
    wizard.Next();  // as it was: the classic settings are left as they are
    QCOMPARE(wizard.settings.options.fileTypes, std::vector<std::string>{"mp3"});
    wizard.Back();

    wizard.ClickControl("fileType-ogg");
    wizard.ClickControl("fileType-flac");
    wizard.ClickControl("fileType-mp3");
    wizard.ClickControl("fileType-ogg");
    wizard.ClickControl("fileType-flac");  // the last one chosen stays chosen
    QCOMPARE(checkedTypes(), QStringList("flac"));
    wizard.ClickControl("fileType-aiff");
    QVERIFY(wizard.settings.options.fileTypes == std::vector<std::string>{"mp3"});
    wizard.Next();
    QCOMPARE(wizard.settings.options.fileTypes, (std::vector<std::string>{"flac", "aiff"}));
    wizard.Back();

    // A loaded file's types, names this version does not know passed over; none known is
    // the default.
    const std::pair<const char*, QStringList> cases[] = {{"types=OPUS, m4a,speex", {"opus", "m4a"}},
                                                         {"types=speex", {"mp3"}}};
    for (const auto& [line, shown] : cases) {
      LoadSettingsText(wizard, folder,
                       QByteArray("0\r\n/lists/mix.m3u\r\n0\r\n2 \r\n") + line + "\r\n");
      QCOMPARE(checkedTypes(), shown);
    }
  }

  void removeSelectsTheEntryBeforeOrTheNewFirst() {
    WizardFixture wizard;
    auto* list = wizard.Find<SortedListBox>("sourceList");
    for (const char* text : {"a", "b", "c"})
      list->InsertSorted(text);
    wizard.ClickControl("removeSource");  // nothing selected: nothing happens
    QCOMPARE(list->count(), 3);
    list->SelectRow(0);
    wizard.ClickControl("removeSource");
    QCOMPARE(list->Texts(), QStringList({"b", "c"}));
    QCOMPARE(list->SelectedRow(), 0);
    list->SelectRow(1);
    wizard.ClickControl("removeSource");
    QCOMPARE(list->SelectedRow(), 0);
    wizard.ClickControl("removeSource");
    QCOMPARE(list->count(), 0);
    QCOMPARE(list->SelectedRow(), -1);
    wizard.Next();  // an empty list is accepted here
    QCOMPARE(wizard.window->currentId(), 1);
  }

  void destinationChoiceFollowsTheStoredDestinationAlone() {
    WizardFixture wizard;
    wizard.Next();
    auto* copy = wizard.Find<QRadioButton>("copyToFolder");
    auto* playlist = wizard.Find<QRadioButton>("createPlaylist");
    auto* label = wizard.Find<QLabel>("destinationLabel");
    auto* field = wizard.Find<QLineEdit>("destinationField");
    QVERIFY(copy->isChecked() && !playlist->isChecked());
    QCOMPARE(label->text(), QString("Set destination folder"));
    QVERIFY(field->text().isEmpty());

    wizard.ClickControl("createPlaylist");
    QCOMPARE(label->text(), QString("Set playlist file"));
    field->setText("/lists/mix");
    wizard.Next();
    QVERIFY(!wizard.settings.copyToFolder);
    QCOMPARE(wizard.settings.destination, std::string("/lists/mix"));
    wizard.Back();
    QVERIFY(copy->isChecked());  // no ".m3u" ending

    for (const auto& [destination, isPlaylist] :
         {std::pair{".m3u", false}, {"/lists/mix.M3U", true}, {"/x.m3u8", false}}) {
      wizard.settings.destination = destination;
      wizard.Back();
      wizard.Next();
      QCOMPARE(playlist->isChecked(), isPlaylist);
      QCOMPARE(field->text(), QString(destination));
    }
    field->setText("/typed/but/not/stored");
    wizard.Back();
    QCOMPARE(wizard.settings.destination, std::string("/x.m3u8"));
    wizard.Next();
    QCOMPARE(field->text(), QString("/x.m3u8"));

    wizard.ClickControl("copyToFolder");
    wizard.dialogs.QueuePath("/player/music");
    wizard.ClickControl("setDestination");
    QCOMPARE(wizard.settings.destination, std::string("/player/music/"));  // stored at once
    QCOMPARE(wizard.dialogs.requests().back().kind, sorvina::ui::FileDialogKind::kFolder);
    wizard.ClickControl("createPlaylist");
    wizard.dialogs.QueuePath("/lists/new.m3u");
    wizard.ClickControl("setDestination");
    QCOMPARE(wizard.dialogs.requests().back().kind, sorvina::ui::FileDialogKind::kSave);
    QCOMPARE(wizard.dialogs.requests().back().nameFilters,
             QStringList({"Play List Files (*.m3u)", "All Files (*)"}));
    QCOMPARE(field->text(), QString("/lists/new.m3u"));
  }

  void anEmptyDestinationKeepsTheChoiceAndEachChoiceItsOwnText() {
    WizardFixture wizard;
    wizard.Next();
    auto* playlist = wizard.Find<QRadioButton>("createPlaylist");
    auto* field = wizard.Find<QLineEdit>("destinationField");
    wizard.ClickControl("createPlaylist");
    wizard.Next();
    QVERIFY(!wizard.settings.copyToFolder);
    wizard.Back();
    QVERIFY(playlist->isChecked());  // nothing typed yet, and the choice stays

    field->setText("/lists/mix.m3u");
    wizard.ClickControl("copyToFolder");
    QCOMPARE(field->text(), QString());  // the playlist's path is no folder
    field->setText("/player/");
    wizard.ClickControl("createPlaylist");
    QCOMPARE(field->text(), QString("/lists/mix.m3u"));
    wizard.ClickControl("copyToFolder");
    QCOMPARE(field->text(), QString("/player/"));
    wizard.Next();
    QCOMPARE(wizard.settings.destination, std::string("/player/"));
    QVERIFY(wizard.settings.copyToFolder);
  }

  void playersPluggedInAreOfferedForACopy() {
    PluggedInPlayers plugged("CARD");
    const QDir& root = plugged.root;
    sorvina::ui::FakeVolumeList& volumes = plugged.volumes;
    WizardFixture wizard;
    wizard.Next();
    auto* players = wizard.Find<QComboBox>("playerChoice");
    QCOMPARE(players->count(), 2);
    QCOMPARE(players->itemText(0), QString("PLAYER (7.45 GB, 1.21 GB free)"));
    QCOMPARE(players->currentIndex(), -1);
    QVERIFY(players->isEnabled());
    players->activated(0);
    QCOMPARE(wizard.Find<QLineEdit>("destinationField")->text(),
             root.filePath("PLAYER/Music") + "/");
    QCOMPARE(wizard.settings.destination, ToEngineText(root.filePath("PLAYER/Music") + "/"));
    players->activated(1);
    QCOMPARE(wizard.settings.destination, ToEngineText(root.filePath("CARD") + "/"));

    // A player plugged in later is there when the list opens.
    volumes.volumes.pop_back();
    players->showPopup();
    QCOMPARE(players->count(), 1);
    players->hidePopup();
    wizard.ClickControl("createPlaylist");
    QVERIFY(!players->isEnabled());
    volumes.volumes.clear();
    wizard.Back();
    wizard.Next();
    QCOMPARE(players->count(), 0);
    QCOMPARE(players->placeholderText(), QString("No player found"));
  }

  void eachDestinationChoiceEnablesItsOwnOptionsAndNextStoresThem() {
    WizardFixture wizard;
    wizard.Next();
    auto* replace = wizard.Find<QCheckBox>("replacePrevious");
    auto* device = wizard.Find<QCheckBox>("devicePlaylist");
    auto* name = wizard.Find<QLineEdit>("devicePlaylistName");
    auto* relative = wizard.Find<QCheckBox>("relativePaths");
    QVERIFY(replace->isEnabled() && device->isEnabled() && !relative->isEnabled());
    QVERIFY(!name->isEnabled());  // until a playlist on the device is asked for
    QCOMPARE(name->text(), QString("Sorvina.m3u8"));
    wizard.ClickControl("replacePrevious");
    wizard.ClickControl("devicePlaylist");
    QVERIFY(name->isEnabled());
    name->setText(" Lists/Week.m3u8 ");
    wizard.Find<QLineEdit>("destinationField")->setText("/player");
    wizard.Next();
    QVERIFY(wizard.settings.options.replacePrevious);
    QCOMPARE(wizard.settings.options.devicePlaylist, std::string("Lists/Week.m3u8"));
    QVERIFY(!wizard.settings.options.relative);
    QVERIFY(wizard.settings.options.bookFolders.empty());
    // A books folder: its box enables the field, and only a checked box with a folder counts;
    // the folders a settings file names beyond the first stay.
    auto* booksFolder = wizard.Find<QLineEdit>("booksFolder");
    wizard.Back();
    QVERIFY(!booksFolder->isEnabled());
    wizard.ClickControl("books");
    QVERIFY(booksFolder->isEnabled());
    booksFolder->setText(" /home/a/Audiobooks ");
    wizard.settings.options.bookFolders = {"/old", "/home/a/Podcasts"};
    wizard.Next();
    QCOMPARE(wizard.settings.options.bookFolders, (std::vector<std::string>{"/home/a/Audiobooks"}));
    wizard.Back();
    wizard.Back();
    wizard.settings.options.bookFolders = {"/old", "/home/a/Podcasts"};
    wizard.Next();
    QVERIFY(wizard.Find<QCheckBox>("books")->isChecked());
    booksFolder->setText("/home/a/Audiobooks");
    wizard.Next();
    QCOMPARE(wizard.settings.options.bookFolders,
             (std::vector<std::string>{"/home/a/Audiobooks", "/home/a/Podcasts"}));
    // The hours ahead: a value the box cannot show stays until the box is changed.
    wizard.Back();
    wizard.settings.options.booksAheadHours = 0.05;
    wizard.Back();
    wizard.Next();
    wizard.Next();
    QCOMPARE(wizard.settings.options.booksAheadHours, 0.05);
    wizard.Back();
    wizard.Find<QDoubleSpinBox>("booksAhead")->setValue(7.5);
    wizard.Next();
    QCOMPARE(wizard.settings.options.booksAheadHours, 7.5);

    wizard.Back();
    wizard.ClickControl("createPlaylist");
    QVERIFY(!replace->isEnabled() && !device->isEnabled() && !name->isEnabled());
    QVERIFY(relative->isEnabled());
    wizard.ClickControl("relativePaths");
    wizard.Find<QLineEdit>("destinationField")->setText("/lists/mix.m3u");
    wizard.Next();
    QVERIFY(wizard.settings.options.relative);
    wizard.settings.options.devicePlaylist.clear();  // as a loaded settings file may say
    wizard.Back();
    QVERIFY(relative->isChecked() && relative->isEnabled());
    QVERIFY(!device->isChecked());
    QCOMPARE(name->text(), QString("Sorvina.m3u8"));
    wizard.ClickControl("copyToFolder");
    wizard.Next();
    QVERIFY(wizard.settings.options.devicePlaylist.empty());
  }

  void thePlayerAndPlayOrderAreCopyOptionsKeptInTheSettings_data() {
    // The settings' `player`, the list's entry `shown` for it and how "playerFound" begins;
    // FILE in them is a profile file holding `profile`.
    QTest::addColumn<QString>("player");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("found");
    QTest::addColumn<bool>("copy");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("order");
    QTest::addColumn<bool>("number");
    const QByteArray pocket(
        "[Device]\nVendor=Acme\nProduct=Pocket\n[Media]\nOutputFormats=audio/mpeg");
    // clang-format off
    QTest::newRow("found on the stick") << "auto" << QByteArray() << "Found on the stick"
        << "No player found here: any player" << true << false << true << false;
    QTest::newRow("any") << "" << QByteArray() << "Any player"
        << "Player: Any player (plays every type)" << true << false << false << true;
    QTest::newRow("car, replacing") << "car" << QByteArray() << "Car stereo"
        << "Player: Car stereo (plays MP3)" << true << true << true << false;
    QTest::newRow("profile file") << "FILE" << pocket << "FILE"
        << "Player: Acme Pocket (plays MP3)" << true << false << true << true;
    QTest::newRow("bad profile file") << "FILE" << QByteArray("[Device") << "FILE"
        << "The player profile FILE cannot be read at line 1" << true << false << false << false;
    QTest::newRow("playlist") << "car" << QByteArray() << "Car stereo"
        << "Player: Car stereo" << false << true << false << true;
    // clang-format on
  }
  void thePlayerAndPlayOrderAreCopyOptionsKeptInTheSettings() {
    QFETCH(QString, player);
    QFETCH(QByteArray, profile);
    QFETCH(QString, shown);
    QFETCH(QString, found);
    QFETCH(bool, copy);
    QFETCH(bool, replace);
    QFETCH(bool, order);
    QFETCH(bool, number);
    QTemporaryDir folder;
    const ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());  // none of the user's own
    const QString file = folder.filePath("player.mpi");
    WriteFile(file, profile);
    for (QString* text : {&player, &shown, &found})
      text->replace("FILE", file);
    WizardFixture wizard;
    wizard.settings.destination =
        ToEngineText(copy ? folder.path() + "/" : folder.filePath("mix.m3u"));
    sorvina::engine::ExtraOptions& options = wizard.settings.options;
    options.player = ToEngineText(player);
    options.replacePrevious = replace;
    options.order = order;
    options.number = number;
    wizard.Next();
    auto* list = wizard.Find<QComboBox>("player");
    auto* numberFiles = wizard.Find<QCheckBox>("numberFiles");
    auto* playOrder = wizard.Find<QCheckBox>("playOrder");
    const QString foundText = wizard.Find<QLabel>("playerFound")->text();
    QVERIFY2(foundText.startsWith(found), qPrintable(foundText));
    QCOMPARE(list->currentText(), shown);
    QCOMPARE(numberFiles->isChecked(), number);
    QCOMPARE(playOrder->isChecked(), order || replace);  // replacing always keeps play order
    QCOMPARE(list->isEnabled() && numberFiles->isEnabled(), copy);
    QCOMPARE(playOrder->isEnabled(), copy && !replace);
    if (copy && replace) {
      // Not replacing, the box shows the user's own choice again and takes a new one, which
      // replacing covers but does not change.
      wizard.ClickControl("replacePrevious");
      QCOMPARE(playOrder->isChecked(), order);
      wizard.ClickControl("playOrder");
      wizard.ClickControl("replacePrevious");
      QVERIFY(playOrder->isChecked() && !playOrder->isEnabled());
      order = !order;
    }
    wizard.Next();
    QCOMPARE(options.player, ToEngineText(player));
    QCOMPARE(options.order, order);
    QCOMPARE(options.number, number);
  }

  void playsChooseWhatIsReplacedOnlyWhenReplacingAndSteerTheDraw() {
    QTemporaryDir folder;
    WizardFixture wizard;
    wizard.settings.destination = ToEngineText(folder.path() + "/");
    sorvina::engine::ExtraOptions& options = wizard.settings.options;
    options.replaceHeard = true;  // without replacing, as a hand-edited file may hold it
    wizard.Next();
    auto* heard = wizard.Find<QCheckBox>("replaceHeard");
    QVERIFY(heard->isChecked() && !heard->isEnabled());
    wizard.Next();
    QVERIFY(!options.replaceHeard);  // no replacing, nothing of it to keep
    wizard.Back();
    wizard.ClickControl("replacePrevious");
    QVERIFY(heard->isEnabled() && !heard->isChecked());
    wizard.ClickControl("replaceHeard");
    wizard.Next();
    QVERIFY(options.replacePrevious && options.replaceHeard);
    auto* days = wizard.Find<QSpinBox>("avoidPlayedDays");
    QVERIFY(!days->isEnabled());
    wizard.ClickControl("preferUnplayed");
    wizard.ClickControl("avoidPlayed");
    QVERIFY(days->isEnabled());
    days->setValue(10);
    wizard.Next();
    QVERIFY(options.preferUnplayed);
    QCOMPARE(options.avoidPlayedDays, 10);
    // A history file: the one shown first, made absolute; others a settings file names stay.
    wizard.Back();
    wizard.Back();
    options.historySources = {"/old/library.db", "/home/a/stickers.sql"};
    wizard.Next();
    auto* history = wizard.Find<QLineEdit>("historyFile");
    QCOMPARE(history->text(), QString("/old/library.db"));
    history->setText(" /home/a/.config/beets/library.db ");
    wizard.Next();
    QCOMPARE(options.historySources, (std::vector<std::string>{"/home/a/.config/beets/library.db",
                                                               "/home/a/stickers.sql"}));
    wizard.Back();
    history->clear();
    wizard.Next();
    QVERIFY(options.historySources.empty());
  }

  void otherProfileFilesAreChosenBesideTheUsersOwn() {
    QTemporaryDir folder;
    const QDir root(folder.path());
    root.mkpath("sorvina/players");
    WriteFile(root.filePath("sorvina/players/Pocket.mpi"), "[Device]\nProduct=Pocket\n");
    const ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());
    WizardFixture wizard;
    wizard.Next();
    auto* list = wizard.Find<QComboBox>("player");
    auto* found = wizard.Find<QLabel>("playerFound");
    QCOMPARE(list->itemText(3), QString("Pocket"));  // after the built-in choices
    // A file that cannot be read says so, however many lines that takes.
    const QString file = root.filePath(QString(80, 'x') + ".mpi");
    wizard.dialogs.QueuePath(file);
    QTest::keyClick(list, Qt::Key_End);  // "Other profile file…"
    QCOMPARE(wizard.dialogs.requests().back().nameFilters,
             QStringList({"Player Profiles (*.mpi)", "All Files (*)"}));
    QCOMPARE(list->currentText(), file);
    QVERIFY(found->text().contains(file));
    wizard.Settle();
    QVERIFY(found->height() >= found->heightForWidth(found->width()));
    QTest::keyClick(list, Qt::Key_End);  // cancelled: the file stays chosen
    QCOMPARE(list->currentText(), file);
    // Next refuses it with the reason, and takes it once it can be read.
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 1);
    QCOMPARE(wizard.messages.texts(), QStringList(found->text()));
    WriteFile(file, "[Device]\nProduct=Pocket\n");
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 2);
    QCOMPARE(wizard.settings.options.player, ToEngineText(file));
  }

  void nextRefusesACopyForAProfileThatCannotBeRead_data() {
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QString>("reason");  // the end of the message; none: Next goes on
    QTest::newRow("bad value") << QByteArray("[Limits]\nMaxBitrate=fast") << true
                               << "has a bad value at line 2, MaxBitrate: not a whole number";
    QTest::newRow("no key") << QByteArray("[Device]\n=Pocket") << true
                            << "cannot be read at line 2: a value without a key";
    QTest::newRow("for a playlist") << QByteArray("[Limits]\nMaxBitrate=fast") << false << "";
    QTest::newRow("good") << QByteArray("[Limits]\nMaxBitrate=192") << true << "";
  }
  void nextRefusesACopyForAProfileThatCannotBeRead() {
    QFETCH(QByteArray, profile);
    QFETCH(bool, copy);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    const ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());
    const QString file = folder.filePath("player.mpi");
    WriteFile(file, profile);
    WizardFixture wizard;
    wizard.settings.destination =
        ToEngineText(copy ? folder.path() + "/" : folder.filePath("mix.m3u"));
    wizard.settings.options.player = ToEngineText(file);
    wizard.Next();
    wizard.Find<QCheckBox>("keepFolders")->setChecked(true);
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), reason.isEmpty() ? 2 : 1);
    if (reason.isEmpty()) {
      QVERIFY(wizard.messages.texts().isEmpty());
      return;
    }
    // Why, as the line beneath the list says it; nothing of the page is stored.
    QCOMPARE(wizard.messages.texts().size(), 1);
    const QString message = wizard.messages.texts().front();
    QVERIFY2(message.endsWith(reason), qPrintable(message));
    QCOMPARE(wizard.Find<QLabel>("playerFound")->text(), message);
    QCOMPARE(wizard.window->focusWidget(), wizard.Find<QComboBox>("player"));
    QVERIFY(!wizard.settings.options.keepFolders);
  }

  void amountsOfAnySizeAreShownWholeAndKept_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("typed");
    QTest::newRow("12000 MB") << QByteArray("megabyteField") << "12000";
    QTest::newRow("a disk's MB") << QByteArray("megabyteField") << "3815447";
    QTest::newRow("decimals") << QByteArray("megabyteField") << "12000.5";
    QTest::newRow("hours") << QByteArray("hoursField") << "10000";
    QTest::newRow("beyond the field") << QByteArray("megabyteField") << "123456789012";
  }
  void amountsOfAnySizeAreShownWholeAndKept() {
    QFETCH(QByteArray, field);
    QFETCH(QString, typed);
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    auto* edit = wizard.Find<QLineEdit>(field.constData());
    edit->clear();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), typed);
    wizard.Back();
    QCOMPARE(QString::fromStdString(wizard.settings.amountText), typed);
    // What fits the room a field has, with its margins and the cursor, is seen whole.
    QStyleOptionFrame option;
    option.initFrom(edit);
    const int room =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - 5;
    if (typed.size() <= 7) QVERIFY(edit->fontMetrics().horizontalAdvance(typed) <= room);
  }

  void avoidingTheLastFillsIsACheckBoxWithACount() {
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    auto* avoid = wizard.Find<QCheckBox>("avoidLast");
    auto* count = wizard.Find<QLineEdit>("avoidLastCount");
    QVERIFY(!avoid->isChecked() && !count->isEnabled());
    QCOMPARE(count->text(), QString("2"));
    wizard.ClickControl("avoidLast");
    QVERIFY(count->isEnabled());
    QCOMPARE(wizard.settings.options.avoidLast, 2);
    count->clear();
    QTest::keyClicks(count, "x5");  // only digits are taken
    QCOMPARE(count->text(), QString("5"));
    QCOMPARE(wizard.settings.options.avoidLast, 5);
    // The unit after the count follows it in number.
    auto* unit = wizard.Find<QLabel>("avoidLastUnit");
    QCOMPARE(unit->text(), QString("fills"));
    count->setText("1");
    QCOMPARE(unit->text(), QString("fill"));
    count->setText("5");
    wizard.ClickControl("avoidLast");
    QCOMPARE(wizard.settings.options.avoidLast, 0);

    wizard.settings.options.avoidLast = 7;  // as a loaded settings file may say
    wizard.Back();
    wizard.Next();
    QVERIFY(avoid->isChecked());
    QCOMPARE(count->text(), QString("7"));
    QCOMPARE(wizard.settings.options.avoidLast, 7);
  }

  void weightsAreSortedAsTextAndStoredWhenLeavingEitherWay() {
    WizardFixture wizard;
    wizard.Next();
    wizard.Next();
    auto* list = wizard.Find<SortedListBox>("weightList");
    const std::pair<const char*, const char*> adds[] = {
        {"/music/two", "2"}, {"/music/ten", "10"}, {"/music/half", "0.5"}};
    for (const auto& [folder, weight] : adds) {
      wizard.dialogs.QueuePath(folder);
      AnswerWeightDialog(weight);
      wizard.ClickControl("addWeight");
    }
    QCOMPARE(list->Texts(),
             QStringList({"0.50 /music/half/", "10.00 /music/ten/", "2.00 /music/two/"}));
    QCOMPARE(list->SelectedRow(), 0);  // the last one added, where it went

    wizard.dialogs.QueuePath("/music/cancelled");
    AnswerWeightDialog(QString());
    wizard.ClickControl("addWeight");
    QCOMPARE(list->count(), 3);

    wizard.Back();
    QCOMPARE(
        wizard.settings.weightEntries,
        (std::vector<std::string>{"0.50 /music/half/", "10.00 /music/ten/", "2.00 /music/two/"}));
    wizard.settings.weightEntries = {"2.50 /My Music/Rock/"};
    wizard.Next();
    QCOMPARE(list->Texts(), QStringList({"2.50 /My Music/Rock/"}));
    QCOMPARE(list->SelectedRow(), 0);
    AnswerWeightDialog("3");
    wizard.ClickControl("changeWeight");
    QCOMPARE(list->Texts(), QStringList({"3.00 /My Music/Rock/"}));
    wizard.ClickControl("removeWeight");
    wizard.Next();
    QVERIFY(wizard.settings.weightEntries.empty());
  }

  void weightDialogTakesOnlyNumbersOfZeroOrMore() {
    WizardFixture wizard;
    wizard.Next();
    wizard.Next();
    auto* list = wizard.Find<SortedListBox>("weightList");
    const std::pair<const char*, const char*> accepted[] = {
        {"0", "0.00"}, {" 2.499 ", "2.50"}, {"+3", "3.00"}, {"1e2", "100.00"}};
    for (const auto& [typed, shown] : accepted) {
      list->clear();
      wizard.dialogs.QueuePath("/f");
      AnswerWeightDialog(typed);
      wizard.ClickControl("addWeight");
      QCOMPARE(list->Texts(), QStringList(QString(shown) + " /f/"));
    }
    QVERIFY(wizard.messages.shown().empty());
    // A text that is no number would give the weight 0 and the folder's files no chance.
    const char* refused[] = {"", "abc", "2,5", "nan", "inf", "2x", "-0.5", "1e400", "1e96"};
    for (const char* typed : refused) {
      list->clear();
      WeightDialogSeen seen;
      wizard.dialogs.QueuePath("/f");
      AnswerWeightDialog(typed, &seen);
      wizard.ClickControl("addWeight");
      QVERIFY2(seen.stayedOpen, typed);
      QCOMPARE(seen.selectedAfter, QString(typed));  // to be typed over
      QCOMPARE(list->count(), 0);
    }
    QCOMPARE(wizard.messages.texts(), QStringList(std::size(refused), "Invalid entry"));
    QCOMPARE(wizard.messages.shown()[0].kind, sorvina::ui::MessageKind::kInformation);
  }

  void weightDialogNamesItsFolderAndChangeStartsFromTheWeight() {
    WizardFixture wizard;
    wizard.settings.weightEntries = {"2.50 /My Music/Rock/"};
    wizard.Next();
    wizard.Next();
    WeightDialogSeen seen;
    wizard.dialogs.QueuePath("/music/jazz");
    AnswerWeightDialog("1", &seen);
    wizard.ClickControl("addWeight");
    QCOMPARE(seen.title, QString("Folder weight"));
    QCOMPARE(seen.folder, QString("/music/jazz/"));
    QCOMPARE(seen.preset, QString());

    auto* list = wizard.Find<SortedListBox>("weightList");
    list->SelectRow(list->Texts().indexOf("2.50 /My Music/Rock/"));
    AnswerWeightDialog(QString(), &seen);
    wizard.ClickControl("changeWeight");
    QCOMPARE(seen.folder, QString("/My Music/Rock/"));
    QCOMPARE(seen.preset, QString("2.50"));
    QCOMPARE(list->Texts(), QStringList({"1.00 /music/jazz/", "2.50 /My Music/Rock/"}));
  }

  void limitChoiceIsRestoredOnArrivalAndStoredByBackButNotByFinish() {
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    auto* megabytes = wizard.Find<QRadioButton>("megabyteButton");
    auto* hours = wizard.Find<QRadioButton>("hoursButton");
    auto* all = wizard.Find<QRadioButton>("allButton");
    auto* megabyteField = wizard.Find<QLineEdit>("megabyteField");
    auto* hoursField = wizard.Find<QLineEdit>("hoursField");
    QVERIFY(megabytes->isChecked());
    QVERIFY(megabyteField->text().isEmpty() && hoursField->text().isEmpty());

    hoursField->setText("2");
    wizard.ClickControl("hoursButton");
    wizard.Back();
    QCOMPARE(wizard.settings.limitMode, 1);
    QCOMPARE(wizard.settings.amountText, std::string("2"));
    wizard.Next();
    QVERIFY(hours->isChecked());
    QCOMPARE(hoursField->text(), QString("2"));

    megabyteField->setText("650");
    wizard.ClickControl("megabyteButton");
    wizard.ClickControl("allButton");
    wizard.Back();
    QCOMPARE(wizard.settings.limitMode, 2);
    QCOMPARE(wizard.settings.amountText, std::string("2"));
    wizard.Next();
    QVERIFY(all->isChecked());
    QCOMPARE(megabyteField->text(), QString("650"));

    wizard.settings.limitMode = 7;  // as a hand-edited settings file may give
    wizard.Back();
    wizard.settings.limitMode = 7;
    wizard.Next();
    QVERIFY(all->isChecked());

    wizard.ClickControl("megabyteButton");
    wizard.Finish();  // fails for want of sources, and stores nothing
    QCOMPARE(wizard.settings.limitMode, 7);
  }

  void typingAnAmountChecksItsButtonAndKeepsTheOtherAmount() {
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    auto* megabyteField = wizard.Find<QLineEdit>("megabyteField");
    auto* hoursField = wizard.Find<QLineEdit>("hoursField");
    QTest::keyClicks(megabyteField, "650");
    QTest::keyClicks(hoursField, "2");
    QVERIFY(wizard.Find<QRadioButton>("hoursButton")->isChecked());
    QCOMPARE(megabyteField->text(), QString("650"));
    wizard.Back();
    QCOMPARE(wizard.settings.limitMode, 1);
    QCOMPARE(wizard.settings.amountText, std::string("2"));
    wizard.Next();
    QTest::keyClick(megabyteField, Qt::Key_Backspace);
    QVERIFY(wizard.Find<QRadioButton>("megabyteButton")->isChecked());
    QCOMPARE(hoursField->text(), QString("2"));
  }

  void limitButtonsMoveTheFocusToTheirField() {
    WizardFixture wizard;
    wizard.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(wizard.window.get()));
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    QVERIFY(wizard.Find<QLineEdit>("megabyteField")->hasFocus());
    wizard.ClickControl("hoursButton");
    QVERIFY(wizard.Find<QLineEdit>("hoursField")->hasFocus());
    wizard.ClickControl("allButton");  // keeps the focus the click gave it
    QVERIFY(wizard.Find<QRadioButton>("allButton")->hasFocus());
    wizard.ClickControl("megabyteButton");
    QVERIFY(wizard.Find<QLineEdit>("megabyteField")->hasFocus());
  }

  void savedSettingsLoadBackReplacingWhatWasThere() {
    QTemporaryDir start;
    // Settings live in the user's settings folder, made with the folders above it.
    const ScopedEnvironment config("XDG_CONFIG_HOME", start.path() + "/not/yet");
    WizardFixture wizard;
    const QString settingsFolder = start.path() + "/not/yet/sorvina";
    const QString saved = settingsFolder + "/mine.txt";

    wizard.dialogs.QueuePath("/Lists/party.m3u");
    wizard.ClickControl("addPlaylist");
    wizard.dialogs.QueuePath("/Music/Rock");
    wizard.ClickControl("addFolder");
    wizard.Next();
    wizard.Find<QLineEdit>("destinationField")->setText("/Player/");
    wizard.settings.weightEntries = {"2.50 /Music/Rock/"};
    wizard.Next();
    wizard.Next();
    wizard.Next();
    wizard.Find<QLineEdit>("megabyteField")->setText("650");
    wizard.dialogs.QueuePath(saved);
    wizard.ClickControl("saveSettings");
    QVERIFY(QFileInfo(settingsFolder).isDir());  // made for the dialog
    QCOMPARE(wizard.dialogs.requests().back().initialFolder, settingsFolder);
    QCOMPARE(wizard.dialogs.requests().back().kind, sorvina::ui::FileDialogKind::kSave);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("2\r\n/Lists/party.m3u\r\n/Music/Rock/\r\n/Player/\r\n"
                                        "1\r\n2.50 /Music/Rock/\r\n0 650\r\n"));

    // Change everything, then load: the file's values replace them, nothing is merged.
    for (int i = 0; i < 3; ++i)
      wizard.Back();
    auto* list = wizard.Find<SortedListBox>("sourceList");
    list->clear();
    list->InsertSorted("/other/");
    wizard.settings.weightEntries = {"9.00 /x/", "8.00 /y/"};
    wizard.settings.destination = "/elsewhere/";
    wizard.dialogs.QueuePath(saved);
    wizard.ClickControl("loadSettings");
    QCOMPARE(wizard.dialogs.requests().back().nameFilters,
             QStringList({"Settings Files (*.txt)", "All Files (*)"}));
    QCOMPARE(list->Texts(), QStringList({"/Lists/party.m3u", "/Music/Rock/"}));
    QCOMPARE(list->SelectedRow(), 0);
    QCOMPARE(wizard.settings.destination, std::string("/Player/"));
    QCOMPARE(wizard.settings.weightEntries, std::vector<std::string>{"2.50 /Music/Rock/"});

    // A file that cannot be opened changes nothing.
    wizard.dialogs.QueuePath(start.path() + "/missing.txt");
    wizard.ClickControl("loadSettings");
    QCOMPARE(list->count(), 2);
    QCOMPARE(wizard.settings.destination, std::string("/Player/"));
    QVERIFY(wizard.messages.shown().empty());
  }

  void loadedLimitLinesDecideTheLastPage() {
    QTemporaryDir folder;
    WizardFixture wizard;
    const std::pair<const char*, const char*> cases[] = {
        {"1 3", "hours"}, {"2 ", "all"}, {"x 5", "all"}, {"0 12", "megabyte"}};
    for (const auto& [lastLine, checked] : cases) {
      LoadSettingsText(wizard, folder,
                       QByteArray("0\r\n/lists/mix.M3U\r\n0\r\n") + lastLine + "\r\n");
      wizard.Next();
      QVERIFY(wizard.Find<QRadioButton>("createPlaylist")->isChecked());
      wizard.Next();
      wizard.Next();
      QVERIFY2(wizard.Find<QRadioButton>((QByteArray(checked) + "Button").constData())->isChecked(),
               lastLine);
      for (int i = 0; i < 3; ++i)
        wizard.Back();
    }
    QCOMPARE(wizard.Find<QLineEdit>("hoursField")->text(), QString("3"));
    QCOMPARE(wizard.Find<QLineEdit>("megabyteField")->text(), QString("12"));
  }

  void tabVisitsTheControlsInTheirOrder_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("sources") << 0 << QStringList{"loadSettings",  "sourceList",   "addFolder",
                                                 "addPlaylist",   "removeSource", "fileType-mp3",
                                                 "fileType-flac", "fileType-ogg", "fileType-opus",
                                                 "fileType-m4a",  "fileType-wma", "fileType-wav",
                                                 "fileType-aiff"};
    QTest::newRow("destination") << 1
                                 << QStringList{
                                        "copyToFolder",   "keepFolders",      "replacePrevious",
                                        "replaceHeard",   "devicePlaylist",   "devicePlaylistName",
                                        "books",          "booksFolder",      "chooseBooks",
                                        "booksAhead",     "player",           "numberFiles",
                                        "playOrder",      "createPlaylist",   "relativePaths",
                                        "setDestination", "destinationField", "playerChoice"};
    QTest::newRow("weights") << 2
                             << QStringList{"weightList",        "addWeight",       "removeWeight",
                                            "changeWeight",      "spreadArtists",   "maxPerArtist",
                                            "maxPerArtistCount", "balance",         "balanceBy",
                                            "wholeAlbums",       "preferUnplayed",  "avoidPlayed",
                                            "avoidPlayedDays",   "historyFile",     "chooseHistory",
                                            "favourites",        "starWeight0",     "starWeight1",
                                            "starWeight2",       "starWeight3",     "starWeight4",
                                            "starWeight5",       "excludePatterns", "onlyGenres",
                                            "notGenres",         "years",           "firstYear",
                                            "lastYear",          "length",          "shortest",
                                            "longest",           "changedWithin",   "changedDays",
                                            "skipDuplicates"};
    QTest::newRow("amount") << 3
                            << QStringList{"megabyteButton", "megabyteField",  "freeSpaceButton",
                                           "hoursButton",    "hoursField",     "allButton",
                                           "keepFilling",    "avoidLast",      "avoidLastCount",
                                           "convert",        "convertTo",      "bitrate",
                                           "loudness",       "loudnessTarget", "saveSettings",
                                           "donationButton"};
  }
  void tabVisitsTheControlsInTheirOrder() {
    QFETCH(int, page);
    QFETCH(QStringList, order);
    WizardFixture wizard;
    QCOMPARE(TabOrder(wizard.window->page(page)), order);
  }

  void eachChoiceKeepsItsDestinationHoweverItWasGiven() {
    WizardFixture wizard;
    wizard.Next();
    auto* field = wizard.Find<QLineEdit>("destinationField");
    wizard.dialogs.QueuePath("/player/music");
    wizard.ClickControl("setDestination");
    wizard.ClickControl("createPlaylist");
    wizard.dialogs.QueuePath("/lists/week.m3u");
    wizard.ClickControl("setDestination");
    wizard.ClickControl("copyToFolder");
    QCOMPARE(field->text(), QString("/player/music/"));
    wizard.ClickControl("createPlaylist");
    QCOMPARE(field->text(), QString("/lists/week.m3u"));
    // Across the other pages too: the choice left behind keeps its text.
    wizard.Next();
    wizard.Back();
    wizard.ClickControl("copyToFolder");
    QCOMPARE(field->text(), QString("/player/music/"));
    field->setText("/player/other/");
    wizard.Back();
    wizard.Next();  // the copy shown again, as stored; the playlist's text still there
    wizard.ClickControl("createPlaylist");
    QCOMPARE(field->text(), QString("/lists/week.m3u"));
  }

  // A phone that libmtp reaches is listed by its storages; choosing one fills its "Music"
  // folder through libmtp, and page 4 offers the storage's free space, not this disk's.
  void aPhoneReachedOverMtpIsListedWithItsRoomAndChosenByItsSerial() {
    sorvina::ui::FakeVolumeList volumes;
    volumes.volumes = {
        sorvina::ui::MtpPhoneVolume({"Pixel 7", "1A2B3C", {}, false},
                                    {65537, "Internal storage", 64'000'000'000, 12'000'000'000})};
    WizardFixture wizard;
    wizard.Next();
    auto* players = wizard.Find<QComboBox>("playerChoice");
    QVERIFY(players->itemText(0).startsWith("Phone: Pixel 7 – Internal storage (MTP) ("));
    players->activated(0);
    QCOMPARE(wizard.settings.destination, std::string("mtp:1A2B3C/Internal storage/Music"));
    wizard.Next();
    wizard.Next();
    QVERIFY(wizard.Find<QPushButton>("freeSpaceButton")->isEnabled());
    QCOMPARE(wizard.Find<QLabel>("freeSpaceFigure")->text(), QString("free: 11.2 GB"));
  }

  // A phone's storage is listed by the phone's name and the storage's; where it reports no
  // room, the list says so and page 4 asks for an amount instead of offering free space.
  void aPhoneThatReportsNoRoomIsListedSoAndNotOfferedItsFreeSpace() {
    QTemporaryDir folder;
    const QDir root(folder.path());
    const QString storage = root.filePath("mtp:host=Google_Pixel_7_1A2B3C/Internal shared storage");
    root.mkpath(storage);
    root.mkpath("PLAYER");
    sorvina::ui::FakeVolumeList volumes;
    volumes.volumes = {{"PLAYER", root.filePath("PLAYER"), 8'000'000'000, 1'300'000'000},
                       sorvina::ui::PhoneVolume({"Google Pixel 7", "Internal shared storage",
                                                 ToEngineText(storage), 0, 0})};
    WizardFixture wizard;
    wizard.Next();
    auto* players = wizard.Find<QComboBox>("playerChoice");
    QCOMPARE(players->itemText(1),
             QString("Phone: Google Pixel 7 – Internal shared storage (free space not reported)"));
    players->activated(1);
    QCOMPARE(wizard.settings.destination, ToEngineText(storage + "/"));
    wizard.Next();
    wizard.Next();
    auto* freeSpace = wizard.Find<QPushButton>("freeSpaceButton");
    QVERIFY(!freeSpace->isEnabled());
    QCOMPARE(wizard.Find<QLabel>("freeSpaceFigure")->text(),
             QString("Free space not reported: enter a number of MB"));
    wizard.ClickControl("allButton");  // the page's other choices leave it off
    QVERIFY(!freeSpace->isEnabled());

    // The player beside it has its free space offered.
    wizard.Back();
    wizard.Back();
    players->activated(0);
    wizard.Next();
    wizard.Next();
    QVERIFY(freeSpace->isEnabled());
    QVERIFY(wizard.Find<QLabel>("freeSpaceFigure")->text().startsWith("free: "));
  }

  void thePlayerListShowsThePlayerThatHoldsTheDestination() {
    const PluggedInPlayers plugged("PLAYER2");
    const QDir& root = plugged.root;
    WizardFixture wizard;
    wizard.settings.destination = ToEngineText(root.filePath("PLAYER/Music/"));
    wizard.Next();  // as after reopening the wizard
    auto* players = wizard.Find<QComboBox>("playerChoice");
    QCOMPARE(players->currentIndex(), 0);
    wizard.dialogs.QueuePath(root.filePath("PLAYER2"));
    wizard.ClickControl("setDestination");
    QCOMPARE(players->currentIndex(), 1);
    // A folder beside a player's, whose name begins the same, is on none.
    wizard.Find<QLineEdit>("destinationField")->setText(root.filePath("PLAYER22/"));
    QCOMPARE(players->currentIndex(), -1);
  }

  void foldersArePickedWhereTheUserIsWorking() {
    WizardFixture wizard;
    const auto startedIn = [&wizard] { return wizard.dialogs.requests().back().initialFolder; };
    wizard.dialogs.QueuePath("/music/rock");
    wizard.ClickControl("addFolder");
    wizard.dialogs.QueuePath("/lists/party.m3u");
    wizard.ClickControl("addPlaylist");
    wizard.ClickControl("addFolder");
    QCOMPARE(startedIn(), QString("/music/rock/"));  // the folder added last
    wizard.Next();
    wizard.Find<QLineEdit>("destinationField")->setText("/player/music/");
    wizard.ClickControl("setDestination");
    QCOMPARE(startedIn(), QString("/player/music/"));
    wizard.ClickControl("createPlaylist");
    wizard.Find<QLineEdit>("destinationField")->setText("/lists/week.m3u");
    wizard.ClickControl("setDestination");
    QCOMPARE(startedIn(), QString("/lists"));
    wizard.Next();
    wizard.ClickControl("addWeight");
    QCOMPARE(startedIn(), QString("/lists"));  // the first source is a playlist there
  }

  void numbersFollowTheLocaleAndAreStoredWithAPoint() {
    const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    WizardFixture wizard;
    wizard.settings.weightEntries = {"2.50 /music/rock/"};
    wizard.settings.amountText = "1.5";
    wizard.settings.options.loudness = -14.5;
    wizard.Next();
    wizard.Next();
    WeightDialogSeen seen;
    AnswerWeightDialog("0,75", &seen);
    wizard.ClickControl("changeWeight");
    QCOMPARE(seen.preset, QString("2,50"));
    QCOMPARE(wizard.Find<SortedListBox>("weightList")->Texts(), QStringList("0.75 /music/rock/"));
    wizard.Next();
    auto* loudness = wizard.Find<QLineEdit>("loudnessTarget");
    QCOMPARE(loudness->text(), QString("-14,5"));
    loudness->clear();
    QTest::keyClicks(loudness, "-12,5");
    QCOMPARE(Lufs(wizard.settings.options.loudness), QVariant(-12.5));
    auto* megabytes = wizard.Find<QLineEdit>("megabyteField");
    QCOMPARE(megabytes->text(), QString("1,5"));
    megabytes->setText("2,5");
    wizard.Find<QLineEdit>("hoursField")->setText("0.5");  // a point still counts
    wizard.Back();
    QCOMPARE(wizard.settings.amountText, std::string("2.5"));
    wizard.Next();
    wizard.ClickControl("hoursButton");
    wizard.Back();
    QCOMPARE(wizard.settings.amountText, std::string("0.5"));
  }

  void theLastPageOffersWhatAppliesToTheChoice_data() {
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QString>("avoided");
    QTest::addColumn<bool>("freeFigure");
    QTest::newRow("copy") << true << "fills" << true;
    QTest::newRow("playlist") << false << "playlists written here" << false;
  }
  void theLastPageOffersWhatAppliesToTheChoice() {
    QFETCH(bool, copy);
    QFETCH(QString, avoided);
    QFETCH(bool, freeFigure);
    QTemporaryDir folder;
    WizardFixture wizard;
    wizard.settings.destination =
        ToEngineText(copy ? folder.path() + "/" : folder.filePath("mix.m3u"));
    wizard.settings.options.fill = true;  // each box shows its own setting
    wizard.settings.options.avoidLast = 3;
    wizard.Next();
    for (int i = 0; i < 2; ++i)
      wizard.Next();
    QVERIFY(wizard.Find<QCheckBox>("keepFilling")->isChecked());
    QVERIFY(wizard.Find<QCheckBox>("avoidLast")->isChecked());
    QCOMPARE(wizard.Find<QLineEdit>("avoidLastCount")->text(), QString("3"));
    QStringList labels;
    for (const QLabel* label : wizard.window->currentPage()->findChildren<QLabel*>())
      labels << label->text();
    QVERIFY2(labels.contains(avoided), qPrintable(labels.join('|')));
    QCOMPARE(wizard.Find<QPushButton>("freeSpaceButton")->isEnabled(), copy);
    // The free space's figure stands beside its button, for a copy.
    const QString figure = wizard.Find<QLabel>("freeSpaceFigure")->text();
    QCOMPARE(figure.startsWith("free: "), freeFigure);
    QCOMPARE(figure.isEmpty(), !freeFigure);
    // With everything chosen there is nothing left to fill.
    wizard.ClickControl("allButton");
    QVERIFY(!wizard.Find<QCheckBox>("keepFilling")->isEnabled());
    wizard.ClickControl("hoursButton");
    QVERIFY(wizard.Find<QCheckBox>("keepFilling")->isEnabled());
  }

  void convertingAndLoudnessGoThroughTheSettings_data() {
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QString>("convert");
    QTest::addColumn<int>("bitrate");
    QTest::addColumn<QVariant>("loudness");  // none: as the songs are
    QTest::addColumn<QString>("listed");     // the list's entry; none: not converting
    QTest::newRow("neither") << true << "" << 0 << QVariant() << "";
    QTest::newRow("unplayable to MP3") << true << "auto" << 0 << QVariant(-16.0) << "MP3";
    QTest::newRow("unplayable to AAC") << true << "auto:aac" << 192 << QVariant(-14.5) << "AAC";
    QTest::newRow("unplayable to Opus") << true << "auto:opus" << 96 << QVariant() << "Opus";
    QTest::newRow("every MP3") << true << "mp3" << 320 << QVariant(-40.0) << "every song to MP3";
    QTest::newRow("every AAC") << true << "aac" << 0 << QVariant(-5.0) << "every song to AAC";
    // The command line takes bitrates beyond those offered here; one stays as it was.
    QTest::newRow("every Opus") << true << "opus" << 400 << QVariant() << "every song to Opus";
    QTest::newRow("playlist") << false << "auto:aac" << 128 << QVariant(-23.0) << "AAC";
  }
  void convertingAndLoudnessGoThroughTheSettings() {
    QFETCH(bool, copy);
    QFETCH(QString, convert);
    QFETCH(int, bitrate);
    QFETCH(QVariant, loudness);
    QFETCH(QString, listed);
    QTemporaryDir folder;
    // Settings the wizard is made over, as when it starts with those it last had.
    sorvina::engine::SettingsText given;
    given.destination = ToEngineText(copy ? folder.path() + "/" : folder.filePath("mix.m3u"));
    given.options.convert = ToEngineText(convert);
    given.options.bitrate = bitrate;
    given.options.loudness = loudness.isValid() ? std::optional(loudness.toDouble()) : std::nullopt;
    WizardFixture wizard(given);
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    auto* convertBox = wizard.Find<QCheckBox>("convert");
    auto* list = wizard.Find<QComboBox>("convertTo");
    auto* bitrateField = wizard.Find<QLineEdit>("bitrate");
    auto* loudnessBox = wizard.Find<QCheckBox>("loudness");
    auto* loudnessField = wizard.Find<QLineEdit>("loudnessTarget");
    QCOMPARE(convertBox->isChecked(), !listed.isEmpty());
    QCOMPARE(list->currentText(), listed.isEmpty() ? QString("MP3") : listed);
    QCOMPARE(bitrateField->text(), bitrate > 0 ? QString::number(bitrate) : QString());
    QCOMPARE(loudnessBox->isChecked(), loudness.isValid());
    QCOMPARE(loudnessField->text(),
             QString::number(loudness.isValid() ? loudness.toDouble() : -16));
    // Both change the copies; a playlist names the songs as they are.
    QCOMPARE(convertBox->isEnabled() && loudnessBox->isEnabled(), copy);
    QCOMPARE(list->isEnabled() && bitrateField->isEnabled(), copy && !listed.isEmpty());
    QCOMPARE(loudnessField->isEnabled(), copy && loudness.isValid());

    // Once any option changes, the page stores what it shows, whatever the settings held.
    sorvina::engine::ExtraOptions& options = wizard.settings.options;
    options.convert = "opus";
    options.bitrate = 64;
    options.loudness = -30;
    wizard.ClickControl("keepFilling");
    QCOMPARE(QString::fromStdString(options.convert), convert);
    QCOMPARE(options.bitrate, bitrate);
    QCOMPARE(Lufs(options.loudness), loudness);
  }

  void theLastPageOffersOnlyFormatsThePlayerPlays_data() {
    // The settings' `player` (FILE: a profile file holding `profile`) and `convert`; the
    // formats the list offers and the conversion stored once the page is shown.
    QTest::addColumn<QString>("player");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QString>("convert");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("stored");
    const QStringList all{"MP3", "AAC", "Opus"};
    const QByteArray opus("[Media]\nOutputFormats=audio/mpeg;audio/opus");
    const QByteArray flac("[Media]\nOutputFormats=audio/flac");
    // clang-format off
    QTest::newRow("any player") << "" << QByteArray() << true << "auto:opus" << all << "auto:opus";
    QTest::newRow("car stereo") << "car" << QByteArray() << true << "auto" << QStringList{"MP3"}
                                << "auto";
    QTest::newRow("car stereo, AAC kept from before") << "car" << QByteArray() << true
        << "auto:aac" << QStringList{"MP3"} << "auto";
    QTest::newRow("car stereo, every song to MP3") << "car" << QByteArray() << true << "mp3"
        << QStringList{"MP3", "every song to MP3"} << "mp3";
    QTest::newRow("MP3 and Opus") << "FILE" << opus << true << "aac" << QStringList{"MP3", "Opus"}
                                  << "auto";
    QTest::newRow("FLAC only") << "FILE" << flac << true << "auto" << QStringList() << "";
    QTest::newRow("playlist") << "car" << QByteArray() << false << "auto:aac" << all << "auto:aac";
    // clang-format on
  }
  void theLastPageOffersOnlyFormatsThePlayerPlays() {
    QFETCH(QString, player);
    QFETCH(QByteArray, profile);
    QFETCH(bool, copy);
    QFETCH(QString, convert);
    QFETCH(QStringList, offered);
    QFETCH(QString, stored);
    QTemporaryDir folder;
    const ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());
    const QString file = folder.filePath("player.mpi");
    WriteFile(file, profile);
    sorvina::engine::SettingsText given;
    given.destination = ToEngineText(copy ? folder.path() + "/" : folder.filePath("mix.m3u"));
    given.options.player = ToEngineText(player == "FILE" ? file : player);
    given.options.convert = ToEngineText(convert);
    WizardFixture wizard(given);
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    QCOMPARE(wizard.window->currentId(), 3);
    auto* list = wizard.Find<QComboBox>("convertTo");
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
      listed << list->itemText(i);
    QCOMPARE(listed, offered);
    QCOMPARE(QString::fromStdString(wizard.settings.options.convert), stored);
    auto* convertBox = wizard.Find<QCheckBox>("convert");
    QCOMPARE(convertBox->isChecked(), !stored.isEmpty());
    QCOMPARE(convertBox->isEnabled(), copy && !offered.isEmpty());
    if (!stored.isEmpty()) QCOMPARE(list->currentData().toString(), stored);
  }

  void typedNumbersAreKeptWithinTheirRange_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");  // stored at once, and shown once the field is left
    QTest::newRow("too low") << QByteArray("bitrate") << "3"
                             << "32";
    QTest::newRow("too high") << QByteArray("bitrate") << "4000"
                              << "320";
    QTest::newRow("two decimals") << QByteArray("loudnessTarget") << "-14.55"
                                  << "-14.5";
    QTest::newRow("no minus") << QByteArray("loudnessTarget") << "12"
                              << "-12";
    QTest::newRow("too loud") << QByteArray("loudnessTarget") << "-3"
                              << "-5";
    QTest::newRow("too quiet") << QByteArray("loudnessTarget") << "-45"
                               << "-40";
    QTest::newRow("no number") << QByteArray("loudnessTarget") << "x"
                               << "-16";
  }
  void typedNumbersAreKeptWithinTheirRange() {
    QFETCH(QByteArray, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    wizard.ClickControl("convert");
    wizard.ClickControl("loudness");
    auto* edit = wizard.Find<QLineEdit>(field.constData());
    edit->clear();
    QTest::keyClicks(edit, typed);
    // Also when Finish is pressed from the field.
    const sorvina::engine::ExtraOptions& options = wizard.settings.options;
    QCOMPARE(QString::number(field == "bitrate" ? options.bitrate : options.loudness.value_or(0)),
             kept);
    QFocusEvent left(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &left);
    QCOMPARE(edit->text(), kept);
  }

  void saveSettingsNeverWritesTheWizardsOwnMemory() {
    QTemporaryDir start;
    const ScopedEnvironment config("XDG_CONFIG_HOME", start.path());
    const QString lastState = start.path() + "/sorvina/last.txt";
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    wizard.dialogs.QueuePath(lastState);
    wizard.ClickControl("saveSettings");
    QCOMPARE(wizard.dialogs.requests().back().hiddenPaths, QStringList(lastState));
    QVERIFY(!QFile::exists(lastState));
    QCOMPARE(wizard.messages.texts().size(), 1);
    QVERIFY(wizard.messages.texts()[0].startsWith(lastState + " is where Sorvina keeps"));
  }

  void savingWhereNoFileCanBeMadeSaysSoAndKeepsTheLimit() {
    WizardFixture wizard;
    for (int i = 0; i < 3; ++i)
      wizard.Next();
    wizard.Find<QLineEdit>("megabyteField")->setText("100");
    wizard.settings.amountText = "old";
    wizard.dialogs.QueuePath("/nonexistent-folder-for-sorvina/s.txt");
    wizard.ClickControl("saveSettings");
    QCOMPARE(wizard.messages.texts(), QStringList("Can't open settings file for writing"));
    QCOMPARE(wizard.settings.amountText, std::string("old"));
  }

  void howToChooseIsShownFromLoadedSettingsAndSavedAsChanged() {
    QTemporaryDir folder;
    const ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());
    WizardFixture wizard;
    LoadSettingsText(wizard, folder,
                     "0\r\n/lists/mix.m3u\r\n0\r\n0 100\r\nmax-per-artist=2\r\nspread=1\r\n"
                     "rating-weights=1,0,0.25,1,2,8\r\nbalance=folder\r\n");
    wizard.Next();
    wizard.Next();
    auto* spread = wizard.Find<QCheckBox>("spreadArtists");
    auto* maxPerArtist = wizard.Find<QCheckBox>("maxPerArtist");
    auto* count = wizard.Find<QSpinBox>("maxPerArtistCount");
    auto* balance = wizard.Find<QCheckBox>("balance");
    auto* balanceBy = wizard.Find<QComboBox>("balanceBy");
    auto* albums = wizard.Find<QCheckBox>("wholeAlbums");
    QStringList weights;
    for (int stars = 0; stars <= 5; ++stars)
      weights << wizard.Find<QLineEdit>(qPrintable(QString("starWeight%1").arg(stars)))->text();
    QVERIFY(spread->isChecked() && maxPerArtist->isChecked() && balance->isChecked());
    QCOMPARE(count->value(), 2);
    QCOMPARE(balanceBy->currentText(), QString("folder"));
    QVERIFY(wizard.Find<QCheckBox>("favourites")->isChecked());
    QCOMPARE(weights, QStringList({"1", "0", "0.25", "1", "2", "8"}));
    // Whole albums exclude an equal chance and a cap per artist (which would cut albums
    // short), the boxes disabled saying why.
    QVERIFY(!albums->isChecked() && !albums->isEnabled());
    QVERIFY(albums->toolTip().startsWith("Not together"));
    wizard.ClickControl("balance");
    QVERIFY(!albums->isEnabled());
    QVERIFY(albums->toolTip().contains("cut albums short"));
    wizard.ClickControl("maxPerArtist");
    QCOMPARE(albums->toolTip(),
             QString("Whole albums are chosen, copied and listed in disc and track order"));
    wizard.ClickControl("wholeAlbums");
    QVERIFY(!balance->isEnabled() && !balanceBy->isEnabled() && !maxPerArtist->isEnabled());
    QCOMPARE(balance->toolTip(), QString("Not together with whole albums"));
    QCOMPARE(maxPerArtist->toolTip(), QString("Not together with whole albums"));

    wizard.ClickControl("spreadArtists");
    count->setValue(5);
    auto* topWeight = wizard.Find<QLineEdit>("starWeight5");
    topWeight->clear();
    QTest::keyClicks(topWeight, "4.5");
    wizard.Next();
    const QString saved = folder.filePath("saved.txt");
    wizard.dialogs.QueuePath(saved);
    wizard.ClickControl("saveSettings");
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("0\r\n/lists/mix.m3u\r\n0\r\n0 100\r\n"
                                        "rating-weights=1,0,0.25,1,2,4.5\r\nalbums=1\r\n"));
  }

  void leaveOutIsShownFromLoadedSettingsCheckedAndSavedAsChanged() {
    QTemporaryDir folder;
    const ScopedEnvironment config("XDG_CONFIG_HOME", folder.path());
    WizardFixture wizard;
    LoadSettingsText(wizard, folder,
                     "0\r\n/lists/mix.m3u\r\n0\r\n0 100\r\nexclude=Christmas/**\r\n"
                     "exclude=*.m4b\r\ngenre=Rock,Jazz\r\nlength=3:00-\r\nskip-duplicates=1\r\n");
    wizard.Next();
    wizard.Next();
    auto* patterns = wizard.Find<QPlainTextEdit>("excludePatterns");
    auto* longest = wizard.Find<QLineEdit>("longest");
    QCOMPARE(patterns->toPlainText(), QString("Christmas/**\n*.m4b"));
    QCOMPARE(wizard.Find<QLineEdit>("onlyGenres")->text(), QString("Rock, Jazz"));
    QVERIFY(wizard.Find<QCheckBox>("length")->isChecked() && longest->text().isEmpty());
    QVERIFY(!wizard.Find<QCheckBox>("years")->isChecked());
    QVERIFY(!wizard.Find<QSpinBox>("firstYear")->isEnabled());
    QVERIFY(wizard.Find<QCheckBox>("skipDuplicates")->isChecked());

    // A length that is no m:ss keeps the user on the page, the field selected.
    QTest::keyClicks(longest, "7:3");
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 2);
    QCOMPARE(wizard.messages.texts().size(), 1);
    longest->setText("7:30");
    patterns->setPlainText("\n  */Live/*  \n\n");
    wizard.ClickControl("years");
    wizard.ClickControl("skipDuplicates");
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 3);
    const QString saved = folder.filePath("saved.txt");
    wizard.dialogs.QueuePath(saved);
    wizard.ClickControl("saveSettings");
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("0\r\n/lists/mix.m3u\r\n0\r\n0 100\r\n"
                                        "exclude=*/Live/*\r\ngenre=Rock,Jazz\r\n"
                                        "year=1990-1999\r\nlength=3:00-7:30\r\n"));
  }

  void badStarWeightsKeepTheUserOnTheirPage_data() {
    QTest::addColumn<QString>("typed");  // into the first field, or all six where "all"
    QTest::addColumn<QString>("message");
    QTest::newRow("negative") << "-1"
                              << "Star weights are numbers of 0 or more, decimals allowed: "
                                 "\"-1\" is not one.";
    QTest::newRow("no number") << "2x"
                               << "Star weights are numbers of 0 or more, decimals allowed: "
                                  "\"2x\" is not one.";
    QTest::newRow("empty") << ""
                           << "Every star weight needs a number of 0 or more.";
    QTest::newRow("all 0") << "all"
                           << "At least one star weight must be above 0: with all at 0, no "
                              "song can be chosen.";
  }
  void badStarWeightsKeepTheUserOnTheirPage() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    WizardFixture wizard;
    wizard.Next();
    wizard.Next();
    wizard.ClickControl("favourites");
    auto* first = wizard.Find<QLineEdit>("starWeight0");
    for (int stars = typed == "all" ? 5 : 0; stars >= 0; --stars) {
      auto* field = wizard.Find<QLineEdit>(qPrintable(QString("starWeight%1").arg(stars)));
      field->setText(typed == "all" ? "0" : typed);
    }
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 2);
    QCOMPARE(wizard.messages.texts(), QStringList(message));
    QCOMPARE(wizard.window->focusWidget(), first);
    QCOMPARE(first->selectedText(), first->text());
    QVERIFY(!wizard.settings.options.ratingWeights);

    QTest::keyClicks(first, "3");
    wizard.Next();
    QCOMPARE(wizard.window->currentId(), 3);
    QVERIFY(wizard.settings.options.ratingWeights);
    QCOMPARE(wizard.settings.options.ratingWeights->front(), 3.0);
  }
};

QTEST_MAIN(WizardPagesTest)
#include "wizard_pages_test.moc"
