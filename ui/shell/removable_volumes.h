// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QString>

#include "ui/shell/test_seam.h"

namespace sorvina::ui {

// A mounted volume that the user plugged in: a USB stick, a memory card, a player.
struct RemovableVolume {
  QString name;      // its label, or else its mount folder's name
  QString rootPath;  // where it is mounted
  qint64 bytesTotal = 0;
  qint64 bytesFree = 0;
};

// The writable volumes plugged in now, in the order of their mount points. A volume counts
// when its device reports removable media, or when it is mounted where desktops mount
// what is plugged in (below /media or /run/media), which also covers USB disks that do not
// call themselves removable.
std::vector<RemovableVolume> RemovableVolumes();

// The folder to fill on `volume`: its "Music" folder (in any letter case) when its root
// has one, else the root; the path ends in one separator.
QString DestinationOnVolume(const RemovableVolume& volume);

// Test seam: while one exists, RemovableVolumes gives `volumes` instead of looking.
class FakeVolumeList : public ScopedSeam<FakeVolumeList> {
 public:
  std::vector<RemovableVolume> volumes;
};

}  // namespace sorvina::ui
