// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mtp_device.h"

namespace sorvina::test {

// A phone in memory that keeps MTP's rules: objects with ids and parents, files sent
// whole or not at all (a send cut off leaves what it got so far, as real devices do), no
// rename and no change in place, one name once in a folder, room that shrinks as files
// come, and a cap on how many objects it holds. It outlives the connections to it
// (FakeMtpDevice), so that a fill cut off can be followed by one on a new connection.
class FakePhone {
 public:
  struct Object {
    platform::MtpObjectId parent = platform::kMtpTopLevel;
    std::string name;
    bool folder = false;
    std::string bytes;
  };

  FakePhone(std::string name, std::string serial, std::uint64_t capacityBytes,
            std::size_t maxObjects = 100000);

  // Makes the folders and the file at `path` ('/'-separated) as the user would.
  platform::MtpObjectId AddFile(const std::string& path, const std::string& bytes);
  // Every file by its path, with its bytes.
  std::map<std::string, std::string> Files() const;
  std::size_t ObjectCount() const { return objects_.size(); }
  std::uint64_t FreeBytes() const;
  std::string PathOf(platform::MtpObjectId id) const;

  // Faults of the next connections: the `call`-th operation (counted from 1 over every
  // connection) fails with `error`; ENODEV leaves the connection dead for every later
  // call, as a device pulled out does.
  void FailAtCall(std::size_t call, int error) { failAt_ = call, failWith_ = error; }
  std::size_t calls() const { return calls_; }
  // Held by another program: it answers on the bus, but no connection opens.
  bool busy = false;

  const std::string name;
  const std::string serial;
  static constexpr std::uint32_t kStorage = 0x10001;

 private:
  friend class FakeMtpDevice;
  // The fault for the operation starting now, or 0.
  int Call();
  bool NameTaken(platform::MtpObjectId parent, const std::string& name) const;

  std::uint64_t capacity_;
  std::size_t maxObjects_;
  std::map<platform::MtpObjectId, Object> objects_;
  platform::MtpObjectId nextId_ = 1;
  std::size_t calls_ = 0;
  std::size_t failAt_ = 0;
  int failWith_ = 0;
  bool dead_ = false;
};

// A connection to a FakePhone.
class FakeMtpDevice : public platform::MtpDevice {
 public:
  explicit FakeMtpDevice(FakePhone& phone) : phone_(phone) { phone_.dead_ = false; }
  std::string FriendlyName() const override { return phone_.name; }
  std::string Serial() const override { return phone_.serial; }
  int Storages(std::vector<platform::MtpStorage>& storages) override;
  std::vector<std::string> SupportedTypes() override { return supportedTypes; }
  int ListFolder(std::uint32_t storage, platform::MtpObjectId parent,
                 std::vector<platform::MtpObject>& children) override;
  int SendFile(int fd, std::uint64_t sizeBytes, std::uint32_t storage, platform::MtpObjectId parent,
               const std::string& name, platform::MtpObjectId& id) override;
  int GetFile(platform::MtpObjectId id, int fd) override;
  int DeleteObject(platform::MtpObjectId id) override;
  int MakeFolder(std::uint32_t storage, platform::MtpObjectId parent, const std::string& name,
                 platform::MtpObjectId& id) override;

  std::vector<std::string> supportedTypes = {"mp3", "m4a"};

 private:
  FakePhone& phone_;
};

// The bus with the fake phones on it, in place of libmtp's while it lives.
class FakeMtpBus : public platform::MtpBus {
 public:
  explicit FakeMtpBus(std::vector<FakePhone*> phones) : phones_(std::move(phones)), scope_(*this) {}
  std::vector<platform::MtpDeviceEntry> Find() override;
  platform::MtpOpening Open(const std::string& serial) override;

 private:
  std::vector<FakePhone*> phones_;
  platform::ScopedMtpBus scope_;
};

}  // namespace sorvina::test
