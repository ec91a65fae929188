// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/contained_folder.h"
#include "platform/file_system.h"
#include "text/failure.h"

namespace sorvina::engine {

// Where a fill writes, as the fill needs it and no more: what room it has, whether it
// keeps FAT's rules for names, whether it is still there, and writing out to its device.
// A folder of this computer (a stick, a card, any folder) is one, FolderDestination; a
// destination reached otherwise (a phone over MTP) has no folder, and a fill there copies
// and keeps its record through the operations such a destination offers.
class FillDestination {
 public:
  virtual ~FillDestination() = default;

  // Its size, free space and the unit each file's size is rounded up to; nothing where it
  // cannot say.
  virtual std::optional<platform::FileSystemSpace> Space() const = 0;
  // Whether it keeps FAT's rules for names: names legal on FAT, compared without letter
  // case. A FAT volume also lists folders in the order of their entries on the device; a
  // phone takes the same names (Android refuses the same characters and compares without
  // letter case) but keeps no order of entries (IsPhone).
  virtual bool KeepsFatNames() const = 0;
  // Whether it is a phone (or a player reached over MTP): its files have no order on the
  // device that a fill could set; the playlist on the device holds the play order.
  virtual bool IsPhone() const = 0;
  // Whether it is still where the user chose it: false once unmounted or pulled out.
  virtual bool IsStillThere() const = 0;
  // Writes out to the device what the system still holds for it.
  virtual text::Outcome WriteOut() const = 0;
  // How the run's summary names `path`, the destination or a folder in it: the path
  // itself, unless the destination has a name the user knows better.
  virtual std::string ShownName(const std::string& path) const { return path; }

  // The folder, held open, where the destination is a folder of this computer: the copy,
  // the play order and the record's folder work through it. None otherwise.
  virtual const platform::ContainedFolder* folder() const = 0;
};

// A folder of this computer as a fill's destination, held open from the start: all a fill
// writes goes there, also when its volume is unmounted from its path meanwhile.
class FolderDestination : public FillDestination {
 public:
  // The folder at `path` (links in it followed: the user chose it); why not where it
  // cannot be opened as a folder.
  static text::Result<std::unique_ptr<FolderDestination>> Open(const std::string& path);

  std::optional<platform::FileSystemSpace> Space() const override;
  // The room on the volume that holds `path`, or would hold it (the nearest folder above
  // that is there), clusters counted as FAT counts them.
  static std::optional<platform::FileSystemSpace> SpaceAt(const std::string& path);
  bool KeepsFatNames() const override;
  // A folder on a phone that the desktop mounted (platform::PhonePlaceOf).
  bool IsPhone() const override;
  bool IsStillThere() const override;
  text::Outcome WriteOut() const override;
  // On a phone: its name, its storage and the folders below, "Pixel 7 / Internal shared
  // storage / Music"; else the path.
  std::string ShownName(const std::string& path) const override;
  const platform::ContainedFolder* folder() const override { return &folder_; }

 private:
  FolderDestination(std::string path, platform::ContainedFolder folder)
      : path_(std::move(path)), folder_(std::move(folder)) {}

  std::string path_;
  platform::ContainedFolder folder_;
};

}  // namespace sorvina::engine
