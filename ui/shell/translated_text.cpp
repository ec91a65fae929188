// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/translated_text.h"

#include <algorithm>

#include <QCoreApplication>
#include <QLocale>
#include <climits>

#include "ui/shell/path_text.h"

namespace sorvina::ui {
namespace {

// One argument as the user reads it, in the engine's text encoding.
std::string ArgumentText(const text::TextArgument& argument) {
  const QLocale locale;
  if (const auto* verbatim = std::get_if<std::string>(&argument.value)) return *verbatim;
  if (const auto* integer = std::get_if<std::int64_t>(&argument.value))
    return ToEngineText(locale.toString(static_cast<qlonglong>(*integer)));
  if (const auto* decimal = std::get_if<text::DecimalNumber>(&argument.value))
    return ToEngineText(locale.toString(decimal->value, 'f', decimal->decimals));
  return ToEngineText(Translated(*std::get<std::shared_ptr<const text::UserText>>(argument.value)));
}

}  // namespace

QString Translated(const text::UserText& text) {
  std::vector<std::string> values;
  values.reserve(text.arguments.size());
  for (const text::TextArgument& argument : text.arguments)
    values.push_back(ArgumentText(argument));
  if (!text.count) {
    const QString pattern = QCoreApplication::translate(text::kTextContext, text.source);
    return FromEngineText(text::FillPlaceholders(ToEngineText(pattern), values));
  }
  // The translation chooses its plural form by the count and writes it for %n. Without
  // one, Qt gives the source as it is, "(s)" and all: the English forms are written then.
  const int count = static_cast<int>(std::clamp<std::int64_t>(*text.count, INT_MIN, INT_MAX));
  QString pattern = QCoreApplication::translate(text::kTextContext, text.source, nullptr, count);
  const QString number = QLocale().toString(count);
  const QString untranslated = QString::fromUtf8(text.source)
                                   .replace(QStringLiteral("%Ln"), number)
                                   .replace(QStringLiteral("%n"), QString::number(count));
  if (pattern == untranslated) {
    pattern = FromEngineText(text::EnglishPluralForm(text.source, *text.count))
                  .replace(QStringLiteral("%Ln"), number)
                  .replace(QStringLiteral("%n"), QString::number(count));
  }
  return FromEngineText(text::FillPlaceholders(ToEngineText(pattern), values));
}

}  // namespace sorvina::ui
