// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "text/user_text.h"

namespace sorvina::text {

// Why something failed, in words the user can read, with the system's errno value behind
// it where there is one: what the layers below the front ends give back instead of a bare
// bool, an errno value or an enum, so that the one who shows it need not guess why.
struct Failure {
  UserText reason;
  int error = 0;
};

// The system's error `error` in its own words ("No space left on device").
Failure SystemFailure(int error);

// A value, or the failure that kept it from being had.
template <typename T>
class Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Failure failure) : state_(std::move(failure)) {}

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<T>(state_); }
  const T& value() const { return std::get<T>(state_); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  const Failure& failure() const { return std::get<Failure>(state_); }

 private:
  std::variant<T, Failure> state_;
};

// Done, or why not: none where all went well.
using Outcome = std::optional<Failure>;

}  // namespace sorvina::text
