// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace sorvina::ui {

class SelectionWizard;

// The wizard's state when it was last closed or last ran a selection is kept as a settings
// file with what the fields hold beyond the settings, in LastStatePath()
// (settings_dialogs.h).

// Puts the state kept in `path` in place. A missing or unreadable file leaves the wizard
// as it is, empty at the start.
void RestoreLastState(SelectionWizard& wizard, const QString& path);

// Keeps the wizard's state in `path` (making its folder when missing) each time the wizard
// is closed or has run a selection; with `afterFinishOnly`, only once Finish has been
// pressed, so that a wizard started empty on purpose leaves the state kept before alone
// unless it is used. A state that cannot be kept is reported the first time only, so that
// a settings folder that cannot be written does not ask for attention again and again.
void KeepLastState(SelectionWizard& wizard, const QString& path, bool afterFinishOnly = false);

}  // namespace sorvina::ui
