#include "ui/shell/application_name.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace sorvina::ui {

QString ApplicationName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace sorvina::ui
