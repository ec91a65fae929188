// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/last_state.h"

#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QFileInfo>

#include "engine/settings/settings_file.h"
#include "platform/file_system.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/wizard/selection_wizard.h"

namespace sorvina::ui {
namespace {

bool WriteLastState(const SelectionWizard& wizard, const QString& path) {
  const WizardState state = wizard.CurrentState();
  // Where the folder cannot be made, writing the file fails and says so.
  (void)platform::MakeFolders(ToEngineText(QFileInfo(path).path()));
  return engine::WriteSettingsFile(ToEngineText(path), state.settings, &state.entered) ==
         engine::SettingsWriteResult::kWritten;
}

}  // namespace

void RestoreLastState(SelectionWizard& wizard, const QString& path) {
  if (std::optional<engine::SettingsFileContents> contents =
          engine::ReadSettingsFile(ToEngineText(path)))
    wizard.RestoreState(std::move(*contents));
}

void KeepLastState(SelectionWizard& wizard, const QString& path, bool afterFinishOnly) {
  auto reported = std::make_shared<bool>(false);
  auto finished = std::make_shared<bool>(!afterFinishOnly);
  QObject::connect(&wizard, &SelectionWizard::selectionRun, &wizard,
                   [finished] { *finished = true; });
  const auto keep = [&wizard, path, reported, finished] {
    if (!*finished || WriteLastState(wizard, path) || *reported) return;
    *reported = true;
    ShowInformation(&wizard, QCoreApplication::translate(
                                 "sorvina::ui::LastState",
                                 "The settings could not be kept for the next start in %1")
                                 .arg(path));
  };
  QObject::connect(&wizard, &QDialog::finished, &wizard, keep);
  QObject::connect(&wizard, &SelectionWizard::selectionRun, &wizard, keep);
}

}  // namespace sorvina::ui
