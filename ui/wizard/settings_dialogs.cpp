#include "ui/wizard/settings_dialogs.h"

#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "engine/messages.h"
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
  if (!folder.isEmpty()) platform::MakeFolders(ToEngineText(folder));
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

void LoadSettings(QWidget* parent, SortedListBox& sourceList, engine::SelectionSettings& settings) {
  const QString folder = PrepareSettingsFolder();
  const std::optional<QString> path =
      ChooseFileToOpen(parent, SettingsFilter(), QStringLiteral("txt"), folder);
  if (!path) return;
  std::optional<engine::SettingsFileContents> contents =
      engine::ReadSettingsFile(ToEngineText(*path));
  if (contents) ApplySettingsFile(std::move(*contents), sourceList, settings);
}

void ApplySettingsFile(engine::SettingsFileContents contents, SortedListBox& sourceList,
                       engine::SelectionSettings& settings) {
  sourceList.clear();
  for (const std::string& source : contents.sources)
    sourceList.InsertSorted(FromEngineText(source));
  if (sourceList.count() > 0) sourceList.SelectRow(0);
  settings.destination = std::move(contents.destination);
  settings.folderWeights = std::move(contents.folderWeights);
  settings.limitMode = contents.limitMode;
  settings.amountText = std::move(contents.amountText);
  settings.options = std::move(contents.options);
}

void SaveSettings(QWidget* parent, const engine::LimitChoice& limitChoice,
                  engine::SelectionSettings& settings) {
  const QString folder = PrepareSettingsFolder();
  const QString lastState = LastStatePath();
  const std::optional<QString> path =
      ChooseFileToSave(parent, SettingsFilter(), QStringLiteral("txt"), folder,
                       lastState.isEmpty() ? QStringList() : QStringList(lastState));
  if (!path) return;
  const auto absolute = [](const QString& file) {
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
  };
  if (!lastState.isEmpty() && absolute(*path) == absolute(lastState)) {
    ShowInformation(parent, QCoreApplication::translate(
                                "sorvina::ui::SettingsDialogs",
                                "%1 is where Sorvina keeps what it held when it was last closed. "
                                "Please choose another name.")
                                .arg(*path));
    return;
  }

  engine::SelectionSettings toSave = settings;
  engine::StoreLimitChoice(limitChoice, toSave);
  switch (engine::WriteSettingsFile(ToEngineText(*path), toSave)) {
    case engine::SettingsWriteResult::kWritten:
      break;
    case engine::SettingsWriteResult::kCannotOpen:
      ShowInformation(parent, Translated(engine::kCannotOpenSettingsMessage));
      return;
    case engine::SettingsWriteResult::kCannotWrite:
      ShowInformation(parent, Translated(engine::kCannotWriteSettingsMessage));
      break;
  }
  // The limit choice counts as stored once the file was opened, as Back would store it.
  settings.limitMode = toSave.limitMode;
  settings.amountText = toSave.amountText;
}

}  // namespace sorvina::ui
