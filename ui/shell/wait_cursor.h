// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

namespace sorvina::ui {

// Shows `shape` over every window of the program for as long as it lives, above any
// cursor set before: the wait cursor while the program works, the arrow for a question
// asked in the middle of that work, the busy arrow over a window whose Cancel still
// responds.
class ScopedCursor {
 public:
  explicit ScopedCursor(Qt::CursorShape shape);
  ~ScopedCursor();
  ScopedCursor(const ScopedCursor&) = delete;
  ScopedCursor& operator=(const ScopedCursor&) = delete;
};

}  // namespace sorvina::ui
