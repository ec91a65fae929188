// SPDX-License-Identifier: GPL-3.0-or-later
// The folder picker's judgement of typed texts, in both path styles, over a file system
// and a user whose answers follow from the input. Input: one byte of choices, the typed
// text up to the first NUL, then NUL-separated folder names that the name search finds.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "ui/folder_text/folder_name_completion.h"
#include "ui/folder_text/folder_text_checks.h"

namespace {

using sorvina::platform::DriveType;
using sorvina::text::PathStyle;
using sorvina::ui::FolderQueries;
using sorvina::ui::FolderTextContext;
using sorvina::ui::Navigability;
using sorvina::ui::PathAttributes;

// Deterministic answers: a hash of the question and the input's choice byte.
unsigned Answer(std::string_view question, unsigned salt, unsigned choices) {
  return static_cast<unsigned>(std::hash<std::string_view>{}(question) ^ salt) % choices;
}

class FakeQueries : public FolderQueries {
 public:
  FakeQueries(unsigned salt, std::vector<std::string> names, bool honest)
      : salt_(salt), names_(std::move(names)), honest_(honest) {}

  int creations = 0;

  PathAttributes AttributesOf(const std::string& text) override {
    return static_cast<PathAttributes>(Answer(text, salt_, 3));
  }
  DriveType DriveTypeOf(const std::string& place) override {
    return static_cast<DriveType>(Answer(place, salt_ * 7, 7));
  }
  bool CreateFolderPath(const std::string& path) override {
    ++creations;
    return Answer(path, salt_ * 13, 2) == 0;
  }
  // Every name the input lists; an honest search only those that begin with the text
  // after its last separator, ASCII letter case ignored, as the real search finds them.
  std::vector<std::string> FolderNamesStartingWith(const std::string& text) override {
    if (!honest_) return names_;
    const std::size_t cut = text.find_last_of("/\\:");
    const std::string_view typed =
        cut == std::string::npos ? std::string_view(text) : std::string_view(text).substr(cut + 1);
    std::vector<std::string> found;
    for (const std::string& name : names_) {
      if (name.size() < typed.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < typed.size() && same; ++i)
        same = sorvina::text::AsciiLower(name[i]) == sorvina::text::AsciiLower(typed[i]);
      if (same) found.push_back(name);
    }
    return found;
  }

 private:
  unsigned salt_;
  std::vector<std::string> names_;
  bool honest_;
};

class FakePrompts : public sorvina::ui::FolderPrompts {
 public:
  explicit FakePrompts(unsigned salt) : salt_(salt) {}

  int messages = 0;
  int questions = 0;
  int yes = 0;

  void ShowMessage(const sorvina::text::UserText& text) override {
    FUZZ_CHECK(!sorvina::text::English(text).empty());
    ++messages;
  }
  bool AskYesNo(const sorvina::text::UserText& text) override {
    ++questions;
    const bool answer = Answer(sorvina::text::English(text), salt_ * 31, 2) == 0;
    yes += answer ? 1 : 0;
    return answer;
  }

 private:
  unsigned salt_;
};

bool IsStyleSeparator(char c, PathStyle style) {
  return c == sorvina::text::Separator(style);
}

// What Open and Enter accept is the text itself, or the text less one trailing separator.
void CheckAccepted(const std::optional<std::string>& accepted, std::string_view text,
                   PathStyle style) {
  if (!accepted) return;
  FUZZ_CHECK(text.starts_with(*accepted));
  FUZZ_CHECK(accepted->size() == text.size() ||
             (accepted->size() + 1 == text.size() && IsStyleSeparator(text.back(), style)));
}

void CheckStyle(std::string_view text, const std::vector<std::string>& names, unsigned salt,
                bool honest, PathStyle style) {
  {
    FakeQueries queries(salt, names, honest);
    FakePrompts prompts(salt);
    const FolderTextContext context{style, queries, prompts};
    const auto accepted = sorvina::ui::CheckFolderForOpen(text, context);
    CheckAccepted(accepted, text, style);
    // A refusal always tells why, or follows a question the user declined.
    if (!accepted) FUZZ_CHECK(prompts.messages + prompts.questions > 0);
    FUZZ_CHECK(prompts.messages <= 1 && prompts.questions <= 1);
    // Nothing is created without a Yes; a text accepted after the question was created.
    FUZZ_CHECK(queries.creations <= prompts.yes);
    if (accepted && prompts.questions > 0) FUZZ_CHECK(queries.creations == 1);
  }
  {
    FakeQueries queries(salt, names, honest);
    FakePrompts prompts(salt);
    const FolderTextContext context{style, queries, prompts};
    const auto shown = sorvina::ui::CheckFolderForEnter(text, context);
    CheckAccepted(shown, text, style);
    FUZZ_CHECK(prompts.messages <= 1 && prompts.questions <= 1);
    FUZZ_CHECK(queries.creations <= prompts.yes);
    if (!shown) FUZZ_CHECK(prompts.questions == 1);
  }
  {
    FakeQueries queries(salt, names, honest);
    const Navigability navigability = sorvina::ui::IsNavigableFolderText(text, style, queries);
    FUZZ_CHECK(queries.creations == 0);
    if (navigability == Navigability::kDisplay) {
      FUZZ_CHECK(!text.empty() && IsStyleSeparator(text.back(), style));
    }
    if (!text.empty() && !IsStyleSeparator(text.back(), style)) {
      FUZZ_CHECK(navigability == Navigability::kPartial);
    }
  }
  {
    FakeQueries queries(salt, names, honest);
    const auto completed = sorvina::ui::CompleteFolderName(text, style, queries);
    FUZZ_CHECK(queries.creations == 0);
    if (completed) {
      // Completion only adds: the text grows, and keeps what was typed before the name.
      FUZZ_CHECK(completed->size() > text.size());
      if (style == PathStyle::kWindows) {
        FUZZ_CHECK(completed->starts_with(text));
      } else {
        const std::size_t cut = text.rfind('/');
        const std::size_t kept = cut == std::string_view::npos ? 0 : cut + 1;
        FUZZ_CHECK(completed->starts_with(text.substr(0, kept)));
        const std::string name = completed->substr(kept);
        FUZZ_CHECK(std::find(names.begin(), names.end(), name) != names.end());
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned choices = data[0];
  const std::string_view rest = sorvina::fuzz::AsText(data + 1, size - 1);
  std::size_t end = rest.find('\0');
  const std::string_view text = rest.substr(0, end);
  std::vector<std::string> names;
  while (end != std::string_view::npos) {
    const std::size_t start = end + 1;
    end = rest.find('\0', start);
    names.emplace_back(rest.substr(start, end == std::string_view::npos ? end : end - start));
  }
  const bool honest = (choices & 1) == 0;
  CheckStyle(text, names, choices >> 1, honest, PathStyle::kPosix);
  CheckStyle(text, names, choices >> 1, honest, PathStyle::kWindows);
  return 0;
}
