// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sorvina::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the work could not be done; a message says why
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

}  // namespace sorvina::cli
