// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fill/fill_destination.h"
#include "engine/player/player_profile.h"
#include "platform/mtp_device.h"
#include "text/user_text.h"

namespace sorvina::engine {

// A destination text that names a phone reached over MTP: "mtp:" (the first phone),
// "mtp:SERIAL", "mtp:SERIAL/Music", "mtp:/Music". The folder may start with the name of
// one of the phone's storages ("mtp:SERIAL/SD card/Music"); else it lies in the first
// storage. Without a folder the songs go to "Music".
struct MtpPlace {
  std::string serial;
  std::string folder;  // '/'-separated, no empty names
};
bool IsMtpDestination(std::string_view destination);
std::optional<MtpPlace> ParseMtpDestination(std::string_view destination);

// A phone (or a player that speaks MTP) reached through libmtp as a fill's destination:
// a folder of one of its storages, which it has no path for on this computer.
class MtpDestination : public FillDestination {
 public:
  // What opening a destination text gave.
  struct Opening {
    std::unique_ptr<MtpDestination> destination;
    // The phone is there but another program holds it (the desktop's own mount): the
    // mount is the way to it.
    bool busy = false;
    std::string phoneName;
    std::optional<text::UserText> failure;  // why not, unless busy
  };
  static Opening Open(const std::string& destinationText);

  std::optional<platform::FileSystemSpace> Space() const override;
  bool KeepsFatNames() const override { return true; }
  bool IsPhone() const override { return true; }
  bool IsStillThere() const override;
  text::Outcome WriteOut() const override { return std::nullopt; }  // each file goes whole
  const platform::ContainedFolder* folder() const override { return nullptr; }

  platform::MtpDevice& device() const { return *device_; }
  std::uint32_t storage() const { return storage_.id; }
  // The folder's names below the storage's top.
  const std::vector<std::string>& folderNames() const { return folderNames_; }
  // "Pixel 7 / Internal storage / Music": how the user knows it.
  std::string ShownName() const;
  std::string ShownName(const std::string& /*path*/) const override { return ShownName(); }
  const std::string& serial() const { return serial_; }
  // A profile of what the phone plays, from the file types it takes; none where it names
  // none (it plays anything, as far as can be told).
  std::optional<PlayerProfile> Profile() const;

 private:
  MtpDestination(std::unique_ptr<platform::MtpDevice> device, platform::MtpStorage storage,
                 std::vector<std::string> folderNames);

  std::unique_ptr<platform::MtpDevice> device_;
  platform::MtpStorage storage_;
  std::vector<std::string> folderNames_;
  std::string serial_;
  std::string name_;
};

// Where the desktop mounts the phone `serial` (the first phone where empty) that libmtp
// found held: the folder `folder` on its first storage, or on the storage named first in
// `folder`; none where no mount of it is found.
std::optional<std::string> PhoneMountFolder(const MtpPlace& place);

}  // namespace sorvina::engine
