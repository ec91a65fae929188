// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace sorvina::text {

// Reads the decimal number at the start of `text` the way people type amounts and
// weights: leading white space is skipped, an optional sign, digits with an optional
// point and an optional exponent; reading stops at the first character that cannot
// continue the number, and a text without a number gives 0. The point is always '.',
// whatever the process locale says. Hexadecimal, "inf" and "nan" are not numbers here.
// A value too large for a double gives +/-HUGE_VAL, as the C library's conversion does.
double ParseLeadingDecimal(std::string_view text);

}  // namespace sorvina::text
