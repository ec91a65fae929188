#include "ui/wizard/destination_page.h"

#include <initializer_list>
#include <optional>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/report/summary_line.h"
#include "resources/resource_ids.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/drop_down_list.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"

namespace sorvina::ui {
namespace {

using namespace resources;

// What the playlist written into the destination folder is called until the user names it.
constexpr char kDefaultDevicePlaylist[] = "Sorvina.m3u8";

}  // namespace

bool DestinationIsPlaylist(const QString& destination) {
  return destination.size() > 4 && destination.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive);
}

DestinationPage::DestinationPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(kIddDestinationPage, kIdsPage2Caption, kIdsPage2Header, settings, parent),
      createPlaylist_(Control<QRadioButton>(kIdcCreatePlaylist)),
      copyToFolder_(Control<QRadioButton>(kIdcCopyToFolder)),
      label_(Control<QLabel>(kIdcDestinationLabel)),
      destinationField_(Control<QLineEdit>(kIdcDestinationField)),
      keepFolders_(Control<QCheckBox>(kIdcKeepFolders)),
      replacePrevious_(Control<QCheckBox>(kIdcReplacePrevious)),
      devicePlaylist_(Control<QCheckBox>(kIdcDevicePlaylist)),
      devicePlaylistName_(Control<QLineEdit>(kIdcDevicePlaylistName)),
      relative_(Control<QCheckBox>(kIdcRelative)),
      players_(Control<DropDownList>(kIdcPlayerChoice)) {
  NameControl(kIdcCreatePlaylist, "createPlaylist");
  NameControl(kIdcCopyToFolder, "copyToFolder");
  NameControl(kIdcDestinationLabel, "destinationLabel");
  NameControl(kIdcDestinationField, "destinationField");
  NameControl(kIdcSetDestination, "setDestination");
  NameControl(kIdcKeepFolders, "keepFolders");
  NameControl(kIdcReplacePrevious, "replacePrevious");
  NameControl(kIdcDevicePlaylist, "devicePlaylist");
  NameControl(kIdcDevicePlaylistName, "devicePlaylistName");
  NameControl(kIdcRelative, "relativePaths");
  NameControl(kIdcPlayerChoice, "playerChoice");
  devicePlaylistName_->setToolTip(tr("A name ending in .m3u8, inside the folder"));
  players_->setToolTip(tr("USB sticks, memory cards and players plugged in"));
  connect(copyToFolder_, &QRadioButton::clicked, this, [this] { SwitchChoice(true); });
  connect(createPlaylist_, &QRadioButton::clicked, this, [this] { SwitchChoice(false); });
  connect(devicePlaylist_, &QCheckBox::toggled, this,
          [this] { ShowChoice(copyToFolder_->isChecked()); });
  connect(Control<QPushButton>(kIdcSetDestination), &QPushButton::clicked, this,
          &DestinationPage::ChooseDestination);
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
    (showingCopy_ ? folderText_ : playlistText_) = destinationField_->text();
    destinationField_->setText(copy ? folderText_ : playlistText_);
    showingCopy_ = copy;
  }
  ShowChoice(copy);
}

void DestinationPage::OnEntered() {
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
  SetWizardButtons(kWizardBack | kWizardNext);
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
  settings_.destination = ToEngineText(destination);
  destinationField_->setText(destination);
}

void DestinationPage::ChooseDestination() {
  std::optional<QString> chosen;
  if (copyToFolder_->isChecked()) {
    chosen = ChooseFolder(this);
  } else {
    chosen = ChooseFileToSave(
        this, FilterWithAllFiles(tr("Play List Files (*.m3u)"), QStringLiteral("*.m3u")),
        QStringLiteral("m3u"), {});
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
  players_->setCurrentIndex(-1);
}

void DestinationPage::ChoosePlayer(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= volumes_.size()) return;
  SetDestination(DestinationOnVolume(volumes_[static_cast<std::size_t>(index)]));
}

}  // namespace sorvina::ui
