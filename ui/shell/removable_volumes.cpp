// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/removable_volumes.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "platform/drive_type.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/path_text.h"

namespace sorvina::ui {
namespace {

bool IsPluggedIn(const QStorageInfo& volume) {
  const QString root = volume.rootPath();
  return root.startsWith(QLatin1String("/media/")) ||
         root.startsWith(QLatin1String("/run/media/")) ||
         platform::DriveTypeOf(ToEngineText(root)) == platform::DriveType::kRemovable;
}

}  // namespace

std::vector<RemovableVolume> RemovableVolumes() {
  if (const FakeVolumeList* fake = FakeVolumeList::active()) return fake->volumes;
  std::vector<RemovableVolume> found;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady() || volume.isReadOnly() || volume.isRoot() ||
        !IsPluggedIn(volume)) {
      continue;
    }
    QString name = volume.name();
    if (name.isEmpty()) name = QFileInfo(volume.rootPath()).fileName();
    found.push_back({name, volume.rootPath(), volume.bytesTotal(), volume.bytesAvailable()});
  }
  std::sort(found.begin(), found.end(), [](const RemovableVolume& a, const RemovableVolume& b) {
    return a.rootPath < b.rootPath;
  });
  return found;
}

QString DestinationOnVolume(const RemovableVolume& volume) {
  const QDir root(volume.rootPath);
  for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    if (name.compare(QLatin1String("Music"), Qt::CaseInsensitive) == 0)
      return FolderEntryText(root.filePath(name));
  }
  return FolderEntryText(volume.rootPath);
}

}  // namespace sorvina::ui
