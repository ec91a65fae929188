// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_text/file_system_folder_queries.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/drive_type.h"
#include "platform/file_system.h"

namespace sorvina::ui {
namespace {

// The user's home folder: $HOME, else the account's entry; empty when neither is known.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

bool StartsWithNoCase(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() &&
         text::NamesEqual(name.substr(0, prefix.size()), prefix, text::PathStyle::kWindows);
}

}  // namespace

FileSystemFolderQueries::FileSystemFolderQueries(std::string baseFolder)
    : baseFolder_(std::move(baseFolder)) {}

std::string FileSystemFolderQueries::Resolve(const std::string& text) const {
  if (text == "~" || text.starts_with("~/")) {
    const std::string home = HomeFolder();
    if (!home.empty()) return home + text.substr(1);
  }
  if (text.starts_with('/')) return text;
  // Without a displayed folder the current directory stands in, so that a relative text
  // never turns into one below the root.
  const std::string base = baseFolder_.empty() ? platform::CurrentDirectory() : baseFolder_;
  if (base.empty()) return text;
  return base.ends_with('/') ? base + text : base + "/" + text;
}

PathAttributes FileSystemFolderQueries::AttributesOf(const std::string& text) {
  const std::optional<platform::FileStatus> status = platform::GetFileStatus(Resolve(text));
  if (!status) return PathAttributes::kMissing;
  return status->kind == platform::EntryKind::kDirectory ? PathAttributes::kDirectory
                                                         : PathAttributes::kFile;
}

platform::DriveType FileSystemFolderQueries::DriveTypeOf(const std::string& place) {
  return platform::DriveTypeOf(Resolve(place));
}

bool FileSystemFolderQueries::CreateFolderPath(const std::string& path) {
  return platform::MakeFolders(Resolve(path)) == 0;
}

std::vector<std::string> FileSystemFolderQueries::FolderNamesStartingWith(const std::string& text) {
  // The prefix is the typed last part itself, the part that a completion replaces: a "~"
  // alone is the start of a name here, not the home folder.
  const std::size_t slash = text.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string folder = Resolve(text.substr(0, nameStart));
  const std::string_view prefix = std::string_view(text).substr(nameStart);

  std::vector<std::string> names;
  std::optional<platform::DirectoryListing> listing = platform::DirectoryListing::Open(folder);
  if (!listing) return names;
  for (platform::DirectoryEntry& entry : listing->ReadEntries()) {
    if (entry.kind == platform::EntryKind::kDirectory && StartsWithNoCase(entry.name, prefix)) {
      names.push_back(std::move(entry.name));
    }
  }
  return names;
}

}  // namespace sorvina::ui
