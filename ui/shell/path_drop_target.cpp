// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/path_drop_target.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace sorvina::ui {

PathDropTarget::PathDropTarget(QWidget* widget, std::function<bool(const QString&)> accepts)
    : QObject(widget), accepts_(std::move(accepts)) {
  widget->setAcceptDrops(true);
  widget->installEventFilter(this);
}

QStringList PathDropTarget::AcceptedPaths(const QMimeData* data) const {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (accepts_(path)) paths << path;
  }
  return paths;
}

bool PathDropTarget::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (AcceptedPaths(drag->mimeData()).isEmpty()) {
        drag->ignore();
      } else {
        drag->acceptProposedAction();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList paths = AcceptedPaths(drop->mimeData());
      if (paths.isEmpty()) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      // Reported once the drop is over: a page may ask something about the paths, and the
      // program the drag came from is not to wait for the answer.
      QMetaObject::invokeMethod(
          this, [this, paths] { emit dropped(paths); }, Qt::QueuedConnection);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

bool IsFolderPath(const QString& path) {
  return QFileInfo(path).isDir();
}

bool IsPlaylistPath(const QString& path) {
  const QFileInfo info(path);
  const QString suffix = info.suffix().toLower();
  return info.isFile() && (suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8"));
}

}  // namespace sorvina::ui
