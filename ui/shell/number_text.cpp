// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/number_text.h"

#include <QLocale>

#include "ui/shell/path_text.h"

namespace sorvina::ui {
namespace {

// The decimal sign of the user's locale, where it is not the point; none otherwise.
QString LocaleDecimalSign() {
  const QString sign = QLocale().decimalPoint();
  return sign == QLatin1String(".") ? QString() : sign;
}

}  // namespace

std::string ToEngineNumber(const QString& typed) {
  const QString sign = LocaleDecimalSign();
  if (sign.isEmpty()) return ToEngineText(typed);
  QString text = typed;
  return ToEngineText(text.replace(sign, QLatin1String(".")));
}

QString FromEngineNumber(const std::string& stored) {
  QString text = FromEngineText(stored);
  const QString sign = LocaleDecimalSign();
  if (sign.isEmpty()) return text;
  return text.replace(QLatin1Char('.'), sign);
}

}  // namespace sorvina::ui
