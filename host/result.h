// Outcomes of host operations: a value, or one line of text saying why there is none.
#pragma once

#include <optional>
#include <string>
#include <utility>

// Why an operation failed, in one line meant for a person.
struct Failure {
    std::string message;
};

// The outcome of an operation without a value of its own.
class Status {
  public:
    Status() = default; // success
    Status(Failure failure) : message(std::move(failure.message)), failed(true) {}

    bool ok() const { return !failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return message; } // empty on success

  private:
    std::string message;
    bool failed = false;
};

// The outcome of an operation that yields a value. Reading the value of a failure throws
// std::bad_optional_access; check ok() first.
template <class T> class Result {
  public:
    Result(T value) : stored(std::move(value)) {}
    Result(Failure failure) : message(std::move(failure.message)) {}

    bool ok() const { return stored.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return message; } // empty on success

    T& value() { return stored.value(); }
    const T& value() const { return stored.value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

  private:
    std::optional<T> stored;
    std::string message;
};
