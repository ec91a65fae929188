// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>

namespace sorvina::ui {

// Base of a test seam that stands in for a modal window while it lives: the window's
// function asks `active()` first and, when a seam is there, records the request and takes
// its answer from the seam instead of showing anything. Seams nest; the newest answers.
template <class Derived>
class ScopedSeam {
 public:
  ScopedSeam(const ScopedSeam&) = delete;
  ScopedSeam& operator=(const ScopedSeam&) = delete;

  static Derived* active() { return activeSeam; }

 protected:
  ScopedSeam() : previous_(activeSeam) { activeSeam = static_cast<Derived*>(this); }
  ~ScopedSeam() { activeSeam = previous_; }

  // The next queued answer, or `fallback` when none is left.
  template <class Answer>
  static Answer TakeNext(std::deque<Answer>& answers, Answer fallback) {
    if (answers.empty()) return fallback;
    Answer next = std::move(answers.front());
    answers.pop_front();
    return next;
  }

 private:
  inline static Derived* activeSeam = nullptr;
  Derived* previous_;
};

}  // namespace sorvina::ui
