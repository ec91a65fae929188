// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/weights_page.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/settings/folder_weights.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/number_text.h"
#include "ui/shell/path_drop_target.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/wizard/how_to_choose_box.h"
#include "ui/wizard/leave_out_box.h"
#include "ui/wizard/sources_page.h"
#include "ui/wizard/weight_dialog.h"

namespace sorvina::ui {

WeightsPage::WeightsPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(tr("Sorvina step 3"), tr("Set folder weights (optional)"), settings, parent) {
  // Made in the order Tab visits them.
  weightList_ = Named("weightList", new SortedListBox(this));
  auto* add = Named("addWeight", new QPushButton(tr("Add"), this));
  auto* remove = Named("removeWeight", new QPushButton(tr("Remove"), this));
  auto* change = Named("changeWeight", new QPushButton(tr("Change Weight"), this));
  howToChoose_ = Named("howToChoose", new HowToChooseBox(this));
  leaveOut_ = Named("leaveOut", new LeaveOutBox(this));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addSpacing(fontMetrics().height() * 2);
  buttons->addWidget(change);
  buttons->addStretch();
  auto* page = new QVBoxLayout(this);
  page->addWidget(weightList_, 1);
  page->addLayout(buttons);
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(howToChoose_);
  boxes->addWidget(leaveOut_);
  page->addLayout(boxes);

  connect(add, &QPushButton::clicked, this, &WeightsPage::AddWeight);
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelectedEntry(*weightList_); });
  connect(change, &QPushButton::clicked, this, &WeightsPage::ChangeWeight);
  auto* drops = new PathDropTarget(weightList_->viewport(), IsFolderPath);
  connect(drops, &PathDropTarget::dropped, this, &WeightsPage::AddDroppedFolders);
}

void WeightsPage::ShowSettings() {
  weightList_->clear();
  for (const std::string& entry : settings_.weightEntries)
    weightList_->InsertSorted(FromEngineText(entry));
  if (!settings_.weightEntries.empty()) weightList_->SelectRow(0);
  howToChoose_->Show(settings_.options);
  leaveOut_->Show(settings_.options);
}

bool WeightsPage::validatePage() {
  // Star weights that cannot be drawn by keep the user here.
  if (!howToChoose_->AcceptWeights()) return false;
  if (!leaveOut_->AcceptFilters()) return false;
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
  howToChoose_->StoreInto(settings.options);
  leaveOut_->StoreInto(settings.options);
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
  // Weights are given to folders below the sources: the picker starts at the first one
  // (a playlist's own folder, where a playlist comes first).
  QString start;
  if (!settings_.sources.empty()) {
    start = FromEngineText(settings_.sources.front());
    const QFileInfo source(start);
    if (!start.endsWith(QLatin1Char('/')) && !source.isDir()) start = source.path();
  }
  if (const std::optional<QString> folder = ChooseFolder(this, start)) AddFolderWeight(*folder);
}

void WeightsPage::AddDroppedFolders(const QStringList& folders) {
  // Each folder's weight is asked in turn; Cancel passes over that folder only.
  for (const QString& folder : folders)
    AddFolderWeight(FolderEntryText(folder));
}

void WeightsPage::ChangeWeight() {
  const int selected = weightList_->SelectedRow();
  if (selected < 0) return;
  const QString text = weightList_->Text(selected);
  const qsizetype blank = text.indexOf(QLatin1Char(' '));
  const std::optional<double> weight = AskWeight(blank < 0 ? QString() : text.mid(blank + 1),
                                                 FromEngineNumber(ToEngineText(text.left(blank))));
  if (!weight) return;
  const std::string entry = engine::ChangeEntryWeight(ToEngineText(text), *weight);
  weightList_->RemoveRow(selected);
  weightList_->SelectRow(weightList_->InsertSorted(FromEngineText(entry)));
}

}  // namespace sorvina::ui
