#pragma once

namespace sorvina::ui {

// Shows the wait cursor over every window of the program for as long as it lives.
class ScopedWaitCursor {
 public:
  ScopedWaitCursor();
  ~ScopedWaitCursor();
  ScopedWaitCursor(const ScopedWaitCursor&) = delete;
  ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;
};

// Shows the ordinary arrow while it lives, over a wait cursor that may be on: for
// questions asked in the middle of a long operation.
class ScopedArrowCursor {
 public:
  ScopedArrowCursor();
  ~ScopedArrowCursor();
  ScopedArrowCursor(const ScopedArrowCursor&) = delete;
  ScopedArrowCursor& operator=(const ScopedArrowCursor&) = delete;
};

}  // namespace sorvina::ui
