// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "ui/folder_text/folder_text_checks.h"

namespace sorvina::ui {

// The folder picker's queries on this machine's file system (native path style). A
// relative text counts from `baseFolder`, the folder the picker displays, and a leading
// "~" from the home folder; the process's current directory is never changed.
class FileSystemFolderQueries : public FolderQueries {
 public:
  explicit FileSystemFolderQueries(std::string baseFolder);

  // The absolute path that `text` names.
  std::string Resolve(const std::string& text) const;

  PathAttributes AttributesOf(const std::string& text) override;
  platform::DriveType DriveTypeOf(const std::string& place) override;
  bool CreateFolderPath(const std::string& path) override;
  std::vector<std::string> FolderNamesStartingWith(const std::string& text) override;

 private:
  std::string baseFolder_;
};

}  // namespace sorvina::ui
