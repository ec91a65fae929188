// SPDX-License-Identifier: GPL-3.0-or-later
// The folder picker on real temporary folders, driven with the keyboard as a user would.
#include "ui/shell/folder_dialog.h"

#include <filesystem>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "tests/support/temp_dir.h"
#include "tests/ui/ui_test_support.h"
#include "tests/ui/widget_test_case.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/folder_edit.h"
#include "ui/shell/message_box.h"

using namespace sorvina::ui;
namespace fs = std::filesystem;

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// A picker shown on `folder`, with its parts at hand.
struct Picker {
  explicit Picker(const std::string& folder,
                  const std::optional<QString>& extraFilter = std::nullopt)
      : dialog(Q(folder), extraFilter, nullptr) {
    dialog.show();
    field = dialog.findChild<FolderEdit*>("folderField");
    view = dialog.findChild<QTreeView*>("folderView");
  }

  // Puts `start` into the field with the caret at its end, then types `keys`.
  void Type(const QString& start, const QString& keys = {}) {
    field->setText(start);
    field->end(false);
    QTest::keyClicks(field, keys);
  }
  void Press(Qt::Key key) { QTest::keyClick(field, key); }
  QString Displayed() const {
    auto* model = static_cast<QFileSystemModel*>(view->model());
    return model->filePath(view->rootIndex());
  }
  void ClickOpen() {
    QTest::mouseClick(dialog.findChild<QPushButton*>("openButton"), Qt::LeftButton);
  }

  FolderDialog dialog;
  FolderEdit* field;
  QTreeView* view;
};

const QString kCreateQuestion = "\nThis folder does not exist.\n\nDo you want to create it?";

}  // namespace

class FolderDialogTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private slots:
  void initTestCase() { sorvina::test::QuietOffscreenWarnings(); }

  void typedPathsEndingInASeparatorAreDisplayedAsTheyAreTyped() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("Music/Live");
    Picker picker(dir.path());
    QCOMPARE(picker.dialog.windowTitle(), QString("Select Folder"));
    QCOMPARE(picker.field->text(), Q(dir.path()) + "/");
    QVERIFY(!picker.field->hasSelectedText());  // typing goes on from the path shown

    picker.Type(Q(dir / "Music"), "/");
    QCOMPARE(picker.Displayed(), Q(dir / "Music"));
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "Music/"));
    picker.Type(Q(dir / "Music/Liv"), "e/");
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "Music/Live/"));

    picker.Type(Q(dir / "Music/missing"), "/");  // nothing to display: the text stays
    QCOMPARE(picker.field->text(), Q(dir / "Music/missing/"));
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "Music/Live/"));

    // ".." is written out as the folder it leads to; a relative name is kept as typed.
    picker.Type("", "../");
    QCOMPARE(picker.field->text(), Q(dir / "Music/"));
    picker.Type("", "Live/");
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "Music/Live/"));
    QCOMPARE(picker.field->text(), QString("Live/"));
  }

  void aUniqueFolderNameIsCompletedInItsOwnSpelling() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("ROCK");
    dir.MakeFolder("pop");
    dir.WriteFile("rocket.mp3");  // a file is no folder to complete
    Picker picker(dir.path());
    for (const char* typed : {"ro", "RO", "Ro"}) {
      picker.Type(Q(dir.path()) + "/", typed);
      QCOMPARE(picker.field->text(), Q(dir / "ROCK"));
      QCOMPARE(picker.field->selectedText(), QString("CK"));
    }
    QCOMPARE(picker.dialog.GetFolder(), Q(dir.path()) + "/");  // completion displays nothing

    dir.MakeFolder("roll");
    picker.Type(Q(dir.path()) + "/", "ro");
    QCOMPARE(picker.field->text(), Q(dir / "ro"));
    QVERIFY(!picker.field->hasSelectedText());
  }

  void backspaceAndDeleteNeverComplete() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("ROCK");
    Picker picker(dir.path());
    picker.Type(Q(dir / "ROc"));
    picker.Press(Qt::Key_Backspace);
    QCOMPARE(picker.field->text(), Q(dir / "RO"));

    picker.Type(Q(dir / "ROx"));
    picker.field->cursorBackward(false);
    picker.Press(Qt::Key_Delete);
    QCOMPARE(picker.field->text(), Q(dir / "RO"));

    // Delete displays a folder that the remaining text names and that ends in a separator.
    picker.Type(Q(dir / "ROCK/x"));
    picker.field->cursorBackward(false);
    picker.Press(Qt::Key_Delete);
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "ROCK/"));
  }

  void enterAsksBeforeCreatingAMissingFolderAndKeepsThePickerOpen() {
    sorvina::test::TempDir dir;
    Picker picker(dir.path());
    MessageBoxRecorder messages;
    messages.QueueAnswer(false);
    picker.Type(Q(dir / "new/deeper"));
    picker.Press(Qt::Key_Return);
    QCOMPARE(messages.texts(), QStringList({Q(dir / "new/deeper") + kCreateQuestion}));
    QVERIFY(!fs::exists(dir / "new"));
    QCOMPARE(picker.field->text(), Q(dir / "new/deeper"));

    messages.QueueAnswer(true);
    picker.Press(Qt::Key_Return);
    QVERIFY(fs::is_directory(dir / "new/deeper"));
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "new/deeper/"));
    QCOMPARE(picker.field->text(), Q(dir / "new/deeper/"));
    QVERIFY(picker.dialog.isVisible());
    QCOMPARE(messages.texts().size(), 2);

    // An existing folder is displayed at once and the field gains the separator.
    picker.Type(Q(dir.path()));
    picker.Press(Qt::Key_Enter);
    QCOMPARE(picker.field->text(), Q(dir.path()) + "/");
    picker.Type("new");
    picker.Press(Qt::Key_Enter);
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "new/"));
    QCOMPARE(picker.field->text(), QString("new/"));
    QCOMPARE(messages.texts().size(), 2);
  }

  void tabMovesToOpenCtrlASelectsAllAndEscapeCancels() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("ROCK");
    Picker picker(dir.path());
    QApplication::setActiveWindow(&picker.dialog);
    picker.Type(Q(dir / "typed"));
    picker.Press(Qt::Key_Tab);
    QCOMPARE(picker.field->text(), Q(dir / "typed"));
    QVERIFY(picker.dialog.findChild<QPushButton*>("openButton")->hasFocus());

    // Selecting the whole path, also one that names a folder, changes nothing else.
    picker.field->setFocus();
    picker.Type(Q(dir / "ROCK/"));
    QTest::keyClick(picker.field, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(picker.field->selectedText(), Q(dir / "ROCK/"));
    QCOMPARE(picker.field->text(), Q(dir / "ROCK/"));
    QTest::keyClicks(picker.field, "/");  // what is typed next replaces the selection
    QCOMPARE(picker.field->text(), QString("/"));

    picker.Press(Qt::Key_Escape);
    QVERIFY(!picker.dialog.isVisible());
    QCOMPARE(picker.dialog.result(), int(QDialog::Rejected));
  }

  void enterOnTheFolderDisplayedChoosesIt() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("ROCK");
    Picker picker(dir.path());
    picker.Type(Q(dir / "ROCK"));
    picker.Press(Qt::Key_Return);  // displays it
    QVERIFY(picker.dialog.isVisible());
    QCOMPARE(picker.field->text(), Q(dir / "ROCK/"));
    picker.Press(Qt::Key_Return);  // chooses it, as Open does
    QCOMPARE(picker.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "ROCK/"));
  }

  void openAcceptsOnlyWhatTheChecksAccept() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("ROCK");
    dir.WriteFile("song.mp3");
    MessageBoxRecorder messages;
    {
      Picker picker(dir.path());
      picker.Type(Q(dir / "song.mp3"));
      picker.ClickOpen();
      QCOMPARE(messages.texts(),
               QStringList({Q(dir / "song.mp3") + "\nThis is a file not a directory."}));
      QVERIFY(picker.dialog.isVisible());
      picker.Type(Q(dir / "gone"));
      picker.ClickOpen();  // the creation question, declined
      QVERIFY(picker.dialog.isVisible());
      QVERIFY(!fs::exists(dir / "gone"));
      picker.Type("ROCK");  // relative to the folder displayed
      picker.ClickOpen();
      QCOMPARE(picker.dialog.result(), int(QDialog::Accepted));
      QCOMPARE(picker.dialog.GetFolder(), Q(dir / "ROCK/"));
    }
    {
      Picker picker(dir.path());
      picker.Type("");
      picker.ClickOpen();
      QCOMPARE(picker.dialog.result(), int(QDialog::Accepted));
      QCOMPARE(picker.dialog.GetFolder(), Q(dir.path()) + "/");
    }
    QCOMPARE(messages.texts().size(), 2);
  }

  void theListShowsFoldersOnlyUntilAnotherChoice() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("a");
    dir.WriteFile("b.mp3");
    dir.WriteFile("c.txt");
    Picker picker(dir.path(), "MP3 Files (*.mp3)|*.mp3||");
    auto* types = picker.dialog.findChild<QComboBox*>("fileTypes");
    QCOMPARE(types->count(), 2);
    QCOMPARE(types->itemText(0), QString("Show Folders Only"));
    QCOMPARE(types->itemText(1), QString("MP3 Files (*.mp3)"));
    QAbstractItemModel* model = picker.view->model();
    QTRY_COMPARE(model->rowCount(picker.view->rootIndex()), 1);
    types->setCurrentIndex(1);
    QTRY_COMPARE(model->rowCount(picker.view->rootIndex()), 2);

    Picker plain(dir.path());
    QCOMPARE(plain.dialog.findChild<QComboBox*>("fileTypes")->itemText(1),
             QString("All Files (*.*)"));
  }

  void enterInTheListOpensAFolderAndBackspaceGoesUp() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("a");
    Picker picker(dir.path());
    auto* model = static_cast<QFileSystemModel*>(picker.view->model());
    QTRY_COMPARE(model->rowCount(picker.view->rootIndex()), 1);
    picker.view->setCurrentIndex(model->index(Q(dir / "a")));
    QTest::keyClick(picker.view, Qt::Key_Return);
    QCOMPARE(picker.dialog.GetFolder(), Q(dir / "a/"));
    QVERIFY(picker.dialog.isVisible());
    QTest::keyClick(picker.view, Qt::Key_Backspace);
    QCOMPARE(picker.dialog.GetFolder(), Q(dir.path()) + "/");
  }

  // Without a test seam the wizard's folder choices run the picker, which starts where
  // the last one ended.
  void chooseFolderRunsThePicker() {
    sorvina::test::TempDir dir;
    dir.MakeFolder("ROCK");
    QString startedIn;
    auto answer = [&](bool open) {
      QTimer::singleShot(0, [&, open] {
        auto* picker = qobject_cast<FolderDialog*>(QApplication::activeModalWidget());
        QVERIFY(picker);
        auto* field = picker->findChild<FolderEdit*>("folderField");
        startedIn = field->text();
        field->setText(Q(dir / "ROCK"));
        QTest::mouseClick(picker->findChild<QPushButton*>(open ? "openButton" : "cancelButton"),
                          Qt::LeftButton);
      });
    };
    answer(true);
    QCOMPARE(ChooseFolder(), std::optional<QString>(Q(dir / "ROCK/")));
    answer(false);
    QCOMPARE(ChooseFolder(), std::nullopt);
    QCOMPARE(startedIn, Q(dir / "ROCK/"));
  }
};

QTEST_MAIN(FolderDialogTest)
#include "folder_dialog_test.moc"
