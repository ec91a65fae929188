// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/user_text.h"

// What reading the play history tells the user: each source that could not be used, or
// not all of it, is named; the run goes on without it.
namespace sorvina::engine {

inline constexpr const char* kHistoryUnreadableMessage =
    SORVINA_TEXT("sorvina", "The play history %1 could not be read (%2); it was passed over");
inline constexpr const char* kHistoryDamagedMessage =
    SORVINA_PLURAL_TEXT("sorvina", "%1: %Ln damaged record(s) passed over");
inline constexpr const char* kHistoryCutMessage = SORVINA_TEXT(
    "sorvina", "Only part of the play history %1 was read: it holds more than is read at once");
inline constexpr const char* kHistoryUnmatchedMessage =
    SORVINA_PLURAL_TEXT("sorvina", "%Ln play(s) in %1 matched no song");
inline constexpr const char* kHistoryStoreSetAsideMessage = SORVINA_TEXT(
    "sorvina", "The play history Sorvina keeps was damaged; it was set aside as %1 and begun anew");
inline constexpr const char* kHistoryStoreUnusableMessage =
    SORVINA_TEXT("sorvina",
                 "The play history Sorvina keeps at %1 could not be used (%2); plays read now are "
                 "not kept");
inline constexpr const char* kHistoryStoreNotSavedMessage =
    SORVINA_TEXT("sorvina", "The plays read could not be kept in %1 (%2)");

}  // namespace sorvina::engine
