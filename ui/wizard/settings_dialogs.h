// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "engine/settings/settings_file.h"
#include "engine/settings/settings_text.h"

class QWidget;

namespace sorvina::ui {

class SortedListBox;

// The folder where settings files are kept: the user's settings folder
// ($XDG_CONFIG_HOME/sorvina, or ~/.config/sorvina); empty when no home folder is known.
QString SettingsFolder();

// The wizard's own memory of its last state, "last.txt" in the settings folder; empty when
// there is no settings folder.
QString LastStatePath();

// "Load Settings": asks for a settings file in the settings folder (made when missing)
// and replaces the source list, the destination, the folder weights and the limit choice
// with what it holds. A cancelled dialog or a file that cannot be opened changes nothing.
void LoadSettings(QWidget* parent, SortedListBox& sourceList, engine::SettingsText& settings);

// Puts what a settings file holds in place of the source list's entries and the settings'
// destination, folder weights, limit choice and options, as loading does.
void ApplySettingsFile(engine::SettingsFileContents contents, SortedListBox& sourceList,
                       engine::SettingsText& settings);

// "Save Settings": asks where to save (confirming before an existing file is replaced)
// and writes `settings` there. A file that cannot be written is reported and any earlier
// file there is left as it was. The wizard's own memory is never offered, and refused
// when named. False when nothing was saved: the dialog cancelled, the wizard's memory
// named, or the file not opened.
bool SaveSettings(QWidget* parent, const engine::SettingsText& settings);

}  // namespace sorvina::ui
