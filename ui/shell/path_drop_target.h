// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>
#include <QStringList>

class QMimeData;
class QWidget;

namespace sorvina::ui {

// Lets the user drop files and folders from a file manager onto `widget` (for an item
// view, its viewport). A drag is taken when it carries at least one local path that
// `accepts` takes; a drop reports those paths, in the order they were dragged, once the
// drop itself is over.
class PathDropTarget : public QObject {
  Q_OBJECT

 public:
  PathDropTarget(QWidget* widget, std::function<bool(const QString& path)> accepts);

 signals:
  void dropped(const QStringList& paths);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QStringList AcceptedPaths(const QMimeData* data) const;

  std::function<bool(const QString&)> accepts_;
};

// What the pages take: a folder, and a playlist file (".m3u" or ".m3u8", any letter case).
bool IsFolderPath(const QString& path);
bool IsPlaylistPath(const QString& path);

}  // namespace sorvina::ui
