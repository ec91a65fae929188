// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace sorvina::cli {

// One line of standard error that is redrawn in place (carriage return, no line feed) to
// show what is going on; only when standard error is a terminal that someone watches.
// Everything else written to standard error clears it first, so that messages and
// prompts start on a clean line.
class StatusLine {
 public:
  StatusLine(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~StatusLine() { Clear(); }
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool enabled() const { return enabled_; }

  // Replaces the line's text; nothing is written when the text is unchanged.
  void Show(std::string_view text);
  // Blanks the line and puts the cursor back at its start.
  void Clear();

 private:
  std::ostream& err_;
  bool enabled_;
  std::string shown_;
  std::size_t drawn_ = 0;  // columns written since the line was last blank
};

// "label [#####     ]  50%  detail", at most kStatusWidth bytes, control characters of
// `detail` (a file name may hold any) shown as '?'. `total` 0 counts as nothing to do.
inline constexpr std::size_t kStatusWidth = 79;
std::string ProgressText(std::string_view label, std::uint64_t done, std::uint64_t total,
                         std::string_view detail = {});

}  // namespace sorvina::cli
