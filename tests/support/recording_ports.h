// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/report/run_ports.h"
#include "transfer/file_operation.h"

namespace sorvina::test {

// Ports that record what the engine shows, in order, as short texts:
// "message:TEXT", "warning:TEXT", "wait:on", "wait:off", "progress:open TITLE", "range:0..5",
// "pos:2", "progress:close". The progress display asks for Cancel at the given pump count.
class RecordingPorts : public engine::RunPorts {
 public:
  std::vector<std::string> events;
  std::vector<std::string> messages;
  std::vector<std::string> warnings;
  int cancelAtPump = -1;  // the n-th pump (counted from 1) reports Cancel

  void ShowInformation(const text::UserText& message) override {
    messages.push_back(text::English(message));
    events.push_back("message:" + messages.back());
  }
  void ShowWarning(const text::UserText& message) override {
    warnings.push_back(text::English(message));
    events.push_back("warning:" + warnings.back());
  }
  void SetWaitCursor(bool shown) override { events.push_back(shown ? "wait:on" : "wait:off"); }
  std::unique_ptr<engine::ProgressPort> OpenProgress(const text::UserText& title) override {
    events.push_back("progress:open " + text::English(title));
    return std::make_unique<Progress>(*this);
  }

 private:
  class Progress : public engine::ProgressPort {
   public:
    explicit Progress(RecordingPorts& owner) : owner_(owner) {}
    ~Progress() override { owner_.events.push_back("progress:close"); }
    void SetRange(int lower, int upper) override {
      owner_.events.push_back("range:" + std::to_string(lower) + ".." + std::to_string(upper));
    }
    void SetPosition(int position) override {
      owner_.events.push_back("pos:" + std::to_string(position));
    }
    bool PumpAndCheckCancel() override { return ++pumps_ == owner_.cancelAtPump; }

   private:
    RecordingPorts& owner_;
    int pumps_ = 0;
  };
};

// A copy's owner that answers every name conflict with Replace, records each error as
// "PATH: REASON", and lets a test act once the copy has its request, before any file is
// opened.
class CopyRecorder : public transfer::FileOperationUi {
 public:
  std::vector<std::string> errors;
  std::vector<std::string> conflicts;  // the targets asked about (each is replaced)
  std::function<void()> beforeTheFirstFile;
  // Sees every progress update.
  std::function<void(const transfer::FileProgress&)> onProgress;

  transfer::ConflictAnswer AskConflict(const std::string&, const std::string& target) override {
    conflicts.push_back(target);
    return {transfer::ConflictAction::kReplace, false};
  }
  transfer::ErrorAction ReportError(const std::string& path,
                                    const text::UserText& reason) override {
    errors.push_back(path + ": " + text::English(reason));
    return transfer::ErrorAction::kContinue;
  }
  bool Progress(const transfer::FileProgress& progress) override {
    if (beforeTheFirstFile) std::exchange(beforeTheFirstFile, nullptr)();
    if (onProgress) onProgress(progress);
    return true;
  }
};

}  // namespace sorvina::test
