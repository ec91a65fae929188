// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_type.h"
#include "text/path_style.h"
#include "text/user_text.h"

namespace sorvina::ui {

// Judges a folder path typed into the folder picker: whether it may be chosen, whether
// the picker should display it at once, and whether to create a missing folder after
// asking. Plain logic over byte strings in the file system's encoding, exactly as typed
// (never trimmed, never made absolute); what it needs from the file system and from the
// user comes through the two interfaces below, so any path style can be judged anywhere.
//
// Windows style knows drive texts ("D:", "D:\") and network texts ("\\server\share");
// POSIX style has neither, and there a folder's volume type is that of the nearest
// existing folder above it. Only the style's own separator counts as one.

enum class PathAttributes { kMissing, kFile, kDirectory };

// The file-system queries the checks and the name completion make. Relative texts are
// resolved by the implementation.
class FolderQueries {
 public:
  virtual ~FolderQueries() = default;
  // Missing, or present as a folder or as anything else; links followed.
  virtual PathAttributes AttributesOf(const std::string& text) = 0;
  // Windows style: the type of the drive whose root ("D:\") is given. POSIX style: the
  // type of the volume holding the nearest existing folder at or above the text.
  virtual platform::DriveType DriveTypeOf(const std::string& place) = 0;
  // Creates every missing folder along `path`; true also when all of them exist.
  virtual bool CreateFolderPath(const std::string& path) = 0;
  // The names (last part only) of the folders whose path begins with `text`, ASCII
  // letter case ignored, in the order the file system lists them; "." and ".." are no
  // such names.
  virtual std::vector<std::string> FolderNamesStartingWith(const std::string& text) = 0;
};

// The two ways the checks talk to the user.
class FolderPrompts {
 public:
  virtual ~FolderPrompts() = default;
  // A message with an OK button.
  virtual void ShowMessage(const text::UserText& text) = 0;
  // A question with Yes and No buttons; true only for Yes.
  virtual bool AskYesNo(const text::UserText& text) = 0;
};

struct FolderTextContext {
  text::PathStyle style;
  FolderQueries& queries;
  FolderPrompts& prompts;
};

enum class CreationResult { kDeclined, kFailed, kCreated };

// What typing a character (or Delete) into the picker's field leads to.
enum class Navigability {
  kDisplay,  // display the folder the text names
  kSettled,  // nothing to do
  kPartial   // the text may be a partly typed name: completion may follow
};

// The general failure messages of the two callers of CreateFolderAfterAsking.
inline constexpr const char* kOpenCreationFailedMessage =
    SORVINA_TEXT("sorvina", "You do not have permission\nto create this folder.");
inline constexpr const char* kEnterCreationFailedMessage =
    SORVINA_TEXT("sorvina", "You do not have permission or\notherwise cannot create this folder.");

// The first character of `text` followed by ":\", whatever that character is.
std::string DriveRootOf(std::string_view text);

// Asks whether to create the missing folder `text` and creates it with every missing
// folder on the way. A failure is explained by the volume type, or by `generalMessage`.
CreationResult CreateFolderAfterAsking(std::string_view text, const char* generalMessage,
                                       const FolderTextContext& context);

// For the Open button: the text to accept, or nothing once the reason has been shown (or
// the creation question declined).
std::optional<std::string> CheckFolderForOpen(std::string_view text,
                                              const FolderTextContext& context);

// For the Enter key: the text to display, or nothing to stop there.
std::optional<std::string> CheckFolderForEnter(std::string_view text,
                                               const FolderTextContext& context);

// For each typed character and the Delete key. Never shows anything.
Navigability IsNavigableFolderText(std::string_view text, text::PathStyle style,
                                   FolderQueries& queries);

}  // namespace sorvina::ui
