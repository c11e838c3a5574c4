#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "platform/failure.h"

namespace keelpack {

// Whether a failure says something about a file: its bytes are at fault, or the system failed
// the operation (no memory, a full disk, a file gone), which says nothing about the file.
enum class FailureCause { kContent, kSystem };

// The one account of a failure that every operation that can fail gives its caller.
struct Failure {
  FailureCause cause = FailureCause::kSystem;
  // The failure number the log shows (platform/failure.h); never 0, 1 or 2.
  int number = platform::kFailPathAccess;
  // For a system failure, the error number (errno) it came from; 0 for a content fault.
  int systemError = 0;
  // For a content fault, what was wrong, in the log's words ("Segment length below 2").
  std::string text;

  static Failure System(int systemError) {
    return {FailureCause::kSystem, platform::FailureNumber(systemError), systemError, {}};
  }
  // The error the last failed system call left in errno.
  static Failure LastSystemError() { return System(errno); }
  static Failure Content(int number, std::string text) {
    return {FailureCause::kContent, number, 0, std::move(text)};
  }

  bool content() const { return cause == FailureCause::kContent; }
  friend bool operator==(const Failure&, const Failure&) = default;
};

// A value, or the failure that stood in its way. Shaped like std::expected, which the sanitizer
// build's compiler cannot yet take: true when it holds a value, so `if (!result)` is the
// failure branch.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Failure& error() const { return std::get<1>(state_); }

  friend bool operator==(const Result&, const Result&) = default;
  friend bool operator==(const Result& result, const T& value) {
    return result && *result == value;
  }

 private:
  std::variant<T, Failure> state_;
};

// Success with nothing to give, or a failure.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)) {}

  bool has_value() const { return !failure_; }
  explicit operator bool() const { return has_value(); }
  const Failure& error() const { return *failure_; }

 private:
  std::optional<Failure> failure_;
};

using Status = Result<void>;

// The error number behind a failed status, 0 for a success: what a caller that tells system
// failures apart by it switches on.
inline int SystemErrorOf(const Status& status) { return status ? 0 : status.error().systemError; }

}  // namespace keelpack
