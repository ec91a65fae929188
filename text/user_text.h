// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace sorvina::text {

// The translation context of every text marked below. The wizard looks these texts up
// there; the command line shows them in English as they are written.
inline constexpr char kTextContext[] = "sorvina";

// Gives back `text` when `context` is kTextContext, and fails to compile otherwise, so that
// no marked text can land in a context where nobody looks it up.
consteval const char* MarkedText(std::string_view context, const char* text) {
  if (context != std::string_view(kTextContext)) throw "a marked text's context is \"sorvina\"";
  return text;
}

}  // namespace sorvina::text

// Marks an English text that the user sees, so that the translation tools (lupdate reads
// it as QT_TRANSLATE_NOOP) list it for the translators. Numbers, paths and other texts
// go into its placeholders %1 to %9 (see UserText), never into the text itself.
#define SORVINA_TEXT(context, marked) ::sorvina::text::MarkedText(context, marked)
// The same for a text with plural forms ("%Ln file(s)", see Counted), which the translators
// give one form per plural of their language.
#define SORVINA_PLURAL_TEXT(context, marked) ::sorvina::text::MarkedText(context, marked)

namespace sorvina::text {

struct UserText;

// A number with a fixed count of decimals, written with the reader's decimal point.
struct DecimalNumber {
  double value = 0;
  int decimals = 0;
};

// What fills one placeholder of a UserText.
struct TextArgument {
  // Shown as it is, never translated: a path, a name, a message of the system.
  TextArgument(std::string verbatim) : value(std::move(verbatim)) {}
  // A count, written in the reader's digits.
  template <class Integer>
  requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool> &&
           !std::is_same_v<Integer, char>) TextArgument(Integer number)
      : value(static_cast<std::int64_t>(number)) {}
  TextArgument(DecimalNumber number) : value(number) {}
  // A text of its own, translated before it is put in.
  TextArgument(UserText text);

  std::variant<std::string, std::int64_t, DecimalNumber, std::shared_ptr<const UserText>> value;
};

// A text for the user: an English source text marked with SORVINA_TEXT, whose
// placeholders %1 to %9 the arguments fill in order. The command line writes it in
// English (English below); the wizard translates the source text, then fills it in.
struct UserText {
  UserText() = default;
  // A marked text without placeholders.
  UserText(const char* source) : source(source) {}
  UserText(const char* source, std::vector<TextArgument> arguments)
      : source(source), arguments(std::move(arguments)) {}

  const char* source = "";
  std::vector<TextArgument> arguments;
  // A count that chooses the text's plural form: its source writes it as %n (%Ln: in the
  // reader's digits) and the forms that depend on it as "fill(s)". None: the text has no
  // plural forms.
  std::optional<std::int64_t> count;
};

// A text whose words follow `count`: "%Ln fill(s)" is "1 fill" and "2 fills" in English;
// the wizard passes the count to the translation, which has the language's own forms.
UserText Counted(const char* source, std::int64_t count, std::vector<TextArgument> arguments = {});

// `source` with its plural forms written for `count` in English: each "(s)" dropped for
// one and "s" otherwise. %n and %Ln are left for the caller to fill.
std::string EnglishPluralForm(std::string_view source, std::int64_t count);

// `text` shown as it is, untranslated: a message that comes from the system.
UserText Verbatim(std::string text);

// The parts one after another, each translated on its own.
UserText Concatenated(std::vector<TextArgument> parts);

// `pattern` with each %N (N from 1 to 9) replaced by values[N-1], in one pass: a value
// that itself holds "%2" stays as it is, and so does a placeholder without a value.
std::string FillPlaceholders(std::string_view pattern, const std::vector<std::string>& values);

// A decimal number as English writes it: "1.93".
std::string EnglishNumber(const DecimalNumber& number);

// The text in English, exactly as its source and arguments say.
std::string English(const UserText& text);

}  // namespace sorvina::text
