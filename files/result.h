// Outcomes of host operations: a value, or one line of text saying why there is none.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

// Why an operation failed, in one line meant for a person.
struct [[nodiscard]] Failure {
    std::string message;
};

namespace detail {

// The text of a failure. A success carries no text at all, so making, passing and dropping one
// costs no more than a null pointer: the host's per-block calls return them.
class Reason {
  public:
    Reason() = default;
    explicit Reason(std::string text)
        : text(std::make_shared<const std::string>(std::move(text))) {}
    [[nodiscard]] bool present() const { return text != nullptr; }
    [[nodiscard]] const std::string& get() const {
        static const std::string none;
        return text ? *text : none;
    }

  private:
    std::shared_ptr<const std::string> text;
};

} // namespace detail

// The outcome of an operation without a value of its own. A failure is passed on as it is with
// `return outcome.failure();`, into a Status or a Result of any type.
class [[nodiscard]] Status {
  public:
    Status() = default; // success
    Status(Failure failure) : reason(std::move(failure.message)) {}

    [[nodiscard]] bool ok() const { return !reason.present(); }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] const std::string& error() const { return reason.get(); } // empty on success
    Failure failure() const { return Failure{error()}; }

  private:
    detail::Reason reason;
};

// The outcome of an operation that yields a value. Reading the value of a failure throws
// std::bad_optional_access; check ok() first. A failure is passed on with `return x.failure();`.
template <class T> class [[nodiscard]] Result {
  public:
    Result(T value) : stored(std::move(value)) {}
    Result(Failure failure) : reason(std::move(failure.message)) {}

    [[nodiscard]] bool ok() const { return stored.has_value(); }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] const std::string& error() const { return reason.get(); } // empty on success
    Failure failure() const { return Failure{error()}; }

    T& value() { return stored.value(); }
    [[nodiscard]] const T& value() const { return stored.value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

  private:
    std::optional<T> stored;
    detail::Reason reason;
};
