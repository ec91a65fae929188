// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_destination.h"

#include <algorithm>
#include <filesystem>

#include "platform/drive_type.h"
#include "platform/phone_mounts.h"

namespace sorvina::engine {

text::Result<std::unique_ptr<FolderDestination>> FolderDestination::Open(const std::string& path) {
  int error = 0;
  std::optional<platform::ContainedFolder> folder = platform::ContainedFolder::Open(path, &error);
  if (!folder) return text::SystemFailure(error);
  return std::unique_ptr<FolderDestination>(new FolderDestination(path, std::move(*folder)));
}

std::optional<platform::FileSystemSpace> FolderDestination::Space() const {
  return SpaceAt(path_);
}

std::optional<platform::FileSystemSpace> FolderDestination::SpaceAt(const std::string& path) {
  std::optional<platform::FileSystemSpace> space = platform::SpaceOf(path);
  // A FAT driver may count in blocks smaller than the clusters it hands out.
  if (space)
    space->allocationUnit = std::max(space->allocationUnit, platform::FatClusterBytes(path));
  return space;
}

bool FolderDestination::KeepsFatNames() const {
  return platform::IsFatDevice(folder_.device()) || IsPhone();
}

bool FolderDestination::IsPhone() const {
  return platform::PhonePlaceOf(path_).has_value();
}

bool FolderDestination::IsStillThere() const {
  return folder_.IsStillAt(path_);
}

std::string FolderDestination::ShownName(const std::string& path) const {
  const std::optional<platform::PhonePlace> place = platform::PhonePlaceOf(path);
  if (!place) return path;
  std::string shown = platform::ReadablePhoneName(place->phoneName);
  const std::filesystem::path below =
      std::filesystem::absolute(path).lexically_normal().lexically_relative(place->phoneFolder);
  for (const std::filesystem::path& name : below)
    if (!name.empty() && name != ".") shown += " / " + name.string();
  return shown;
}

text::Outcome FolderDestination::WriteOut() const {
  if (const int error = platform::FlushVolume(folder_)) return text::SystemFailure(error);
  return std::nullopt;
}

}  // namespace sorvina::engine
