// Status and Result<T>: how operations of the system layer report failure.
//
// A failure carries a message a user can read ("cannot open registry
// database /x/registry.db: file is not a database"). Both types are
// [[nodiscard]]: a caller must look at what it got. Exceptions never leave
// the system layer.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace norwin {

class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message), true); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // The failure's text; empty on success.
  const std::string& message() const { return message_; }

 private:
  Status(std::string message, bool failed) : message_(std::move(message)), failed_(failed) {}
  std::string message_;
  bool failed_ = false;
};

// A value or the Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}  // NOLINT: implicit by design.
  Result(Status error) : v_(std::move(error)) { assert(!std::get<Status>(v_).ok()); }  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only valid when ok().
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  // The failure; Status::Ok() when there is a value.
  Status status() const { return ok() ? Status::Ok() : std::get<1>(v_); }
  const std::string& message() const {
    static const std::string kEmpty;
    return ok() ? kEmpty : std::get<1>(v_).message();
  }
  T value_or(T fallback) const& { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Status> v_;
};

}  // namespace norwin
