// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/status_line.h"

#include <algorithm>

namespace sorvina::cli {
namespace {

constexpr int kBarWidth = 20;

// Cuts `text` to `width` bytes without splitting a UTF-8 sequence.
void CutTo(std::string& text, std::size_t width) {
  if (text.size() <= width) return;
  std::size_t end = width;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
}

}  // namespace

void StatusLine::Show(std::string_view text) {
  if (!enabled_ || text == shown_) return;
  err_ << '\r' << text;
  // Blanks what a longer earlier text left behind.
  if (text.size() < drawn_) err_ << std::string(drawn_ - text.size(), ' ');
  err_.flush();
  drawn_ = std::max(drawn_, text.size());
  shown_ = text;
}

void StatusLine::Clear() {
  if (!enabled_ || drawn_ == 0) return;
  err_ << '\r' << std::string(drawn_, ' ') << '\r';
  err_.flush();
  drawn_ = 0;
  shown_.clear();
}

std::string ProgressText(std::string_view label, std::uint64_t done, std::uint64_t total,
                         std::string_view detail) {
  const std::uint64_t capped = std::min(done, total);
  // Computed in long double: byte totals may be near 2^64, where done * 100 would wrap.
  const int percent =
      total == 0 ? 100 : static_cast<int>(static_cast<long double>(capped) * 100 / total);
  const int filled = percent * kBarWidth / 100;
  std::string text(label);
  text += " [";
  text.append(static_cast<std::size_t>(filled), '#');
  text.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
  text += "] ";
  const std::string number = std::to_string(percent);
  text.append(3 - std::min<std::size_t>(3, number.size()), ' ');
  text += number;
  text += '%';
  if (!detail.empty()) {
    text += "  ";
    for (const char c : detail)
      text += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  }
  CutTo(text, kStatusWidth);
  return text;
}

}  // namespace sorvina::cli
