// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mtp_device.h"

#include <libmtp.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace sorvina::platform {
namespace {

// libmtp hands out strings the caller frees.
std::string Taken(char* text) {
  std::string taken = text != nullptr ? text : "";
  std::free(text);
  return taken;
}

bool Contains(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         }) != text.end();
}

class LibmtpDevice : public MtpDevice {
 public:
  explicit LibmtpDevice(LIBMTP_mtpdevice_t* device) : device_(device) {
    name_ = Taken(LIBMTP_Get_Friendlyname(device_));
    if (name_.empty()) {
      const std::string maker = Taken(LIBMTP_Get_Manufacturername(device_));
      const std::string model = Taken(LIBMTP_Get_Modelname(device_));
      name_ = maker.empty() ? model : model.empty() ? maker : maker + " " + model;
    }
    serial_ = Taken(LIBMTP_Get_Serialnumber(device_));
  }
  ~LibmtpDevice() override { LIBMTP_Release_Device(device_); }
  LibmtpDevice(const LibmtpDevice&) = delete;
  LibmtpDevice& operator=(const LibmtpDevice&) = delete;

  std::string FriendlyName() const override { return name_; }
  std::string Serial() const override { return serial_; }

  int Storages(std::vector<MtpStorage>& storages) override {
    storages.clear();
    if (LIBMTP_Get_Storage(device_, LIBMTP_STORAGE_SORTBY_NOTSORTED) != 0) return Failure();
    for (const LIBMTP_devicestorage_t* s = device_->storage; s != nullptr; s = s->next) {
      storages.push_back({s->id, s->StorageDescription != nullptr ? s->StorageDescription : "",
                          s->MaxCapacity, s->FreeSpaceInBytes});
    }
    return 0;
  }

  std::vector<std::string> SupportedTypes() override {
    std::uint16_t* types = nullptr;
    std::uint16_t count = 0;
    std::vector<std::string> extensions;
    if (LIBMTP_Get_Supported_Filetypes(device_, &types, &count) != 0) {
      LIBMTP_Clear_Errorstack(device_);
      return extensions;
    }
    for (std::uint16_t i = 0; i < count; ++i)
      for (std::string& extension : MtpTypeExtensions(types[i]))
        extensions.push_back(std::move(extension));
    std::free(types);
    return extensions;
  }

  int ListFolder(std::uint32_t storage, MtpObjectId parent,
                 std::vector<MtpObject>& children) override {
    children.clear();
    LIBMTP_Clear_Errorstack(device_);
    LIBMTP_file_t* files = LIBMTP_Get_Files_And_Folders(
        device_, storage, parent == kMtpTopLevel ? LIBMTP_FILES_AND_FOLDERS_ROOT : parent);
    // An empty folder and a failure both give no list: only the error stack tells.
    if (files == nullptr && LIBMTP_Get_Errorstack(device_) != nullptr) return Failure();
    while (files != nullptr) {
      LIBMTP_file_t* next = files->next;
      children.push_back(
          {files->item_id,
           files->parent_id == LIBMTP_FILES_AND_FOLDERS_ROOT ? kMtpTopLevel : files->parent_id,
           files->filename != nullptr ? files->filename : "", files->filesize,
           files->filetype == LIBMTP_FILETYPE_FOLDER});
      LIBMTP_destroy_file_t(files);
      files = next;
    }
    return 0;
  }

  int SendFile(int fd, std::uint64_t sizeBytes, std::uint32_t storage, MtpObjectId parent,
               const std::string& name, MtpObjectId& id) override {
    if (lseek(fd, 0, SEEK_SET) < 0) return errno;
    LIBMTP_file_t* file = LIBMTP_new_file_t();
    if (file == nullptr) return ENOMEM;
    file->filename = strdup(name.c_str());
    file->filesize = sizeBytes;
    file->filetype = TypeOf(name);
    file->parent_id = parent;
    file->storage_id = storage;
    LIBMTP_Clear_Errorstack(device_);
    const int sent = LIBMTP_Send_File_From_File_Descriptor(device_, fd, file, nullptr, nullptr);
    id = file->item_id;
    LIBMTP_destroy_file_t(file);
    return sent == 0 ? 0 : Failure();
  }

  int GetFile(MtpObjectId id, int fd) override {
    LIBMTP_Clear_Errorstack(device_);
    return LIBMTP_Get_File_To_File_Descriptor(device_, id, fd, nullptr, nullptr) == 0 ? 0
                                                                                      : Failure();
  }

  int DeleteObject(MtpObjectId id) override {
    LIBMTP_Clear_Errorstack(device_);
    return LIBMTP_Delete_Object(device_, id) == 0 ? 0 : Failure();
  }

  int MakeFolder(std::uint32_t storage, MtpObjectId parent, const std::string& name,
                 MtpObjectId& id) override {
    LIBMTP_Clear_Errorstack(device_);
    std::string copy = name;  // libmtp takes a writable name
    id = LIBMTP_Create_Folder(device_, copy.data(), parent, storage);
    return id != 0 ? 0 : Failure();
  }

