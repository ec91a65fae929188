#include "ui/wizard/weights_page.h"

#include <QPushButton>

#include "engine/settings/folder_weights.h"
#include "resources/resource_ids.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/path_drop_target.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/wizard/sources_page.h"
#include "ui/wizard/weight_dialog.h"

namespace sorvina::ui {

using namespace resources;

WeightsPage::WeightsPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(kIddWeightsPage, kIdsPage3Caption, kIdsPage3Header, settings, parent),
      weightList_(Control<SortedListBox>(kIdcWeightList)) {
  NameControl(kIdcWeightList, "weightList");
  NameControl(kIdcAddWeight, "addWeight");
  NameControl(kIdcRemoveWeight, "removeWeight");
  NameControl(kIdcChangeWeight, "changeWeight");
  connect(Control<QPushButton>(kIdcAddWeight), &QPushButton::clicked, this,
          &WeightsPage::AddWeight);
  connect(Control<QPushButton>(kIdcRemoveWeight), &QPushButton::clicked, this,
          &WeightsPage::RemoveWeight);
  connect(Control<QPushButton>(kIdcChangeWeight), &QPushButton::clicked, this,
          &WeightsPage::ChangeWeight);
  auto* drops = new PathDropTarget(weightList_->viewport(), IsFolderPath);
  connect(drops, &PathDropTarget::dropped, this, &WeightsPage::AddDroppedFolders);
}

void WeightsPage::OnEntered() {
  weightList_->clear();
  for (const std::string& entry : settings_.weightEntries)
    weightList_->InsertSorted(FromEngineText(entry));
  if (!settings_.weightEntries.empty()) weightList_->SelectRow(0);
  SetWizardButtons(kWizardBack | kWizardNext);
}

bool WeightsPage::validatePage() {
  StoreInto(settings_);
  return true;
}

void WeightsPage::cleanupPage() {
  StoreInto(settings_);
}

void WeightsPage::StoreInto(engine::SettingsText& settings) const {
  settings.weightEntries.clear();
  for (const QString& text : weightList_->Texts())
    settings.weightEntries.push_back(ToEngineText(text));
}

std::optional<double> WeightsPage::AskWeight(const QString& folder, const QString& current) {
  WeightDialog dialog(folder, current, window());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.weight;
}

void WeightsPage::AddFolderWeight(const QString& folder) {
  const std::optional<double> weight = AskWeight(folder);
  if (!weight) return;
  const std::string entry = engine::FormatFolderWeightEntry(*weight, ToEngineText(folder));
  weightList_->SelectRow(weightList_->InsertSorted(FromEngineText(entry)));
}

void WeightsPage::AddWeight() {
  if (const std::optional<QString> folder = ChooseFolder(this)) AddFolderWeight(*folder);
}

void WeightsPage::AddDroppedFolders(const QStringList& folders) {
  // Each folder's weight is asked in turn; Cancel passes over that folder only.
  for (const QString& folder : folders)
    AddFolderWeight(FolderEntryText(folder));
}

void WeightsPage::RemoveWeight() {
  RemoveSelectedEntry(*weightList_);
}

void WeightsPage::ChangeWeight() {
  const int selected = weightList_->SelectedRow();
  if (selected < 0) return;
  const QString text = weightList_->Text(selected);
  const qsizetype blank = text.indexOf(QLatin1Char(' '));
  const std::optional<double> weight =
      AskWeight(blank < 0 ? QString() : text.mid(blank + 1), text.left(blank));
  if (!weight) return;
  const std::string entry = engine::ChangeEntryWeight(ToEngineText(text), *weight);
  weightList_->RemoveRow(selected);
  weightList_->SelectRow(weightList_->InsertSorted(FromEngineText(entry)));
}

}  // namespace sorvina::ui
