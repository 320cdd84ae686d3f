#pragma once
// The engine's one way of reporting failure: a value, or the text that tells why not.

#include <optional>
#include <string>
#include <utility>

namespace quorvex {

// Marks a failure; converts to any Result.
struct Failure {
    std::string message;
};
inline Failure Fail(std::string message) { return Failure{std::move(message)}; }

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_value(std::move(value)) {}                    // NOLINT: implicit by design
    Result(Failure failure) : m_error(std::move(failure.message)) {}  // NOLINT

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T& operator*() const& { return *m_value; }
    T& operator*() & { return *m_value; }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }
    const std::string& error() const { return m_error; }

  private:
    std::optional<T> m_value;
    std::string m_error;
};

template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : m_failed(true), m_error(std::move(failure.message)) {}  // NOLINT

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_error; }

  private:
    bool m_failed = false;
    std::string m_error;
};

using Status = Result<void>;

}  // namespace quorvex
