// The engine's one error type and the result type that carries it.
#pragma once

#include <expected>
#include <string>
#include <utility>

namespace pelvane {

class PelvaneError {
 public:
  // Declaration order is part of the contract: Io, Zip, Xml, XmlTextDecode, InvalidInput.
  enum class Kind { Io, Zip, Xml, XmlTextDecode, InvalidInput };

  // The makers of an error, and `fail` below, are cold: the compiler then lays out every path
  // that builds or passes on a failure apart from the work around it, which keeps the code a
  // call runs through on fewer pages, each read from the module file on its first use.
  [[gnu::cold]] static PelvaneError io(std::string message) {
    return {Kind::Io, std::move(message)};
  }
  [[gnu::cold]] static PelvaneError zip(std::string message) {
    return {Kind::Zip, std::move(message)};
  }
  [[gnu::cold]] static PelvaneError xml(std::string message) {
    return {Kind::Xml, std::move(message)};
  }
  [[gnu::cold]] static PelvaneError xml_text_decode(std::string message) {
    return {Kind::XmlTextDecode, std::move(message)};
  }
  [[gnu::cold]] static PelvaneError invalid_input(std::string message) {
    return {Kind::InvalidInput, std::move(message)};
  }

  Kind kind() const { return kind_; }
  // The carried message, without the variant's prefix.
  const std::string& message() const { return message_; }
  // The display text: the variant's fixed prefix followed by the message, nothing else.
  std::string to_string() const;

  friend bool operator==(const PelvaneError&, const PelvaneError&) = default;

 private:
  PelvaneError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
  Kind kind_;
  std::string message_;
};

template <class T>
using Result = std::expected<T, PelvaneError>;

// Shorthand for the unexpected branch: `return fail(PelvaneError::io(...));`
[[gnu::cold]] inline std::unexpected<PelvaneError> fail(PelvaneError error) {
  return std::unexpected<PelvaneError>(std::move(error));
}

}  // namespace pelvane

// Evaluates a Result-returning expression; on failure returns its error from the enclosing
// function, otherwise yields the value. `auto part = PELVANE_TRY(read_part(...));`
#define PELVANE_TRY(expr)                                                                     \
  ({                                                                                          \
    auto pelvane_try_result_ = (expr);                                                        \
    if (!pelvane_try_result_) return ::pelvane::fail(std::move(pelvane_try_result_).error()); \
    std::move(*pelvane_try_result_);                                                          \
  })

// The same for Result<void>.
#define PELVANE_TRY_VOID(expr)                                                                \
  do {                                                                                        \
    auto pelvane_try_result_ = (expr);                                                        \
    if (!pelvane_try_result_) return ::pelvane::fail(std::move(pelvane_try_result_).error()); \
  } while (false)
