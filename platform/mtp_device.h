// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sorvina::platform {

// Phones and players reached over MTP directly, through the few operations a fill needs.
// MTP has no paths and no renames: a device holds objects, each with an id, a parent (a
// folder object, or the top of its storage) and a name; a file object is sent whole, read
// whole, or deleted, never changed. Every operation returns 0 or an errno value: ENODEV
// once the device went away, ETIMEDOUT where it stopped answering, ENOSPC where its
// storage is full, EMFILE where it takes no more objects, EIO for any other refusal.

using MtpObjectId = std::uint32_t;
// The parent of the objects at the top of a storage.
inline constexpr MtpObjectId kMtpTopLevel = 0;

struct MtpStorage {
  std::uint32_t id = 0;
  std::string description;  // "Internal shared storage"
  std::uint64_t capacityBytes = 0;
  std::uint64_t freeBytes = 0;
  bool operator==(const MtpStorage&) const = default;
};

struct MtpObject {
  MtpObjectId id = 0;
  MtpObjectId parent = kMtpTopLevel;
  std::string name;
  std::uint64_t sizeBytes = 0;
  bool folder = false;
  bool operator==(const MtpObject&) const = default;
};

class MtpDevice {
 public:
  virtual ~MtpDevice() = default;

  // The name the user gave it ("Pixel 7"), else its maker and model.
  virtual std::string FriendlyName() const = 0;
  virtual std::string Serial() const = 0;
  // Its storages with their room as the device reports it now.
  virtual int Storages(std::vector<MtpStorage>& storages) = 0;
  // The file types it takes, as lower-case extensions ("mp3", "flac", "m4a").
  virtual std::vector<std::string> SupportedTypes() = 0;
  // The objects directly below `parent` in `storage`: one folder, never the whole device.
  virtual int ListFolder(std::uint32_t storage, MtpObjectId parent,
                         std::vector<MtpObject>& children) = 0;
  // Sends `sizeBytes` from `fd` (read from its start) as a new file object `name` below
  // `parent`; `id` receives its id. A send that fails may leave an object that is not
  // whole behind: the caller looks and deletes it.
  virtual int SendFile(int fd, std::uint64_t sizeBytes, std::uint32_t storage, MtpObjectId parent,
                       const std::string& name, MtpObjectId& id) = 0;
  // Writes the file object `id` into `fd` at its current position.
  virtual int GetFile(MtpObjectId id, int fd) = 0;
  virtual int DeleteObject(MtpObjectId id) = 0;
  virtual int MakeFolder(std::uint32_t storage, MtpObjectId parent, const std::string& name,
                         MtpObjectId& id) = 0;
};

// A device found on the bus.
struct MtpDeviceEntry {
  std::string name;    // its friendly name, or maker and model where it could not be opened
  std::string serial;  // empty where it could not be opened
  std::vector<MtpStorage> storages;
  // It answered but could not be opened: another program (the desktop's own mount of
  // it) holds it. The desktop's mount is then the way to it.
  bool busy = false;
  bool operator==(const MtpDeviceEntry&) const = default;
};

// The result of opening a device.
struct MtpOpening {
  std::unique_ptr<MtpDevice> device;  // none unless opened
  bool noneFound = false;             // no device on the bus (with that serial)
  bool busy = false;                  // found, but held by another program
  std::string name;                   // of the device found, where one was
};

// Where devices are found: libmtp on the USB bus, or a test's own devices.
class MtpBus {
 public:
  virtual ~MtpBus() = default;
  virtual std::vector<MtpDeviceEntry> Find() = 0;
  // The device with `serial`, or the first one the bus reports where `serial` is empty.
  virtual MtpOpening Open(const std::string& serial) = 0;
};

// The bus the program uses: libmtp's (initialised the first time it is asked for), unless
// a test put its own in place (ScopedMtpBus).
MtpBus& CurrentMtpBus();

// Puts `bus` in place of the real one for its lifetime.
class ScopedMtpBus {
 public:
  explicit ScopedMtpBus(MtpBus& bus);
  ~ScopedMtpBus();
  ScopedMtpBus(const ScopedMtpBus&) = delete;
  ScopedMtpBus& operator=(const ScopedMtpBus&) = delete;

 private:
  MtpBus* previous_;
};

// The lower-case extensions of the audio types libmtp names by `filetype`
// (LIBMTP_filetype_t); none for other types.
std::vector<std::string> MtpTypeExtensions(int filetype);

}  // namespace sorvina::platform
