// Dialog templates turned into widgets, and the string table.

#include "ui/shell/dialog_builder.h"

#include <set>

#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "resources/dialog_templates.h"
#include "resources/resource_ids.h"
#include "resources/string_table.h"
#include "tests/ui/ui_test_support.h"

namespace sorvina::ui {
namespace {

using resources::ControlKind;
using resources::FindDialogTemplate;

struct ExpectedTemplate {
  int id;
  const char* caption;
  QSize size;
  std::set<int> ids;
};

const ExpectedTemplate kTemplates[] = {
    {104,
     "Select Source(s)",
     {286, 134},
     {1000, 1001, 1002, 1016, 1017, 1040, 1041, 1042, 1043, 1044, 1045, 1046, 1047}},
    {105,
     "Select Destination",
     {284, 150},
     {1003, 1004, 1014, 1015, 1020, 1021, 1025, 1026, 1027, 1028, 1031}},
    {106, "Set Folder Weights", {301, 138}, {1005, 1006, 1007, 1009}},
    {107,
     "Final Settings",
     {304, 175},
     {1008, 1009, 1010, 1011, 1012, 1013, 1018, 1022, 1023, 1024, 1029, 1030}},
    {129, "Folder weight", {253, 102}, {1, 2, 1019, 1032}},
};

const char* ClassFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton:
      return "QPushButton";
    case ControlKind::kRadioButton:
      return "QRadioButton";
    case ControlKind::kCheckBox:
      return "QCheckBox";
    case ControlKind::kLabel:
      return "QLabel";
    case ControlKind::kGroupBox:
      return "QGroupBox";
    case ControlKind::kEditField:
      return "QLineEdit";
    case ControlKind::kListBox:
      return "sorvina::ui::SortedListBox";
    case ControlKind::kOwnerDrawnButton:
      return "sorvina::ui::LinkButton";
    case ControlKind::kComboBox:
      return "sorvina::ui::DropDownList";
  }
  return "";
}

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* field = qobject_cast<QLineEdit*>(widget)) return field->text();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  return QString();
}

// Builds template `id` on `parent` and checks each control against its template entry:
// kind, text, name, and place (labelled controls may be wider, to show their whole text,
// and the dialog with them).
void BuildAndCheck(int id, QWidget& parent) {
  const resources::DialogTemplate& dialog = FindDialogTemplate(id);
  const BuiltDialog built = BuildDialog(dialog, &parent);
  const QSize units = DialogBaseUnits(parent.font());
  const QSize size = DialogUnitsToPixels(QRect(0, 0, dialog.width, dialog.height), units).size();
  QCOMPARE(built.size.height(), size.height());
  QVERIFY(built.size.width() >= size.width());
  QCOMPARE(parent.minimumSize(), built.size);

  const QList<QWidget*> children = parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  QCOMPARE(children.size(), static_cast<qsizetype>(dialog.controls.size()));
  std::set<int> ids;
  for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
    const resources::ControlTemplate& control = dialog.controls[i];
    QWidget* widget = children[static_cast<qsizetype>(i)];
    QCOMPARE(widget->metaObject()->className(), ClassFor(control.kind));
    QCOMPARE(TextOf(widget), QString::fromUtf8(control.text));
    if (control.id != resources::kNoControlId) {
      QCOMPARE(built.controls.at(control.id), widget);
      QCOMPARE(widget->objectName(), QStringLiteral("control%1").arg(control.id));
      QVERIFY(ids.insert(control.id).second);
    }
    const QRect place =
        DialogUnitsToPixels(QRect(control.x, control.y, control.width, control.height), units);
    QCOMPARE(widget->pos(), place.topLeft());
    QCOMPARE(widget->height(), place.height());
    const bool labelled =
        (control.kind == ControlKind::kLabel || control.kind == ControlKind::kRadioButton ||
         control.kind == ControlKind::kCheckBox) &&
        control.text[0] != '\0';
    if (labelled) {
      QVERIFY2(widget->width() >= std::max(place.width(), widget->sizeHint().width()),
               control.text);
    } else {
      QCOMPARE(widget->width(), place.width());
    }
    QVERIFY2(widget->geometry().right() < built.size.width(), control.text);
  }
  QCOMPARE(built.controls.size(), ids.size());
}

}  // namespace

class DialogBuilderTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QCOMPARE(test::TopLevelWidgetsLeft(), QStringList()); }

  void dialogUnitsRoundToTheNearestPixel() {
    const QSize units(6, 13);
    QCOMPARE(DialogUnitsToPixels(QRect(7, 7, 54, 14), units), QRect(11, 11, 81, 23));
    QCOMPARE(DialogUnitsToPixels(QRect(0, 0, 286, 134), units), QRect(0, 0, 429, 218));
    // Halves go away from zero, on either side of it.
    QCOMPARE(DialogUnitsToPixels(QRect(1, 4, 3, 12), units), QRect(2, 7, 5, 20));
    QCOMPARE(DialogUnitsToPixels(QRect(-1, -4, 0, 0), units), QRect(-2, -7, 0, 0));
    QCOMPARE(DialogUnitsToPixels(QRect(7, 7, 50, 14), QSize(7, 16)), QRect(12, 14, 88, 28));
    // No overflow on the way to a result that fits.
    QCOMPARE(DialogUnitsToPixels(QRect(0, 0, 100'000'000, 8), QSize(40, 16)).width(),
             1'000'000'000);

    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(13);
    if (!QFontInfo(mono).fixedPitch()) QSKIP("no fixed-pitch font installed");
    // Every letter is equally wide, so the average is that width.
    const QFontMetrics metrics(mono);
    QCOMPARE(DialogBaseUnits(mono),
             QSize(metrics.horizontalAdvance(QLatin1Char('x')), metrics.height()));
  }

  void everyTemplateBuildsEachControlOnceInItsPlace() {
    for (const ExpectedTemplate& expected : kTemplates) {
      const resources::DialogTemplate& dialog = FindDialogTemplate(expected.id);
      QCOMPARE(QString::fromUtf8(dialog.caption), QString::fromUtf8(expected.caption));
      QCOMPARE(QSize(dialog.width, dialog.height), expected.size);
      QWidget parent;
      BuildAndCheck(expected.id, parent);
      std::set<int> ids;
      for (const resources::ControlTemplate& control : dialog.controls) {
        if (control.id != resources::kNoControlId) ids.insert(control.id);
      }
      QCOMPARE(ids, expected.ids);

      // In a font far wider than the templates were made for, no text is cut off.
      QWidget wide;
      QFont font = wide.font();
      font.setPixelSize(24);
      font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
      wide.setFont(font);
      BuildAndCheck(expected.id, wide);
    }
  }

  void radioButtonsOfOnePageExcludeEachOtherAboveTheirFrame() {
    QWidget page;
    const BuiltDialog built = BuildDialog(FindDialogTemplate(resources::kIddFinalPage), &page);
    auto* megabytes = qobject_cast<QRadioButton*>(built.controls.at(resources::kIdcMegabyteButton));
    auto* hours = qobject_cast<QRadioButton*>(built.controls.at(resources::kIdcHoursButton));
    auto* all = qobject_cast<QRadioButton*>(built.controls.at(resources::kIdcAllButton));
    megabytes->setChecked(true);
    QTest::mouseClick(hours, Qt::LeftButton);
    QVERIFY(hours->isChecked() && !megabytes->isChecked());
    all->click();
    QVERIFY(all->isChecked() && !hours->isChecked() && !megabytes->isChecked());
    // The frame, made first, lies beneath what it surrounds.
    for (QWidget* control : {static_cast<QWidget*>(megabytes), built.controls.at(1008)})
      QCOMPARE(page.childAt(control->geometry().center()), control);

    QWidget other;
    const BuiltDialog second =
        BuildDialog(FindDialogTemplate(resources::kIddDestinationPage), &other);
    qobject_cast<QRadioButton*>(second.controls.at(resources::kIdcCreatePlaylist))->click();
    QVERIFY(all->isChecked());
  }

  void onlyTheDefaultButtonAnswersEnter() {
    QDialog dialog;
    const BuiltDialog built = BuildDialog(FindDialogTemplate(resources::kIddWeightDialog), &dialog);
    auto* ok = qobject_cast<QPushButton*>(built.controls.at(resources::kIdOk));
    auto* cancel = qobject_cast<QPushButton*>(built.controls.at(resources::kIdCancel));
    QVERIFY(ok->isDefault());
    QVERIFY(!cancel->isDefault() && !cancel->autoDefault());
    QSignalSpy okClicked(ok, &QPushButton::clicked);
    QSignalSpy cancelClicked(cancel, &QPushButton::clicked);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* field = built.controls.at(resources::kIdcWeightField);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(okClicked.count(), 1);
    QCOMPARE(cancelClicked.count(), 0);
    dialog.close();
  }

  void stringTableHoldsTheTexts() {
    using resources::LoadResourceString;
    QCOMPARE(LoadResourceString(resources::kIdsSheetCaption), QStringLiteral("Wizard"));
    QCOMPARE(LoadResourceString(resources::kIdsPage1Header),
             QStringLiteral("Select source folders and/or playlists"));
    QCOMPARE(LoadResourceString(resources::kIdsPage2Header),
             QStringLiteral("Set what to do with the mp3 selection"));
    QCOMPARE(LoadResourceString(resources::kIdsPage2Caption), QStringLiteral("Sorvina step 2"));
    QCOMPARE(LoadResourceString(104), QString());  // a dialog, not a string
  }
};

}  // namespace sorvina::ui

QTEST_MAIN(sorvina::ui::DialogBuilderTest)
#include "dialog_builder_test.moc"