 private:
  // The errno value for what the error stack holds, which it clears.
  int Failure() {
    int error = EIO;
    for (const LIBMTP_error_t* e = LIBMTP_Get_Errorstack(device_); e != nullptr; e = e->next) {
      const std::string_view text = e->error_text != nullptr ? e->error_text : "";
      if (e->errornumber == LIBMTP_ERROR_NO_DEVICE_ATTACHED)
        error = ENODEV;
      else if (e->errornumber == LIBMTP_ERROR_STORAGE_FULL || Contains(text, "full"))
        error = ENOSPC;
      else if (Contains(text, "timeout") || Contains(text, "timed out"))
        error = ETIMEDOUT;
      else if (e->errornumber == LIBMTP_ERROR_USB_LAYER && error == EIO)
        error = ENODEV;
      else if (e->errornumber == LIBMTP_ERROR_CANCELLED && error == EIO)
        error = ECANCELED;
    }
    LIBMTP_Clear_Errorstack(device_);
    return error;
  }

  static LIBMTP_filetype_t TypeOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::string_view extension = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    const auto is = [extension](std::string_view type) {
      return extension.size() == type.size() && Contains(extension, type);
    };
    if (is("mp3")) return LIBMTP_FILETYPE_MP3;
    if (is("flac")) return LIBMTP_FILETYPE_FLAC;
    if (is("ogg") || is("opus")) return LIBMTP_FILETYPE_OGG;
    if (is("m4a")) return LIBMTP_FILETYPE_M4A;
    if (is("wma")) return LIBMTP_FILETYPE_WMA;
    if (is("wav")) return LIBMTP_FILETYPE_WAV;
    if (is("aac")) return LIBMTP_FILETYPE_AAC;
    return LIBMTP_FILETYPE_UNKNOWN;
  }

  LIBMTP_mtpdevice_t* device_;
  std::string name_;
  std::string serial_;
};

class LibmtpBus : public MtpBus {
 public:
  std::vector<MtpDeviceEntry> Find() override {
    std::vector<MtpDeviceEntry> found;
    ForEachDevice([&found](LIBMTP_raw_device_t& raw, std::unique_ptr<LibmtpDevice> device) {
      MtpDeviceEntry entry;
      if (device) {
        entry.name = device->FriendlyName();
        entry.serial = device->Serial();
        (void)device->Storages(entry.storages);
      } else {
        entry.name = RawName(raw);
        entry.busy = true;
      }
      found.push_back(std::move(entry));
      return false;
    });
    return found;
  }

  MtpOpening Open(const std::string& serial) override {
    MtpOpening opening;
    opening.noneFound = true;
    ForEachDevice([&](LIBMTP_raw_device_t& raw, std::unique_ptr<LibmtpDevice> device) {
      if (!device) {
        // Its serial is unknown without opening it: with none asked for, it is the first.
        if (serial.empty() && opening.noneFound) {
          opening = {nullptr, false, true, RawName(raw)};
          return true;
        }
        if (opening.noneFound) opening = {nullptr, true, true, RawName(raw)};
        return false;
      }
      if (!serial.empty() && device->Serial() != serial) return false;
      opening.name = device->FriendlyName();
      opening.noneFound = false;
      opening.busy = false;
      opening.device = std::move(device);
      return true;
    });
    // A busy device whose serial could not be read may be the one asked for.
    if (opening.busy) opening.noneFound = false;
    return opening;
  }

 private:
  static std::string RawName(const LIBMTP_raw_device_t& raw) {
    const std::string vendor = raw.device_entry.vendor != nullptr ? raw.device_entry.vendor : "";
    const std::string product = raw.device_entry.product != nullptr ? raw.device_entry.product : "";
    return vendor.empty() ? product : product.empty() ? vendor : vendor + " " + product;
  }

  // Calls `visit` with each device on the bus, opened (uncached: a fill lists only the
  // folders it needs) or none where it could not be; stops where `visit` returns true.
  template <typename Visit>
  static void ForEachDevice(Visit visit) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { LIBMTP_Init(); });
    LIBMTP_raw_device_t* raws = nullptr;
    int count = 0;
    if (LIBMTP_Detect_Raw_Devices(&raws, &count) != LIBMTP_ERROR_NONE) return;
    for (int i = 0; i < count; ++i) {
      LIBMTP_mtpdevice_t* opened = LIBMTP_Open_Raw_Device_Uncached(&raws[i]);
      std::unique_ptr<LibmtpDevice> device =
          opened != nullptr ? std::make_unique<LibmtpDevice>(opened) : nullptr;
      if (visit(raws[i], std::move(device))) break;
    }
    std::free(raws);
  }
};

MtpBus* scopedBus = nullptr;

}  // namespace

MtpBus& CurrentMtpBus() {
  static LibmtpBus real;
  return scopedBus != nullptr ? *scopedBus : real;
}

ScopedMtpBus::ScopedMtpBus(MtpBus& bus) : previous_(scopedBus) {
  scopedBus = &bus;
}
ScopedMtpBus::~ScopedMtpBus() {
  scopedBus = previous_;
}

std::vector<std::string> MtpTypeExtensions(int filetype) {
  switch (filetype) {
    case LIBMTP_FILETYPE_MP3:
      return {"mp3"};
    case LIBMTP_FILETYPE_FLAC:
      return {"flac"};
    case LIBMTP_FILETYPE_OGG:
      return {"ogg", "opus"};
    case LIBMTP_FILETYPE_WMA:
      return {"wma"};
    case LIBMTP_FILETYPE_WAV:
      return {"wav"};
    case LIBMTP_FILETYPE_M4A:
    case LIBMTP_FILETYPE_MP4:
      return {"m4a"};
    case LIBMTP_FILETYPE_AAC:
      return {"aac"};
    default:
      return {};
  }
}

}  // namespace sorvina::platform
