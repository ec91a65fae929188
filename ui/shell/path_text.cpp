// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/path_text.h"

#include <QFile>

namespace sorvina::ui {

std::string ToEngineText(const QString& text) {
  return QFile::encodeName(text).toStdString();
}

QString FromEngineText(const std::string& text) {
  return QFile::decodeName(QByteArray::fromStdString(text));
}

}  // namespace sorvina::ui
