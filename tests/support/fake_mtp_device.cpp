// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_mtp_device.h"

#include <unistd.h>

#include <cerrno>

namespace sorvina::test {

using platform::MtpObjectId;

FakePhone::FakePhone(std::string phoneName, std::string phoneSerial, std::uint64_t capacityBytes,
                     std::size_t maxObjects)
    : name(std::move(phoneName)),
      serial(std::move(phoneSerial)),
      capacity_(capacityBytes),
      maxObjects_(maxObjects) {}

MtpObjectId FakePhone::AddFile(const std::string& path, const std::string& bytes) {
  MtpObjectId parent = platform::kMtpTopLevel;
  std::size_t start = 0;
  for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
    const std::string folder = path.substr(start, slash - start);
    MtpObjectId found = 0;
    for (const auto& [id, object] : objects_)
      if (object.parent == parent && object.folder && object.name == folder) found = id;
    if (found == 0) {
      found = nextId_++;
      objects_[found] = {parent, folder, true, {}};
    }
    parent = found;
  }
  const MtpObjectId id = nextId_++;
  objects_[id] = {parent, path.substr(start), false, bytes};
  return id;
}

std::string FakePhone::PathOf(MtpObjectId id) const {
  std::string path;
  for (auto it = objects_.find(id); it != objects_.end(); it = objects_.find(it->second.parent))
    path = path.empty() ? it->second.name : it->second.name + "/" + path;
  return path;
}

std::map<std::string, std::string> FakePhone::Files() const {
  std::map<std::string, std::string> files;
  for (const auto& [id, object] : objects_)
    if (!object.folder) files[PathOf(id)] = object.bytes;
  return files;
}

std::uint64_t FakePhone::FreeBytes() const {
  std::uint64_t used = 0;
  for (const auto& [id, object] : objects_)
    used += object.bytes.size();
  return used > capacity_ ? 0 : capacity_ - used;
}

int FakePhone::Call() {
  ++calls_;
  if (dead_) return ENODEV;
  if (calls_ != failAt_) return 0;
  if (failWith_ == ENODEV) dead_ = true;
  return failWith_;
}

bool FakePhone::NameTaken(MtpObjectId parent, const std::string& wanted) const {
  for (const auto& [id, object] : objects_)
    if (object.parent == parent && object.name == wanted) return true;
  return false;
}

int FakeMtpDevice::Storages(std::vector<platform::MtpStorage>& storages) {
  storages.clear();
  if (const int error = phone_.Call()) return error;
  storages.push_back(
      {FakePhone::kStorage, "Internal storage", phone_.capacity_, phone_.FreeBytes()});
  return 0;
}

int FakeMtpDevice::ListFolder(std::uint32_t storage, MtpObjectId parent,
                              std::vector<platform::MtpObject>& children) {
  children.clear();
  if (const int error = phone_.Call()) return error;
  if (storage != FakePhone::kStorage) return EIO;
  for (const auto& [id, object] : phone_.objects_) {
    if (object.parent == parent)
      children.push_back({id, parent, object.name, object.bytes.size(), object.folder});
  }
  return 0;
}

int FakeMtpDevice::SendFile(int fd, std::uint64_t sizeBytes, std::uint32_t storage,
                            MtpObjectId parent, const std::string& name, MtpObjectId& id) {
  id = 0;
  std::string bytes(sizeBytes, '\0');
  const ssize_t got = pread(fd, bytes.data(), bytes.size(), 0);
  if (got < 0 || static_cast<std::uint64_t>(got) != sizeBytes) return EIO;
  const int fault = phone_.Call();
  if (fault == ENODEV || fault == ETIMEDOUT) {
    // Cut off part-way: what came so far stays as an object that is not whole.
    if (phone_.objects_.size() < phone_.maxObjects_ && !phone_.NameTaken(parent, name)) {
      bytes.resize(bytes.size() / 2);
      phone_.objects_[phone_.nextId_++] = {parent, name, false, bytes};
    }
    return fault;
  }
  if (fault != 0) return fault;
  if (storage != FakePhone::kStorage || phone_.NameTaken(parent, name)) return EIO;
  if (parent != platform::kMtpTopLevel && !phone_.objects_.contains(parent)) return EIO;
  if (phone_.objects_.size() >= phone_.maxObjects_) return EMFILE;
  if (sizeBytes > phone_.FreeBytes()) return ENOSPC;
  id = phone_.nextId_++;
  phone_.objects_[id] = {parent, name, false, std::move(bytes)};
  return 0;
}

int FakeMtpDevice::GetFile(MtpObjectId id, int fd) {
  if (const int error = phone_.Call()) return error;
  const auto found = phone_.objects_.find(id);
  if (found == phone_.objects_.end() || found->second.folder) return EIO;
  const std::string& bytes = found->second.bytes;
  return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) ? 0 : EIO;
}

int FakeMtpDevice::DeleteObject(MtpObjectId id) {
  if (const int error = phone_.Call()) return error;
  const auto found = phone_.objects_.find(id);
  if (found == phone_.objects_.end()) return EIO;
  for (const auto& [other, object] : phone_.objects_)
    if (object.parent == id) return EIO;  // folders go empty or not at all
  phone_.objects_.erase(found);
  return 0;
}

int FakeMtpDevice::MakeFolder(std::uint32_t storage, MtpObjectId parent, const std::string& name,
                              MtpObjectId& id) {
  id = 0;
  if (const int error = phone_.Call()) return error;
  if (storage != FakePhone::kStorage || phone_.NameTaken(parent, name)) return EIO;
  if (phone_.objects_.size() >= phone_.maxObjects_) return EMFILE;
  id = phone_.nextId_++;
  phone_.objects_[id] = {parent, name, true, {}};
  return 0;
}

std::vector<platform::MtpDeviceEntry> FakeMtpBus::Find() {
  std::vector<platform::MtpDeviceEntry> found;
  for (FakePhone* phone : phones_) {
    if (phone->busy) {
      found.push_back({phone->name, {}, {}, true});
      continue;
    }
    FakeMtpDevice device(*phone);
    platform::MtpDeviceEntry entry{phone->name, phone->serial, {}, false};
    (void)device.Storages(entry.storages);
    found.push_back(std::move(entry));
  }
  return found;
}

platform::MtpOpening FakeMtpBus::Open(const std::string& serial) {
  for (FakePhone* phone : phones_) {
    if (!serial.empty() && phone->serial != serial) continue;
    if (phone->busy) return {nullptr, false, true, phone->name};
    return {std::make_unique<FakeMtpDevice>(*phone), false, false, phone->name};
  }
  return {nullptr, true, false, {}};
}

}  // namespace sorvina::test
