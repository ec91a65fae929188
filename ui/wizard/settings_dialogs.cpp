// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/settings_dialogs.h"

#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "engine/report/messages.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/shell/translated_text.h"

namespace sorvina::ui {
namespace {

QString SettingsFilter() {
  return FilterWithAllFiles(
      QCoreApplication::translate("sorvina::ui::SettingsDialogs", "Settings Files (*.txt)"),
      QStringLiteral("*.txt"));
}

// Makes the settings folder, with the folders above it, when it is missing, so that the
// dialog opens there; if that fails the dialog opens wherever it would have.
QString PrepareSettingsFolder() {
  const QString folder = SettingsFolder();
  if (!folder.isEmpty()) (void)platform::MakeFolders(ToEngineText(folder));
  return folder;
}

}  // namespace

QString SettingsFolder() {
  return FromEngineText(platform::ConfigFolder());
}

QString LastStatePath() {
  const QString folder = SettingsFolder();
  return folder.isEmpty() ? QString() : folder + QStringLiteral("/last.txt");
}

void LoadSettings(QWidget* parent, SortedListBox& sourceList, engine::SettingsText& settings) {
  const QString folder = PrepareSettingsFolder();
  const std::optional<QString> path =
      ChooseFileToOpen(parent, SettingsFilter(), QStringLiteral("txt"), folder);
  if (!path) return;
  std::optional<engine::SettingsFileContents> contents =
      engine::ReadSettingsFile(ToEngineText(*path));
  if (contents) ApplySettingsFile(std::move(*contents), sourceList, settings);
}

void ApplySettingsFile(engine::SettingsFileContents contents, SortedListBox& sourceList,
                       engine::SettingsText& settings) {
  sourceList.clear();
  for (const std::string& source : contents.settings.sources)
    sourceList.InsertSorted(FromEngineText(source));
  if (sourceList.count() > 0) sourceList.SelectRow(0);
  // The sources go to the list, and the destination page tells copying from its text.
  const bool copyToFolder = settings.copyToFolder;
  std::vector<std::string> sources = std::move(settings.sources);
  settings = std::move(contents.settings);
  settings.copyToFolder = copyToFolder;
  settings.sources = std::move(sources);
}

bool SaveSettings(QWidget* parent, const engine::SettingsText& settings) {
  const QString folder = PrepareSettingsFolder();
  const QString lastState = LastStatePath();
  const std::optional<QString> path =
      ChooseFileToSave(parent, SettingsFilter(), QStringLiteral("txt"), folder,
                       lastState.isEmpty() ? QStringList() : QStringList(lastState));
  if (!path) return false;
  const auto absolute = [](const QString& file) {
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
  };
  if (!lastState.isEmpty() && absolute(*path) == absolute(lastState)) {
    ShowInformation(parent, QCoreApplication::translate(
                                "sorvina::ui::SettingsDialogs",
                                "%1 is where Sorvina keeps what it held when it was last closed. "
                                "Please choose another name.")
                                .arg(*path));
    return false;
  }
  switch (engine::WriteSettingsFile(ToEngineText(*path), settings)) {
    case engine::SettingsWriteResult::kWritten:
      return true;
    case engine::SettingsWriteResult::kCannotOpen:
      ShowInformation(parent, Translated(engine::kCannotOpenSettingsMessage));
      return false;
    case engine::SettingsWriteResult::kCannotWrite:
      ShowInformation(parent, Translated(engine::kCannotWriteSettingsMessage));
      return true;
  }
  return true;
}

}  // namespace sorvina::ui
