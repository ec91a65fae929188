// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/removable_volumes.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "platform/drive_type.h"
#include "platform/mount_table.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/path_text.h"

namespace sorvina::ui {
namespace {

bool IsPluggedIn(const QStorageInfo& volume) {
  // A phone's mount is listed by its storages.
  if (platform::IsPhoneMountType(volume.fileSystemType().toStdString())) return false;
  const QString root = volume.rootPath();
  return root.startsWith(QLatin1String("/media/")) ||
         root.startsWith(QLatin1String("/run/media/")) ||
         platform::DriveTypeOf(ToEngineText(root)) == platform::DriveType::kRemovable;
}

bool LiesIn(const QString& path, const QString& root) {
  const QString folder = QDir::cleanPath(root);
  const QString inside = QDir::cleanPath(path);
  return inside == folder ||
         inside.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

}  // namespace

RemovableVolume PhoneVolume(const platform::PhoneStorage& storage) {
  const QString name =
      QCoreApplication::translate("sorvina::ui::RemovableVolumes", "Phone: %1 – %2")
          .arg(FromEngineText(storage.phoneName), FromEngineText(storage.storage));
  return {name, FromEngineText(storage.path), static_cast<qint64>(storage.totalBytes),
          static_cast<qint64>(storage.availableBytes)};
}

RemovableVolume MtpPhoneVolume(const platform::MtpDeviceEntry& phone,
                               const platform::MtpStorage& storage) {
  const QString name =
      QCoreApplication::translate("sorvina::ui::RemovableVolumes", "Phone: %1 – %2 (MTP)")
          .arg(FromEngineText(phone.name), FromEngineText(storage.description));
  return {name,
          QStringLiteral("mtp:%1/%2")
              .arg(FromEngineText(phone.serial), FromEngineText(storage.description)),
          static_cast<qint64>(storage.capacityBytes), static_cast<qint64>(storage.freeBytes)};
}

std::optional<RemovableVolume> RemovableVolumeOf(const QString& path) {
  std::optional<RemovableVolume> holder;
  for (RemovableVolume& volume : RemovableVolumes()) {
    if (LiesIn(path, volume.rootPath) && (!holder || QDir::cleanPath(volume.rootPath).size() >
                                                         QDir::cleanPath(holder->rootPath).size()))
      holder = std::move(volume);
  }
  return holder;
}

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
  for (const platform::PhoneStorage& storage : platform::PhoneStorages(platform::ReadMountTable()))
    found.push_back(PhoneVolume(storage));
  // Phones that libmtp reaches; one the desktop's mount holds is listed by that mount.
  for (const platform::MtpDeviceEntry& phone : platform::CurrentMtpBus().Find()) {
    if (phone.busy) continue;
    for (const platform::MtpStorage& storage : phone.storages)
      found.push_back(MtpPhoneVolume(phone, storage));
  }
  return found;
}

QString DestinationOnVolume(const RemovableVolume& volume) {
  // A phone reached over MTP has no folder here to look into: its "Music" is made when
  // missing.
  if (volume.rootPath.startsWith(QLatin1String("mtp:")))
    return volume.rootPath + QLatin1String("/Music");
  const QDir root(volume.rootPath);
  for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    if (name.compare(QLatin1String("Music"), Qt::CaseInsensitive) == 0)
      return FolderEntryText(root.filePath(name));
  }
  return FolderEntryText(volume.rootPath);
}

}  // namespace sorvina::ui
