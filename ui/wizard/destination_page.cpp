// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/destination_page.h"

#include <initializer_list>
#include <optional>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "engine/report/summary_line.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/drop_down_list.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"

namespace sorvina::ui {
namespace {

// What the playlist written into the destination folder is called until the user names it.
constexpr char kDefaultDevicePlaylist[] = "Sorvina.m3u8";

// Whether `path` lies in the folder `root` or is that folder.
bool LiesIn(const QString& path, const QString& root) {
  const QString folder = QDir::cleanPath(root);
  const QString inside = QDir::cleanPath(path);
  return inside == folder ||
         inside.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

}  // namespace

bool DestinationIsPlaylist(const QString& destination) {
  return destination.size() > 4 && destination.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive);
}

DestinationPage::DestinationPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(tr("Sorvina step 2"), tr("Set what to do with the mp3 selection"), settings,
                 parent) {
  // Made in the order Tab visits them.
  copyToFolder_ =
      Named("copyToFolder", new QRadioButton(tr("Copy files to destination folder"), this));
  keepFolders_ = Named("keepFolders", new QCheckBox(tr("Keep each file's folders"), this));
  replacePrevious_ =
      Named("replacePrevious", new QCheckBox(tr("Replace the songs of the previous fill"), this));
  devicePlaylist_ =
      Named("devicePlaylist", new QCheckBox(tr("Write a playlist into the folder:"), this));
  devicePlaylistName_ = Named("devicePlaylistName", new QLineEdit(this));
  devicePlaylistName_->setToolTip(tr("A name ending in .m3u8, inside the folder"));
  createPlaylist_ = Named("createPlaylist", new QRadioButton(tr("Create playlist"), this));
  relative_ =
      Named("relativePaths", new QCheckBox(tr("Write paths relative to the playlist"), this));
  auto* set = Named("setDestination", new QPushButton(tr("Set"), this));
  label_ =
      Named("destinationLabel", new QLabel(tr("Set destination folder or playlist file"), this));
  destinationField_ = Named("destinationField", new QLineEdit(this));
  auto* playerLabel = new QLabel(tr("Player:"), this);
  players_ = Named("playerChoice", new DropDownList(this));
  players_->setToolTip(tr("USB sticks, memory cards and players plugged in"));
  playerLabel->setBuddy(players_);

  // Each choice's options stand beneath its text, indented past its round button.
  auto* choices = new QGridLayout;
  choices->setColumnMinimumWidth(
      0, style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, copyToFolder_));
  choices->setColumnStretch(1, 1);
  // Each button takes the room of its text only, where a click counts.
  choices->addWidget(copyToFolder_, 0, 0, 1, 2, Qt::AlignLeft);
  choices->addWidget(keepFolders_, 1, 1, Qt::AlignLeft);
  choices->addWidget(replacePrevious_, 2, 1, Qt::AlignLeft);
  auto* devicePlaylistRow = new QHBoxLayout;
  devicePlaylistRow->addWidget(devicePlaylist_);
  devicePlaylistRow->addWidget(devicePlaylistName_, 1);
  choices->addLayout(devicePlaylistRow, 3, 1);
  choices->addWidget(createPlaylist_, 4, 0, 1, 2, Qt::AlignLeft);
  choices->addWidget(relative_, 5, 1, Qt::AlignLeft);
  auto* setRow = new QHBoxLayout;
  setRow->addWidget(set);
  setRow->addWidget(label_, 1);
  auto* playerRow = new QHBoxLayout;
  playerRow->addWidget(playerLabel);
  playerRow->addWidget(players_, 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(choices);
  page->addSpacing(fontMetrics().height() / 2);
  page->addLayout(setRow);
  page->addWidget(destinationField_);
  page->addLayout(playerRow);
  page->addStretch();

  connect(copyToFolder_, &QRadioButton::clicked, this, [this] { SwitchChoice(true); });
  connect(createPlaylist_, &QRadioButton::clicked, this, [this] { SwitchChoice(false); });
  connect(devicePlaylist_, &QCheckBox::toggled, this,
          [this] { ShowChoice(copyToFolder_->isChecked()); });
  connect(set, &QPushButton::clicked, this, &DestinationPage::ChooseDestination);
  // The text of the choice shown is that choice's own, however it came there.
  connect(destinationField_, &QLineEdit::textChanged, this, [this](const QString& text) {
    (showingCopy_ ? folderText_ : playlistText_) = text;
    ShowPlayerOf(text);
  });
  connect(players_, &DropDownList::aboutToOpen, this, &DestinationPage::ListPlayers);
  connect(players_, &QComboBox::activated, this, &DestinationPage::ChoosePlayer);
}

void DestinationPage::ShowChoice(bool copy) {
  label_->setText(copy ? tr("Set destination folder") : tr("Set playlist file"));
  // Folders, replacing, a playlist inside and the players go with a copy; relative paths
  // with a playlist.
  for (QWidget* copyOption :
       std::initializer_list<QWidget*>{keepFolders_, replacePrevious_, devicePlaylist_, players_})
    copyOption->setEnabled(copy);
  devicePlaylistName_->setEnabled(copy && devicePlaylist_->isChecked());
  relative_->setEnabled(!copy);
}

void DestinationPage::SwitchChoice(bool copy) {
  if (copy != showingCopy_) {
    showingCopy_ = copy;
    destinationField_->setText(copy ? folderText_ : playlistText_);
  }
  ShowChoice(copy);
}

void DestinationPage::ShowSettings() {
  const QString destination = FromEngineText(settings_.destination);
  // An empty destination has no ending to tell the choice; the one last made stands.
  const bool copy =
      destination.isEmpty() ? copyWhenEmpty_.value_or(true) : !DestinationIsPlaylist(destination);
  const engine::ExtraOptions& options = settings_.options;
  createPlaylist_->setChecked(!copy);
  copyToFolder_->setChecked(copy);
  showingCopy_ = copy;
  (copy ? folderText_ : playlistText_) = destination;
  destinationField_->setText(destination);
  keepFolders_->setChecked(options.keepFolders);
  replacePrevious_->setChecked(options.replacePrevious);
  devicePlaylist_->setChecked(!options.devicePlaylist.empty());
  devicePlaylistName_->setText(options.devicePlaylist.empty()
                                   ? QString::fromLatin1(kDefaultDevicePlaylist)
                                   : FromEngineText(options.devicePlaylist));
  relative_->setChecked(options.relative);
  ShowChoice(copy);
  ListPlayers();
}

bool DestinationPage::validatePage() {
  StoreInto(settings_);
  if (destinationField_->text().isEmpty()) {
    copyWhenEmpty_ = copyToFolder_->isChecked();
  } else {
    copyWhenEmpty_.reset();
  }
  return true;
}

void DestinationPage::StoreInto(engine::SettingsText& settings) const {
  settings.copyToFolder = copyToFolder_->isChecked();
  settings.destination = ToEngineText(destinationField_->text());
  engine::ExtraOptions& options = settings.options;
  options.keepFolders = keepFolders_->isChecked();
  options.replacePrevious = replacePrevious_->isChecked();
  options.devicePlaylist =
      devicePlaylist_->isChecked() ? ToEngineText(devicePlaylistName_->text().trimmed()) : "";
  options.relative = relative_->isChecked();
}

void DestinationPage::SetDestination(const QString& destination) {
  // A destination chosen counts at once; one typed counts from Next on.
  settings_.destination = ToEngineText(destination);
  destinationField_->setText(destination);
}

void DestinationPage::ChooseDestination() {
  // The dialogs start where the destination shown lies.
  const QString current = destinationField_->text();
  std::optional<QString> chosen;
  if (copyToFolder_->isChecked()) {
    chosen = ChooseFolder(this, current);
  } else {
    chosen = ChooseFileToSave(
        this, FilterWithAllFiles(tr("Play List Files (*.m3u)"), QStringLiteral("*.m3u")),
        QStringLiteral("m3u"), current.isEmpty() ? QString() : QFileInfo(current).path());
  }
  if (chosen) SetDestination(*chosen);
}

void DestinationPage::ListPlayers() {
  volumes_ = RemovableVolumes();
  players_->clear();
  for (const RemovableVolume& volume : volumes_) {
    players_->addItem(tr("%1 (%2, %3 free)")
                          .arg(volume.name, Translated(engine::SizeText(volume.bytesTotal)),
                               Translated(engine::SizeText(volume.bytesFree))));
  }
  players_->setPlaceholderText(volumes_.empty() ? tr("No player found") : tr("Choose a player"));
  ShowPlayerOf(destinationField_->text());
}

void DestinationPage::ShowPlayerOf(const QString& destination) {
  int shown = -1;
  for (std::size_t i = 0; i < volumes_.size() && !destination.isEmpty(); ++i) {
    if (LiesIn(destination, volumes_[i].rootPath)) shown = static_cast<int>(i);
  }
  players_->setCurrentIndex(shown);
}

void DestinationPage::ChoosePlayer(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= volumes_.size()) return;
  SetDestination(DestinationOnVolume(volumes_[static_cast<std::size_t>(index)]));
}

}  // namespace sorvina::ui
