// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/mtp_destination.h"

#include <algorithm>

#include "platform/mount_table.h"
#include "platform/phone_mounts.h"
#include "text/path_style.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

constexpr std::string_view kPrefix = "mtp:";
constexpr char kDefaultFolder[] = "Music";
constexpr const char* kInvalidMtpDestination =
    SORVINA_TEXT("sorvina", "Please name a phone as mtp:, mtp:SERIAL or mtp:SERIAL/FOLDER");

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && text::EndsWithNoCase(a, b);
}

// The MIME type a profile names for each extension a phone takes.
std::string_view MimeTypeOf(std::string_view extension) {
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {"mp3", "audio/mpeg"},     {"flac", "audio/flac"}, {"ogg", "audio/ogg"},
      {"opus", "audio/opus"},    {"m4a", "audio/mp4"},   {"aac", "audio/aac"},
      {"wma", "audio/x-ms-wma"}, {"wav", "audio/x-wav"}};
  for (const auto& [known, type] : kTypes)
    if (known == extension) return type;
  return {};
}

}  // namespace

bool IsMtpDestination(std::string_view destination) {
  return destination.starts_with(kPrefix);
}

std::optional<MtpPlace> ParseMtpDestination(std::string_view destination) {
  if (!IsMtpDestination(destination)) return std::nullopt;
  destination.remove_prefix(kPrefix.size());
  MtpPlace place;
  const std::size_t slash = destination.find('/');
  place.serial = std::string(destination.substr(0, slash));
  if (slash != std::string_view::npos) {
    std::string_view rest = destination.substr(slash + 1);
    while (!rest.empty()) {
      const std::size_t end = std::min(rest.find('/'), rest.size());
      const std::string_view name = rest.substr(0, end);
      if (name == "." || name == "..") return std::nullopt;
      if (!name.empty()) place.folder += (place.folder.empty() ? "" : "/") + std::string(name);
      rest.remove_prefix(std::min(end + 1, rest.size()));
    }
  }
  if (place.folder.empty()) place.folder = kDefaultFolder;
  return place;
}

MtpDestination::MtpDestination(std::unique_ptr<platform::MtpDevice> device,
                               platform::MtpStorage storage, std::vector<std::string> folderNames)
    : device_(std::move(device)),
      storage_(std::move(storage)),
      folderNames_(std::move(folderNames)),
      serial_(device_->Serial()),
      name_(device_->FriendlyName()) {}

MtpDestination::Opening MtpDestination::Open(const std::string& destinationText) {
  Opening opening;
  const std::optional<MtpPlace> place = ParseMtpDestination(destinationText);
  if (!place) {
    opening.failure = text::UserText(kInvalidMtpDestination);
    return opening;
  }
  platform::MtpOpening opened = platform::CurrentMtpBus().Open(place->serial);
  opening.phoneName = opened.name;
  if (opened.busy) {
    opening.busy = true;
    return opening;
  }
  if (!opened.device) {
    opening.failure = place->serial.empty()
                          ? text::UserText(SORVINA_TEXT(
                                "sorvina", "No phone or player that speaks MTP is plugged in"))
                          : text::UserText{SORVINA_TEXT("sorvina",
                                                        "No phone with the serial number %1 is "
                                                        "plugged in"),
                                           {place->serial}};
    return opening;
  }
  std::vector<platform::MtpStorage> storages;
  if (const int error = opened.device->Storages(storages); error != 0 || storages.empty()) {
    opening.failure = {
        SORVINA_TEXT("sorvina", "The phone %1 shows no storage: %2"),
        {opened.name, error != 0 ? transfer::ErrorText(error)
                                 : text::UserText(SORVINA_TEXT("sorvina", "is it unlocked?"))}};
    return opening;
  }
  std::vector<std::string> names;
  for (std::string_view rest = place->folder; !rest.empty();) {
    const std::size_t end = std::min(rest.find('/'), rest.size());
    names.emplace_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  platform::MtpStorage storage = storages.front();
  const auto named = std::find_if(storages.begin(), storages.end(), [&](const auto& s) {
    return SameNoCase(s.description, names[0]);
  });
  if (named != storages.end()) {
    storage = *named;
    names.erase(names.begin());
    if (names.empty()) names.emplace_back(kDefaultFolder);
  }
  opening.destination.reset(
      new MtpDestination(std::move(opened.device), std::move(storage), std::move(names)));
  return opening;
}

std::optional<platform::FileSystemSpace> MtpDestination::Space() const {
  std::vector<platform::MtpStorage> storages;
  if (device_->Storages(storages) != 0) return std::nullopt;
  for (const platform::MtpStorage& storage : storages) {
    // Phones keep their files on file systems of 4 KiB blocks.
    if (storage.id == storage_.id)
      return platform::FileSystemSpace{storage.capacityBytes, storage.freeBytes, 4096};
  }
  return std::nullopt;
}

bool MtpDestination::IsStillThere() const {
  std::vector<platform::MtpStorage> storages;
  return device_->Storages(storages) == 0;
}

std::string MtpDestination::ShownName() const {
  std::string shown = name_ + " / " + storage_.description;
  for (const std::string& name : folderNames_)
    shown += " / " + name;
  return shown;
}

std::optional<PlayerProfile> MtpDestination::Profile() const {
  PlayerProfile profile;
  profile.name = "auto";
  profile.displayName = name_;
  for (const std::string& extension : device_->SupportedTypes()) {
    const std::string_view type = MimeTypeOf(extension);
    if (!type.empty() && std::find(profile.outputFormats.begin(), profile.outputFormats.end(),
                                   type) == profile.outputFormats.end())
      profile.outputFormats.emplace_back(type);
  }
  if (profile.outputFormats.empty()) return std::nullopt;
  return profile;
}

std::optional<std::string> PhoneMountFolder(const MtpPlace& place) {
  const std::vector<platform::PhoneStorage> storages =
      platform::PhoneStorages(platform::ReadMountTable());
  std::vector<const platform::PhoneStorage*> ofPhone;
  for (const platform::PhoneStorage& storage : storages) {
    // The desktop names a phone's folder by its maker, model and serial number.
    if (place.serial.empty() ? ofPhone.empty() || storage.phoneName == ofPhone[0]->phoneName
                             : storage.path.find(place.serial) != std::string::npos)
      ofPhone.push_back(&storage);
  }
  if (ofPhone.empty()) return std::nullopt;
  std::string folder = place.folder;
  const platform::PhoneStorage* chosen = ofPhone.front();
  const std::string first = folder.substr(0, folder.find('/'));
  for (const platform::PhoneStorage* storage : ofPhone) {
    if (SameNoCase(storage->storage, first)) {
      chosen = storage;
      folder = folder.size() > first.size() ? folder.substr(first.size() + 1) : kDefaultFolder;
    }
  }
  return chosen->path + "/" + folder;
}

}  // namespace sorvina::engine
