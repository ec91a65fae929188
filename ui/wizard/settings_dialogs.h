#pragma once

#include <QString>

#include "engine/limit_choice.h"
#include "engine/selection_settings.h"

class QWidget;

namespace sorvina::ui {

class SortedListBox;

inline constexpr char kSettingsFilter[] = "Settings Files (*.txt)|*.txt|All Files (*.*)|*.*||";

// The folder where settings files are kept by default: "Settings" in `startFolder`.
QString SettingsFolder(const QString& startFolder);

// "Load Settings": asks for a settings file in the settings folder (made when missing)
// and replaces the source list, the destination, the folder weights and the limit choice
// with what it holds. A cancelled dialog or a file that cannot be opened changes nothing.
void LoadSettings(QWidget* parent, const QString& startFolder, SortedListBox& sourceList,
                  engine::SelectionSettings& settings);

// "Save Settings": asks where to save (confirming before an existing file is replaced),
// stores the last page's `limitChoice` into `settings` and writes all of it. A file that
// cannot be written is reported and any earlier file there is left as it was.
void SaveSettings(QWidget* parent, const QString& startFolder,
                  const engine::LimitChoice& limitChoice, engine::SelectionSettings& settings);

}  // namespace sorvina::ui
