#include "ui/wizard/settings_dialogs.h"

#include <optional>

#include <QDir>
#include <QFileInfo>

#include "engine/messages.h"
#include "engine/settings_file.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"

namespace sorvina::ui {
namespace {

// Makes the settings folder (one level) when it is missing, so that the dialog opens
// there; if that fails the dialog opens wherever it would have.
QString PrepareSettingsFolder(const QString& startFolder) {
  const QString folder = SettingsFolder(startFolder);
  if (!QFileInfo::exists(folder)) QDir().mkdir(folder);
  return folder;
}

}  // namespace

QString SettingsFolder(const QString& startFolder) {
  return startFolder + QLatin1Char('/') + QStringLiteral("Settings");
}

void LoadSettings(QWidget* parent, const QString& startFolder, SortedListBox& sourceList,
                  engine::SelectionSettings& settings) {
  const QString folder = PrepareSettingsFolder(startFolder);
  const std::optional<QString> path =
      ChooseFileToOpen(parent, QString::fromLatin1(kSettingsFilter), QStringLiteral("txt"), folder);
  if (!path) return;
  std::optional<engine::SettingsFileContents> contents =
      engine::ReadSettingsFile(ToEngineText(*path));
  if (!contents) return;

  sourceList.clear();
  for (const std::string& source : contents->sources)
    sourceList.InsertSorted(FromEngineText(source));
  if (sourceList.count() > 0) sourceList.SelectRow(0);
  settings.destination = std::move(contents->destination);
  settings.folderWeights = std::move(contents->folderWeights);
  settings.limitMode = contents->limitMode;
  settings.amountText = std::move(contents->amountText);
  settings.options = std::move(contents->options);
}

void SaveSettings(QWidget* parent, const QString& startFolder,
                  const engine::LimitChoice& limitChoice, engine::SelectionSettings& settings) {
  const QString folder = PrepareSettingsFolder(startFolder);
  const std::optional<QString> path =
      ChooseFileToSave(parent, QString::fromLatin1(kSettingsFilter), QStringLiteral("txt"), folder);
  if (!path) return;

  engine::SelectionSettings toSave = settings;
  engine::StoreLimitChoice(limitChoice, toSave);
  switch (engine::WriteSettingsFile(ToEngineText(*path), toSave)) {
    case engine::SettingsWriteResult::kWritten:
      break;
    case engine::SettingsWriteResult::kCannotOpen:
      ShowInformation(parent, QString::fromLatin1(engine::kCannotOpenSettingsMessage));
      return;
    case engine::SettingsWriteResult::kCannotWrite:
      ShowInformation(parent, QString::fromLatin1(engine::kCannotWriteSettingsMessage));
      break;
  }
  // The limit choice counts as stored once the file was opened, as Back would store it.
  settings.limitMode = toSave.limitMode;
  settings.amountText = toSave.amountText;
}

}  // namespace sorvina::ui
