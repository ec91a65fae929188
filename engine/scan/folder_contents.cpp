// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/folder_contents.h"

#include <optional>

namespace sorvina::engine {

using platform::EntryKind;

FolderContents ReadFolderContents(platform::DirectoryListing& folder,
                                  const media::FileTypeChoice& types, bool readSizes) {
  FolderContents contents;
  contents.identity = folder.identity();
  const auto keep = [&contents](std::string_view name, bool isFolder, std::int64_t sizeBytes) {
    contents.items.push_back({contents.names.size(), name.size(), isFolder, sizeBytes});
    contents.names.append(name);
  };
  // Whether each listed file is looked at; without sizes, only where the system cannot
  // tell whether the folder lets its files be reached, until the first shows it does.
  bool lookAtFiles = readSizes || folder.MayReachEntries() != true;
  folder.VisitEntries([&](std::string_view name, std::optional<EntryKind> kind) {
    const bool hidden = name.starts_with('.');
    const std::size_t ending = types.ChosenEndingLength(name);
    const bool music = ending > 0 && name.size() > ending;
    if (!kind) {
      // A hidden folder is skipped and a file not named as music is not collected: such a
      // name is not worth a query.
      if (hidden && !music) return;
      const std::optional<platform::FileStatus> status = folder.StatusOf(name.data());
      if (!status) return;
      if (status->kind == EntryKind::kDirectory) {
        if (!hidden) keep(name, true, 0);
      } else if (status->kind == EntryKind::kFile && music) {
        keep(name, false, static_cast<std::int64_t>(status->sizeBytes));
      }
    } else if (*kind == EntryKind::kDirectory) {
      if (!hidden) keep(name, true, 0);
    } else if (*kind == EntryKind::kFile && music) {
      if (!lookAtFiles) {
        keep(name, false, kSizeNotRead);
        return;
      }
      // A file that vanished since the listing was read is not collected.
      const std::optional<platform::FileStatus> status = folder.StatusOf(name.data());
      if (!status) return;
      keep(name, false, static_cast<std::int64_t>(status->sizeBytes));
      lookAtFiles = readSizes;
    }
  });
  return contents;
}

}  // namespace sorvina::engine
