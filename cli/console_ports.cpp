// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_ports.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/report/messages.h"

namespace sorvina::cli {
namespace {

// The playlist writer's progress on the status line; Cancel is the user's interrupt.
class ConsoleProgress : public engine::ProgressPort {
 public:
  ConsoleProgress(const Console& console, StatusLine& line, std::string title)
      : console_(console), line_(line), title_(std::move(title)) {
    Draw();
  }
  ~ConsoleProgress() override { line_.Clear(); }

  void SetRange(int lower, int upper) override {
    lower_ = lower;
    upper_ = upper;
    Draw();
  }
  void SetPosition(int position) override {
    position_ = position;
    Draw();
  }
  void SetLabel(const text::UserText& label) override {
    const std::string text = text::English(label);
    if (text == label_) return;
    label_ = text;
    Draw();
  }
  bool PumpAndCheckCancel() override { return console_.WasInterrupted(); }

 private:
  void Draw() {
    if (!line_.enabled()) return;
    // Positions outside the range are drawn at its ends.
    const std::int64_t span = std::max<std::int64_t>(0, std::int64_t{upper_} - lower_);
    const std::int64_t done = std::clamp<std::int64_t>(std::int64_t{position_} - lower_, 0, span);
    line_.Show(ProgressText(title_, static_cast<std::uint64_t>(done),
                            static_cast<std::uint64_t>(span), label_));
  }

  const Console& console_;
  StatusLine& line_;
  std::string title_;
  std::string label_;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
};

std::string_view Trim(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ConsoleRunPorts::ShowInformation(const text::UserText& message) {
  line_.Clear();
  console_.err << text::English(message) << '\n';
  console_.err.flush();
  messageShown_ = true;
}

void ConsoleRunPorts::ShowWarning(const text::UserText& message) {
  line_.Clear();
  console_.err << "warning: " << text::English(message) << '\n';
  console_.err.flush();
}

void ConsoleRunPorts::SetWaitCursor(bool shown) {
  if (shown) {
    line_.Show(lookingText_);
  } else {
    line_.Clear();
  }
}

std::unique_ptr<engine::ProgressPort> ConsoleRunPorts::OpenProgress(const text::UserText& title) {
  return std::make_unique<ConsoleProgress>(console_, line_, text::English(title));
}

std::optional<ConflictPolicy> ParseConflictPolicy(std::string_view text) {
  if (text == "ask") return ConflictPolicy::kAsk;
  if (text == "replace") return ConflictPolicy::kReplace;
  if (text == "skip") return ConflictPolicy::kSkip;
  if (text == "keep-both") return ConflictPolicy::kKeepBoth;
  return std::nullopt;
}

std::optional<transfer::ConflictAnswer> ParseConflictAnswer(std::string_view answer) {
  using transfer::ConflictAction;
  answer = Trim(answer);
  if (answer.empty()) return std::nullopt;
  transfer::ConflictAnswer result;
  // A single capital letter means "the same for all remaining".
  result.forAllRemaining = answer.size() == 1 && answer[0] >= 'A' && answer[0] <= 'Z';
  std::string word = Lower(answer);
  for (const std::string_view suffix : {" all", "-all"}) {
    if (word.size() > suffix.size() && word.ends_with(suffix)) {
      result.forAllRemaining = true;
      word = std::string(Trim(std::string_view(word).substr(0, word.size() - suffix.size())));
      break;
    }
  }
  if (word == "r" || word == "replace") {
    result.action = ConflictAction::kReplace;
  } else if (word == "s" || word == "skip") {
    result.action = ConflictAction::kSkip;
  } else if (word == "k" || word == "keep" || word == "keep-both" || word == "keep both") {
    result.action = ConflictAction::kKeepBoth;
  } else if (word == "c" || word == "cancel") {
    result.action = ConflictAction::kCancel;
  } else {
    return std::nullopt;
  }
  return result;
}

transfer::ConflictAnswer ConsoleFileOperation::AskConflict(const std::string& /*source*/,
                                                           const std::string& target) {
  using transfer::ConflictAction;
  if (console_.WasInterrupted()) {
    cancelled_ = true;
    return {ConflictAction::kCancel, true};
  }
  // A policy answers one conflict at a time, so that each skipped file can be named.
  switch (policy_) {
    case ConflictPolicy::kReplace:
      return {ConflictAction::kReplace, false};
    case ConflictPolicy::kSkip:
      // A file left out is a result, told even when quiet.
      line_.Clear();
      console_.err << "sorvina-cli: not copied, the destination has a file of that name: " << target
                   << '\n';
      return {ConflictAction::kSkip, false};
    case ConflictPolicy::kKeepBoth:
      return {ConflictAction::kKeepBoth, false};
    case ConflictPolicy::kAsk:
      break;
  }
  line_.Clear();
  std::ostream& err = console_.err;
  for (;;) {
    if (quiet_) {
      err << '"' << target << "\" exists [r/s/k/c]? ";
    } else {
      err << '"' << target << "\" exists already.\n"
          << "Replace, Skip, Keep both or Cancel? [r/s/k/c; R/S/K: for all remaining] ";
    }
    err.flush();
    std::string answer;
    const bool gotLine = static_cast<bool>(std::getline(console_.in, answer));
    // A terminal echoes the answer and its line feed; other input leaves the prompt open.
    if (!gotLine || !console_.inputIsTerminal) err << '\n';
    if (!gotLine) {
      cancelled_ = true;
      return {ConflictAction::kCancel, true};
    }
    if (const std::optional<transfer::ConflictAnswer> parsed = ParseConflictAnswer(answer)) {
      if (parsed->action == ConflictAction::kCancel) cancelled_ = true;
      return *parsed;
    }
    err << "Please answer r (replace), s (skip), k (keep both) or c (cancel).\n";
  }
}

transfer::ErrorAction ConsoleFileOperation::ReportError(const std::string& path,
                                                        const text::UserText& reason) {
  line_.Clear();
  console_.err << "sorvina-cli: cannot copy " << path << ": " << text::English(reason) << '\n';
  console_.err.flush();
  anyErrorReported_ = true;
  return console_.WasInterrupted() ? transfer::ErrorAction::kStop
                                   : transfer::ErrorAction::kContinue;
}

bool ConsoleFileOperation::Progress(const transfer::FileProgress& progress) {
  if (console_.WasInterrupted()) return false;
  if (line_.enabled()) {
    const std::size_t shown = std::min(progress.fileIndex + 1, progress.fileCount);
    const std::string label =
        "Copying " + std::to_string(shown) + "/" + std::to_string(progress.fileCount);
    line_.Show(ProgressText(label, progress.bytesDone, progress.bytesTotal,
                            FileName(progress.target.empty() ? progress.path : progress.target)));
  }
  return true;
}

void ConsoleFileOperation::WritingToDevice() {
  line_.Show(engine::kWritingToDeviceText);
}

}  // namespace sorvina::cli
