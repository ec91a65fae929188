// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/file_types.h"
#include "platform/file_system.h"

namespace sorvina::engine {

// The size a scanned file has until someone asks for it (ReadMissingSizes).
inline constexpr std::int64_t kSizeNotRead = -1;

// What a folder's listing holds that a scan uses: its subfolders not beginning with ".",
// links to folders among them, and the files of the chosen types (links to files among
// them), in listing order.
struct FolderContents {
  struct Item {
    std::size_t nameBegin = 0;  // in `names`
    std::size_t nameSize = 0;
    bool isFolder = false;
    std::int64_t sizeBytes = kSizeNotRead;  // files only
  };

  std::string_view NameOf(const Item& item) const {
    return std::string_view(names).substr(item.nameBegin, item.nameSize);
  }

  platform::FileIdentity identity;  // of the folder listed
  std::string names;                // the names of `items`, one after another
  std::vector<Item> items;
};

// Lists `folder`. The listing gives each entry's kind; a status query is made only where
// it does not (links, file systems that record no kinds) and the name could matter, and
// for the sizes of the files when `readSizes` is set. Without sizes, a folder that may be
// listed but not entered lists names whose files cannot be reached: there every file is
// looked at, so that exactly those that can be reached are kept, as with sizes.
FolderContents ReadFolderContents(platform::DirectoryListing& folder,
                                  const media::FileTypeChoice& types, bool readSizes);

}  // namespace sorvina::engine
