// What a module function hands back to the binder: the JSON text of a record, the bytes of a
// changed workbook, or the text of a failure that the caller sees as RuntimeError.
#pragma once

#include <concepts>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/json/json_out.hpp"

namespace pelvane::native {

struct Outcome {
  enum class Kind { Text, Bytes, Error };
  Kind kind = Kind::Error;
  // The JSON text, the bytes, or the error text (RuntimeError's single argument).
  std::string payload;
};

inline Outcome text_outcome(std::string text) { return {Outcome::Kind::Text, std::move(text)}; }
inline Outcome bytes_outcome(std::string bytes) { return {Outcome::Kind::Bytes, std::move(bytes)}; }
inline Outcome error_outcome(std::string text) { return {Outcome::Kind::Error, std::move(text)}; }

// An engine error reaches the caller as its display text alone ("invalid input: ...").
inline Outcome error_outcome(const PelvaneError& error) { return error_outcome(error.to_string()); }

// A record printed as pretty JSON; a failure while writing it (an item of a streamed array that
// could not be made, a path that is not UTF-8) is an error outcome with its text.
template <JsonRecord R>
Outcome json_result(const R& record) {
  auto text = to_json(record);
  if (!text) return error_outcome(std::move(text.error()));
  return text_outcome(std::move(*text));
}

template <JsonRecord R>
Outcome json_result(const Result<R>& result) {
  if (!result) return error_outcome(result.error());
  return json_result(*result);
}

// Bytes returned by the engine (a changed workbook package) become a new Python `bytes`; any
// contiguous container of one-byte elements will do.
template <class Bytes>
requires requires(const Bytes& b) {
  { std::data(b) } -> std::convertible_to<const void*>;
  std::size(b);
  requires sizeof(*std::data(b)) == 1;
}
Outcome bytes_result(const Result<Bytes>& result) {
  if (!result) return error_outcome(result.error());
  const auto* first = reinterpret_cast<const char*>(std::data(*result));
  return bytes_outcome(std::string(first, std::size(*result)));
}

// Bytes the engine built in a string are handed over without a copy.
inline Outcome bytes_result(Result<std::string>&& result) {
  if (!result) return error_outcome(result.error());
  return bytes_outcome(std::move(*result));
}

}  // namespace pelvane::native
