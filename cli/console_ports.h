// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "cli/status_line.h"
#include "engine/report/run_ports.h"
#include "transfer/file_operation.h"

namespace sorvina::cli {

// The engine's messages and progress on standard error. Messages are printed in English, exactly
// as the engine words them, one line each; progress and the "looking" hint only on the
// status line (a watched terminal).
class ConsoleRunPorts : public engine::RunPorts {
 public:
  ConsoleRunPorts(const Console& console, StatusLine& line) : console_(console), line_(line) {}

  void ShowInformation(const text::UserText& message) override;
  // A warning is printed like a message, but the run may still succeed.
  void ShowWarning(const text::UserText& message) override;
  void SetWaitCursor(bool shown) override;
  std::unique_ptr<engine::ProgressPort> OpenProgress(const text::UserText& title) override;

  bool messageShown() const { return messageShown_; }
  // What the status line says while the wait cursor would show: "Looking for MP3 files..."
  // unless set.
  void SetLookingText(std::string text) { lookingText_ = std::move(text); }

 private:
  const Console& console_;
  StatusLine& line_;
  bool messageShown_ = false;
  std::string lookingText_ = "Looking for MP3 files...";
};

// What to do when a copy meets a file of the same name in the destination.
enum class ConflictPolicy { kAsk, kReplace, kSkip, kKeepBoth };

// Reads "replace", "skip", "keep-both" or "ask"; nothing for any other text.
std::optional<ConflictPolicy> ParseConflictPolicy(std::string_view text);

// Reads the user's answer to a conflict prompt: r, s, k or c (or the words replace, skip,
// keep, keep-both, cancel), in upper case or followed by " all" for every remaining
// conflict. Nothing when the answer is none of these.
std::optional<transfer::ConflictAnswer> ParseConflictAnswer(std::string_view answer);

// The copy's questions, errors and progress on the console. Conflicts are settled by the
// policy, or asked on standard error and answered on standard input (the end of the input
// cancels). Failed files are reported and the copy goes on with the rest. Quiet shortens
// the prompt; every file skipped by the policy or failed is still named.
class ConsoleFileOperation : public transfer::FileOperationUi {
 public:
  ConsoleFileOperation(const Console& console, StatusLine& line, ConflictPolicy policy, bool quiet)
      : console_(console), line_(line), policy_(policy), quiet_(quiet) {}

  transfer::ConflictAnswer AskConflict(const std::string& source,
                                       const std::string& target) override;
  transfer::ErrorAction ReportError(const std::string& path, const text::UserText& reason) override;
  bool Progress(const transfer::FileProgress& progress) override;
  void WritingToDevice() override;

  bool anyErrorReported() const { return anyErrorReported_; }
  bool cancelled() const { return cancelled_; }

 private:
  const Console& console_;
  StatusLine& line_;
  ConflictPolicy policy_;
  bool quiet_;
  bool anyErrorReported_ = false;
  bool cancelled_ = false;
};

}  // namespace sorvina::cli
