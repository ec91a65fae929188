// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>

class QWidget;

namespace sorvina::ui {

// Lets the user pick a folder with the folder picker, which starts in `startFolder`, or
// where the last one ended when that is empty or no folder; the path ends in exactly one
// separator. Nothing when the user cancels. Every folder choice of the wizard goes through
// here.
std::optional<QString> ChooseFolder(QWidget* parent = nullptr, const QString& startFolder = {});

// `folder` as the pages' lists hold a folder: its path ending in exactly one separator.
QString FolderEntryText(QString folder);

}  // namespace sorvina::ui
