// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

namespace sorvina::media {

// A number as taggers write it into a tag's text (a gain, a peak, a rating, a position):
// blanks around it; a sign, "+", "-" or the minus sign U+2212; digits with at most one
// decimal point or decimal comma among them; and, where `unit` is given, that unit after
// it in any letter case, with or without a blank before it ("-6.50 dB", "−6,5 dB"). The
// same number whatever the locale. Nothing for any other text: no digits, a second
// separator, an exponent, a word after the number, a number out of range.
std::optional<double> TagNumber(std::string_view text, std::string_view unit = {});

// A whole number that TagNumber reads, between `least` and `most`; nothing for a
// fraction or a number outside them.
std::optional<int> WholeTagNumber(std::string_view text, int least, int most);

}  // namespace sorvina::media
