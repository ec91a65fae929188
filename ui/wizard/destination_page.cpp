#include "ui/wizard/destination_page.h"

#include <initializer_list>
#include <optional>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "resources/resource_ids.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/path_text.h"

namespace sorvina::ui {
namespace {

using namespace resources;

constexpr char kPlaylistFilter[] = "Play List Files (*.m3u)|*.m3u|All Files (*.*)|*.*||";
constexpr char kFolderLabel[] = "Set destination folder";
constexpr char kPlaylistLabel[] = "Set playlist file";
// What the playlist written into the destination folder is called until the user names it.
constexpr char kDefaultDevicePlaylist[] = "Sorvina.m3u8";

}  // namespace

bool DestinationIsPlaylist(const QString& destination) {
  return destination.size() > 4 && destination.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive);
}

DestinationPage::DestinationPage(engine::SelectionSettings& settings, QWidget* parent)
    : WizardPage(kIddDestinationPage, kIdsPage2Caption, kIdsPage2Header, settings, parent),
      createPlaylist_(Control<QRadioButton>(kIdcCreatePlaylist)),
      copyToFolder_(Control<QRadioButton>(kIdcCopyToFolder)),
      label_(Control<QLabel>(kIdcDestinationLabel)),
      destinationField_(Control<QLineEdit>(kIdcDestinationField)),
      keepFolders_(Control<QCheckBox>(kIdcKeepFolders)),
      replacePrevious_(Control<QCheckBox>(kIdcReplacePrevious)),
      devicePlaylist_(Control<QCheckBox>(kIdcDevicePlaylist)),
      devicePlaylistName_(Control<QLineEdit>(kIdcDevicePlaylistName)),
      relative_(Control<QCheckBox>(kIdcRelative)) {
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
  devicePlaylistName_->setToolTip(QStringLiteral("A name ending in .m3u8, inside the folder"));
  connect(copyToFolder_, &QRadioButton::clicked, this, [this] { ShowChoice(true); });
  connect(createPlaylist_, &QRadioButton::clicked, this, [this] { ShowChoice(false); });
  connect(devicePlaylist_, &QCheckBox::toggled, this,
          [this] { ShowChoice(copyToFolder_->isChecked()); });
  connect(Control<QPushButton>(kIdcSetDestination), &QPushButton::clicked, this,
          &DestinationPage::ChooseDestination);
}

void DestinationPage::ShowChoice(bool copy) {
  label_->setText(QString::fromLatin1(copy ? kFolderLabel : kPlaylistLabel));
  // Folders, replacing and a playlist inside go with a copy; relative paths with a playlist.
  for (QWidget* copyOption :
       std::initializer_list<QWidget*>{keepFolders_, replacePrevious_, devicePlaylist_})
    copyOption->setEnabled(copy);
  devicePlaylistName_->setEnabled(copy && devicePlaylist_->isChecked());
  relative_->setEnabled(!copy);
}

void DestinationPage::OnEntered() {
  const bool playlist = DestinationIsPlaylist(FromEngineText(settings_.destination));
  const engine::ExtraOptions& options = settings_.options;
  createPlaylist_->setChecked(playlist);
  copyToFolder_->setChecked(!playlist);
  destinationField_->setText(FromEngineText(settings_.destination));
  keepFolders_->setChecked(options.keepFolders);
  replacePrevious_->setChecked(options.replacePrevious);
  devicePlaylist_->setChecked(!options.devicePlaylist.empty());
  devicePlaylistName_->setText(options.devicePlaylist.empty()
                                   ? QString::fromLatin1(kDefaultDevicePlaylist)
                                   : FromEngineText(options.devicePlaylist));
  relative_->setChecked(options.relative);
  ShowChoice(!playlist);
  SetWizardButtons(kWizardBack | kWizardNext);
}

bool DestinationPage::validatePage() {
  settings_.copyToFolder = copyToFolder_->isChecked();
  settings_.destination = ToEngineText(destinationField_->text());
  engine::ExtraOptions& options = settings_.options;
  options.keepFolders = keepFolders_->isChecked();
  options.replacePrevious = replacePrevious_->isChecked();
  options.devicePlaylist =
      devicePlaylist_->isChecked() ? ToEngineText(devicePlaylistName_->text().trimmed()) : "";
  options.relative = relative_->isChecked();
  return true;
}

void DestinationPage::ChooseDestination() {
  std::optional<QString> chosen;
  if (copyToFolder_->isChecked()) {
    chosen = ChooseFolder(this);
  } else {
    chosen =
        ChooseFileToSave(this, QString::fromLatin1(kPlaylistFilter), QStringLiteral("m3u"), {});
  }
  if (!chosen) return;
  settings_.destination = ToEngineText(*chosen);
  destinationField_->setText(*chosen);
}

}  // namespace sorvina::ui
