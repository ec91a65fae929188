// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the wizard's pages, the weight dialog, the folder picker and the progress window
// to PNG files, offscreen, with an example filled in: the pictures README shows. In a
// language other than English (LANG, LANGUAGE) it renders the destination page alone, as
// "page2-destination-LANGUAGE.png"; on a screen scaled up (QT_SCALE_FACTOR=2) the last page
// alone, as "page4-amount@2x.png". Usage:
//   sorvina-screenshots OUTPUT_FOLDER
#include <cstdio>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>

#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "engine/settings/settings_text.h"
#include "ui/progress/progress_window.h"
#include "ui/shell/application_name.h"
#include "ui/shell/drop_down_list.h"
#include "ui/shell/folder_dialog.h"
#include "ui/shell/removable_volumes.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/shell/translated_text.h"
#include "ui/wizard/amount_page.h"
#include "ui/wizard/selection_wizard.h"
#include "ui/wizard/sources_page.h"
#include "ui/wizard/weight_dialog.h"

namespace {

// The offscreen platform draws no window frames; a plain caption bar above the window's
// contents shows the title that a desktop would.
QImage WithCaption(QWidget& widget) {
  const QPixmap contents = widget.grab();
  const QFontMetrics metrics(widget.font());
  const int captionHeight = metrics.height() + 12;
  const qreal scale = contents.devicePixelRatio();
  const QSize size = contents.deviceIndependentSize().toSize() + QSize(0, captionHeight);
  QImage image(size * scale, QImage::Format_RGB32);
  image.setDevicePixelRatio(scale);
  QPainter painter(&image);
  const QPalette& palette = widget.palette();
  painter.fillRect(0, 0, image.width(), captionHeight, palette.color(QPalette::Dark));
  painter.setPen(palette.color(QPalette::BrightText));
  painter.setFont(widget.font());
  painter.drawText(QRect(10, 0, image.width() - 20, captionHeight), Qt::AlignVCenter,
                   widget.windowTitle());
  painter.drawPixmap(0, captionHeight, contents);
  return image;
}

bool SaveImage(const QImage& image, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  if (!image.save(path)) {
    std::fprintf(stderr, "sorvina-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
  QCoreApplication::processEvents();
  return SaveImage(WithCaption(widget), folder, name);
}

bool Save(QWidget& widget, const QDir& folder, const char* name) {
  return Save(widget, folder, QString::fromLatin1(name));
}

// The destination page with its list of players open: the list is a window of its own,
// drawn where it opens over the page.
bool SaveWithPlayers(QWidget& wizard, const QDir& folder, const QString& name) {
  auto* players = wizard.findChild<sorvina::ui::DropDownList*>(QStringLiteral("playerChoice"));
  players->showPopup();
  QCoreApplication::processEvents();
  QImage image = WithCaption(wizard);
  QWidget* popup = players->view()->window();
  const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - wizard.mapToGlobal(QPoint(0, 0)) +
                    QPoint(0, qRound(image.deviceIndependentSize().height()) - wizard.height());
  QPainter(&image).drawPixmap(at, popup->grab());
  players->hidePopup();
  return SaveImage(image, folder, name);
}

// Lets the picker's list load the folder it displays, which happens in the background.
void WaitForListing(const QTreeView& view, int rows) {
  QElapsedTimer timer;
  timer.start();
  while (view.model()->rowCount(view.rootIndex()) < rows && timer.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The picker over a small library, with "Ro" typed and completed to "Rock".
bool SaveFolderPicker(QWidget& owner, const QDir& folder) {
  QTemporaryDir home;
  const QDir library(home.path());
  for (const char* name : {"Music/Audiobooks", "Music/Jazz", "Music/Rock", "Music/Soundtracks"})
    library.mkpath(QString::fromLatin1(name));
  QFile(library.filePath(QStringLiteral("Music/Intro.mp3"))).open(QIODevice::WriteOnly);
  sorvina::ui::FolderDialog picker(library.filePath(QStringLiteral("Music")), std::nullopt, &owner);
  picker.show();
  WaitForListing(*picker.findChild<QTreeView*>(QStringLiteral("folderView")), 4);
  auto* field = picker.findChild<QLineEdit*>(QStringLiteral("folderField"));
  field->setText(library.filePath(QStringLiteral("Music/R")));
  QKeyEvent typed(QEvent::KeyPress, Qt::Key_O, Qt::NoModifier, QStringLiteral("o"));
  QApplication::sendEvent(field, &typed);
  return Save(picker, folder, "folder-picker.png");
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QString language = sorvina::ui::SetUpApplication();
  if (argc != 2) {
    std::fprintf(stderr, "usage: sorvina-screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "sorvina-screenshots: cannot make %s\n", argv[1]);
    return 1;
  }

  // A player filled afresh each week: its free space, the last fill replaced, the last two
  // avoided, a playlist on the player, what it cannot play converted, one loudness, an
  // artist's songs kept apart and favourites chosen more often.
  sorvina::engine::SettingsText settings;
  settings.destination = "/media/alex/PLAYER/Music/";
  settings.weightEntries = {"3.00 /home/alex/Music/Jazz/", "0.50 /home/alex/Music/Audiobooks/",
                            "2.00 /home/alex/Music/Rock/"};
  settings.limitMode = sorvina::engine::kLimitMegabytes;
  settings.amountText = "free";
  settings.options.fill = true;
  settings.options.keepFolders = true;
  settings.options.replacePrevious = true;
  settings.options.avoidLast = 2;
  settings.options.devicePlaylist = "Sorvina.m3u8";
  settings.options.convert = "auto";
  settings.options.loudness = -16;
  settings.options.spread = true;
  settings.options.ratingWeights = {{1, 0.2, 0.5, 1, 2, 4}};

  // Two players plugged in; the first has a music folder.
  sorvina::ui::FakeVolumeList players;
  players.volumes = {{QStringLiteral("PLAYER"), QStringLiteral("/media/alex/PLAYER"), 8'000'000'000,
                      1'300'000'000},
                     {QStringLiteral("SD CARD"), QStringLiteral("/media/alex/SD CARD"),
                      31'900'000'000, 13'300'000'000}};

  sorvina::ui::SelectionWizard wizard(settings);
  for (const char* source :
       {"/home/alex/Music/", "/home/alex/Lists/Party.m3u", "/media/alex/Archive/Music/"})
    wizard.sourcesPage().sourceList().InsertSorted(QString::fromLatin1(source));
  wizard.sourcesPage().sourceList().SelectRow(1);
  wizard.show();
  if (language != QLatin1String("en")) {
    wizard.next();
    return SaveWithPlayers(wizard, folder, QStringLiteral("page2-destination-%1.png").arg(language))
               ? 0
               : 1;
  }
  const bool scaled = wizard.devicePixelRatio() > 1;
  bool saved = true;
  if (!scaled) saved = Save(wizard, folder, "page1-sources.png");
  wizard.next();
  if (!scaled)
    saved = SaveWithPlayers(wizard, folder, QStringLiteral("page2-destination.png")) && saved;
  wizard.next();
  if (!scaled) saved = Save(wizard, folder, "page3-weights.png") && saved;
  wizard.next();
  // The last page as Finish leaves it: the line that says what was done.
  sorvina::engine::RunSummary done;
  done.copy = true;
  done.destination = settings.destination;
  done.chosenFiles = 217;
  done.doneFiles = 214;
  done.doneBytes = 2'072'000'000;
  done.replacement = sorvina::engine::Replacement{true, 198, 3, 0};
  // The player's free space, as the page would read it there.
  wizard.findChild<QLabel*>(QStringLiteral("freeSpaceFigure"))
      ->setText(QCoreApplication::translate("sorvina::ui::AmountPage", "free: %1")
                    .arg(sorvina::ui::Translated(
                        sorvina::engine::SizeText(players.volumes[0].bytesFree))));
  wizard.findChild<QLabel*>(QStringLiteral("summaryLine"))
      ->setText(sorvina::ui::Translated(sorvina::engine::SummaryText(done)));
  if (scaled)
    return Save(wizard, folder,
                QStringLiteral("page4-amount@%1x.png").arg(wizard.devicePixelRatio()))
               ? 0
               : 1;
  saved = Save(wizard, folder, "page4-amount.png") && saved;

  sorvina::ui::WeightDialog weightDialog(QStringLiteral("/home/alex/Music/Jazz/"), QString(),
                                         &wizard);
  weightDialog.findChild<QLineEdit*>(QStringLiteral("weightField"))->setText(QStringLiteral("1.5"));
  weightDialog.show();
  saved = Save(weightDialog, folder, "weight-dialog.png") && saved;
  weightDialog.hide();

  saved = SaveFolderPicker(wizard, folder) && saved;

  sorvina::ui::ProgressWindow progress(
      &wizard, sorvina::ui::Translated(sorvina::engine::kCreatingPlaylistTitle));
  progress.SetRange(0, 250);
  progress.SetPosition(105);
  saved = Save(progress, folder, "progress-window.png") && saved;
  return saved ? 0 : 1;
}
