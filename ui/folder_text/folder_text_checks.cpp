// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_text/folder_text_checks.h"

namespace sorvina::ui {
namespace {

using platform::DriveType;
using text::PathStyle;

using text::UserText;

// The folder text typed comes first, on a line of its own.
constexpr const char* kNotValidFolder = SORVINA_TEXT("sorvina", "%1\nThis is not a valid folder.");
constexpr const char* kDriveInvalid = SORVINA_TEXT("sorvina", "%1\nThe drive is invalid.");
constexpr const char* kFileNotDirectory =
    SORVINA_TEXT("sorvina", "%1\nThis is a file not a directory.");
constexpr const char* kCreateQuestion =
    SORVINA_TEXT("sorvina", "%1\nThis folder does not exist.\n\nDo you want to create it?");
constexpr const char* kRemovableFailure =
    SORVINA_TEXT("sorvina", "You cannot create this folder.\nThe medium may be write-protected.");
constexpr const char* kRemoteFailure =
    SORVINA_TEXT("sorvina", "You do not have permission to create\nthis folder on the network.");
constexpr const char* kCdRomFailure =
    SORVINA_TEXT("sorvina", "You cannot create this folder\nas the CD ROM medium is read-only.");

UserText Joined(std::string_view text, const char* pattern) {
  return {pattern, {std::string(text)}};
}

bool IsWindows(PathStyle style) {
  return style == PathStyle::kWindows;
}

bool IsSingleSeparator(std::string_view text, PathStyle style) {
  return text.size() == 1 && text[0] == text::Separator(style);
}

// The forms below exist in Windows style only: elsewhere "D:" is an ordinary name and a
// doubled separator means nothing special.

// "\\": the start of a network path.
bool IsDoubleSeparator(std::string_view text, PathStyle style) {
  return IsWindows(style) && text == "\\\\";
}

bool BeginsWithDoubleSeparator(std::string_view text, PathStyle style) {
  return IsWindows(style) && text.size() >= 2 && text[0] == '\\' && text[1] == '\\';
}

// "D:"
bool IsDriveText(std::string_view text, PathStyle style) {
  return IsWindows(style) && text.size() == 2 && text[1] == ':';
}

// "D:\"
bool IsDriveRootText(std::string_view text, PathStyle style) {
  return IsWindows(style) && text.size() == 3 && text[1] == ':' && text[2] == '\\';
}

// Whether the text begins with a drive ("D:...") that names no drive.
bool HasInvalidDrive(std::string_view text, PathStyle style, FolderQueries& queries) {
  if (!IsWindows(style) || text.size() < 2 || text[1] != ':') return false;
  const DriveType type = queries.DriveTypeOf(DriveRootOf(text));
  return type == DriveType::kUnknown || type == DriveType::kNoRootDirectory;
}

// A network text that reaches no folder below a share: "\\server", "\\server\share", but
// not "\\server\share\folder".
bool IsNetworkTextWithoutFolder(std::string_view text, PathStyle style) {
  if (!BeginsWithDoubleSeparator(text, style)) return false;
  const std::size_t share = text.find('\\', 2);
  return share == std::string_view::npos || text.find('\\', share + 1) == std::string_view::npos;
}

std::string WithoutTrailingSeparator(std::string_view text, PathStyle style) {
  if (!text.empty() && text.back() == text::Separator(style)) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::string DriveRootOf(std::string_view text) {
  if (text.empty()) return {};
  return std::string(1, text[0]) + ":\\";
}

CreationResult CreateFolderAfterAsking(std::string_view text, const char* generalMessage,
                                       const FolderTextContext& context) {
  if (!context.prompts.AskYesNo(Joined(text, kCreateQuestion))) return CreationResult::kDeclined;
  // The separator makes the last part a folder too; an empty text stays empty so that it
  // does not turn into the root.
  std::string path(text);
  if (!path.empty()) path += text::Separator(context.style);
  if (context.queries.CreateFolderPath(path)) return CreationResult::kCreated;

  // A drive's type is that of its root; without drives, the volume that would have held
  // the folder tells.
  const DriveType type =
      context.queries.DriveTypeOf(IsWindows(context.style) ? DriveRootOf(text) : std::string(text));
  switch (type) {
    case DriveType::kRemovable:
      context.prompts.ShowMessage(kRemovableFailure);
      break;
    case DriveType::kRemote:
      context.prompts.ShowMessage(kRemoteFailure);
      break;
    case DriveType::kCdRom:
      context.prompts.ShowMessage(kCdRomFailure);
      break;
    default:
      context.prompts.ShowMessage(generalMessage);
      break;
  }
  return CreationResult::kFailed;
}

std::optional<std::string> CheckFolderForOpen(std::string_view text,
                                              const FolderTextContext& context) {
  const PathStyle style = context.style;
  FolderQueries& queries = context.queries;
  FolderPrompts& prompts = context.prompts;

  // Forms decided without looking at the file system.
  if (text.empty() || IsSingleSeparator(text, style)) return std::string(text);
  if (IsDoubleSeparator(text, style)) {
    prompts.ShowMessage(Joined(text, kNotValidFolder));
    return std::nullopt;
  }
  if (IsDriveText(text, style) || IsDriveRootText(text, style)) {
    if (!HasInvalidDrive(text, style, queries)) return std::string(text);
    prompts.ShowMessage(Joined(text, kDriveInvalid));
    return std::nullopt;
  }

  const std::string folder = WithoutTrailingSeparator(text, style);
  switch (queries.AttributesOf(folder)) {
    case PathAttributes::kDirectory:
      return folder;
    case PathAttributes::kFile:
      prompts.ShowMessage(Joined(folder, kFileNotDirectory));
      return std::nullopt;
    case PathAttributes::kMissing:
      break;
  }
  if (HasInvalidDrive(folder, style, queries)) {
    prompts.ShowMessage(Joined(folder, kDriveInvalid));
    return std::nullopt;
  }
  if (IsNetworkTextWithoutFolder(folder, style)) {
    prompts.ShowMessage(Joined(folder, kNotValidFolder));
    return std::nullopt;
  }
  if (CreateFolderAfterAsking(folder, kOpenCreationFailedMessage, context) ==
      CreationResult::kCreated) {
    return folder;
  }
  return std::nullopt;
}

std::optional<std::string> CheckFolderForEnter(std::string_view text,
                                               const FolderTextContext& context) {
  const PathStyle style = context.style;
  // The roots keep their separator: without it they would name something else.
  const bool isRoot = IsSingleSeparator(text, style) || IsDoubleSeparator(text, style) ||
                      IsDriveRootText(text, style);
  const std::string folder = isRoot ? std::string(text) : WithoutTrailingSeparator(text, style);

  // Forms displayed without looking at the file system; the file dialog copes with them.
  if (folder.empty() || IsSingleSeparator(folder, style) || IsDriveText(folder, style) ||
      IsDriveRootText(folder, style)) {
    return folder;
  }
  if (BeginsWithDoubleSeparator(folder, style) && folder.find('\\', 2) == std::string::npos) {
    return folder;  // a server name, or the two backslashes alone
  }

  if (context.queries.AttributesOf(folder) != PathAttributes::kMissing) return folder;
  // The file dialog explains a drive that does not exist in its own way.
  if (HasInvalidDrive(folder, style, context.queries)) return folder;
  if (CreateFolderAfterAsking(folder, kEnterCreationFailedMessage, context) ==
      CreationResult::kCreated) {
    return folder;
  }
  return std::nullopt;
}

Navigability IsNavigableFolderText(std::string_view text, PathStyle style, FolderQueries& queries) {
  if (IsDoubleSeparator(text, style)) return Navigability::kSettled;
  if (IsSingleSeparator(text, style)) return Navigability::kDisplay;
  if (IsDriveRootText(text, style)) {
    return HasInvalidDrive(text, style, queries) ? Navigability::kSettled : Navigability::kDisplay;
  }
  if (!text.empty() && text.back() == text::Separator(style)) {
    return queries.AttributesOf(std::string(text)) == PathAttributes::kDirectory
               ? Navigability::kDisplay
               : Navigability::kSettled;
  }
  return Navigability::kPartial;
}

}  // namespace sorvina::ui
