// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "platform/mtp_device.h"
#include "platform/phone_mounts.h"
#include "ui/shell/test_seam.h"

namespace sorvina::ui {

// A mounted volume that the user plugged in: a USB stick, a memory card, a player, or a
// storage of a phone.
struct RemovableVolume {
  QString name;           // its label, or else its mount folder's name; "Phone: …" for a phone
  QString rootPath;       // where it is mounted; a phone's storage folder
  qint64 bytesTotal = 0;  // 0 where the volume reports no size (phones may not)
  qint64 bytesFree = 0;
};

// The writable volumes plugged in now, in the order of their mount points. A volume counts
// when its device reports removable media, or when it is mounted where desktops mount
// what is plugged in (below /media or /run/media), which also covers USB disks that do not
// call themselves removable. Phones follow, one entry for each of their storages
// (PhoneVolume), the mounts that hold them not listed themselves; then the phones that
// libmtp reaches and no mount holds (MtpPhoneVolume).
std::vector<RemovableVolume> RemovableVolumes();

// A phone's storage as the list shows it: "Phone: Google Pixel 7 – Internal shared storage".
RemovableVolume PhoneVolume(const platform::PhoneStorage& storage);

// A storage of a phone that libmtp reaches: "Phone: Pixel 7 – Internal storage (MTP)", its
// folder the destination text "mtp:SERIAL/Internal storage".
RemovableVolume MtpPhoneVolume(const platform::MtpDeviceEntry& phone,
                               const platform::MtpStorage& storage);

// The entry of the list RemovableVolumes gives whose folder holds `path`, the innermost one;
// none where `path` is on none of them.
std::optional<RemovableVolume> RemovableVolumeOf(const QString& path);

// The folder to fill on `volume`: its "Music" folder (in any letter case) when its root
// has one, else the root; the path ends in one separator.
QString DestinationOnVolume(const RemovableVolume& volume);

// Test seam: while one exists, RemovableVolumes gives `volumes` instead of looking.
class FakeVolumeList : public ScopedSeam<FakeVolumeList> {
 public:
  std::vector<RemovableVolume> volumes;
};

}  // namespace sorvina::ui
