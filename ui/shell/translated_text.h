// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "text/user_text.h"

namespace sorvina::ui {

// `text` in the language of the installed translations: its source text translated, then
// its placeholders filled in one pass, counts and decimals written as the user's locale
// writes numbers. A text without a translation shows in English.
QString Translated(const text::UserText& text);

}  // namespace sorvina::ui
