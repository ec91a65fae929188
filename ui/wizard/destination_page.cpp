#include "ui/wizard/destination_page.h"

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
      keepFolders_(Control<QCheckBox>(kIdcKeepFolders)) {
  NameControl(kIdcCreatePlaylist, "createPlaylist");
  NameControl(kIdcCopyToFolder, "copyToFolder");
  NameControl(kIdcDestinationLabel, "destinationLabel");
  NameControl(kIdcDestinationField, "destinationField");
  NameControl(kIdcSetDestination, "setDestination");
  NameControl(kIdcKeepFolders, "keepFolders");
  // Folders are kept only in a copy; a playlist names each file where it is.
  connect(copyToFolder_, &QRadioButton::clicked, this, [this] {
    label_->setText(QString::fromLatin1(kFolderLabel));
    keepFolders_->setEnabled(true);
  });
  connect(createPlaylist_, &QRadioButton::clicked, this, [this] {
    label_->setText(QString::fromLatin1(kPlaylistLabel));
    keepFolders_->setEnabled(false);
  });
  connect(Control<QPushButton>(kIdcSetDestination), &QPushButton::clicked, this,
          &DestinationPage::ChooseDestination);
}

void DestinationPage::OnEntered() {
  const bool playlist = DestinationIsPlaylist(FromEngineText(settings_.destination));
  createPlaylist_->setChecked(playlist);
  copyToFolder_->setChecked(!playlist);
  label_->setText(QString::fromLatin1(playlist ? kPlaylistLabel : kFolderLabel));
  destinationField_->setText(FromEngineText(settings_.destination));
  keepFolders_->setChecked(settings_.options.keepFolders);
  keepFolders_->setEnabled(!playlist);
  SetWizardButtons(kWizardBack | kWizardNext);
}

bool DestinationPage::validatePage() {
  settings_.copyToFolder = copyToFolder_->isChecked();
  settings_.destination = ToEngineText(destinationField_->text());
  settings_.options.keepFolders = keepFolders_->isChecked();
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
