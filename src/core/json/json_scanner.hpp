// The scanner under the JSON argument readers: a cursor over the text that knows how many
// bytes it has read, with the syntax rules, their messages and the nesting limit, and the
// words messages use to describe a value ("integer `5`", "string \"x\"", ...).
//
// A fault carries the number of bytes read when it was met; `Cursor::to_error` turns that
// into the line and column the caller is shown. Internal to the readers in json/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

#include "core/json/json_error.hpp"

namespace pelvane::json_detail {

// Opening a container at this level fails; the outermost list is level 1.
constexpr int kNestingLimit = 128;

struct Fault {
  std::string message;
  std::size_t offset;  // bytes read when the fault was met
};

template <class T>
using Read = std::expected<T, Fault>;

inline std::unexpected<Fault> fault_at(std::size_t offset, std::string message) {
  return std::unexpected(Fault{std::move(message), offset});
}

#define JSON_TRY(expr)                                                    \
  ({                                                                      \
    auto json_try_ = (expr);                                              \
    if (!json_try_) return std::unexpected(std::move(json_try_).error()); \
    std::move(*json_try_);                                                \
  })

#define JSON_CHECK(expr)                                                      \
  do {                                                                        \
    auto json_check_ = (expr);                                                \
    if (!json_check_) return std::unexpected(std::move(json_check_).error()); \
  } while (false)

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// ---- Describing values in messages ----

struct Number {
  enum class Kind { Unsigned, Signed, Float };
  Kind kind = Kind::Unsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double d = 0.0;
};

// "integer `5`", "integer `-5`" or "floating point `0.5`".
std::string describe(const Number& number);

// "string \"...\"": quote and backslash escaped, tab, CR and LF as \t \r \n, other control
// characters (C0, DEL, C1) as \u{hex}. The text is valid UTF-8 (the scanner checked it).
std::string describe_string(std::string_view text);

// ---- The scanner ----

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // A cursor over the same text, at a point this one has already read past.
  Cursor rewound(std::size_t at, int at_depth) const {
    Cursor other(text_);
    other.pos = at;
    other.depth = at_depth;
    other.buffered = buffered;
    return other;
  }

  std::size_t pos = 0;    // bytes read
  int depth = 0;          // containers open
  bool buffered = false;  // converting a record already read whole
  std::string key;        // the last object key read

  bool at_end() const { return pos >= text_.size(); }
  int peek() const { return at_end() ? -1 : static_cast<unsigned char>(text_[pos]); }

  void skip_white_space() {
    while (pos < text_.size()) {
      const char c = text_[pos];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
      ++pos;
    }
  }

  // A fault placed through the bytes read so far.
  std::unexpected<Fault> fail_here(std::string message) const {
    return fault_at(pos, std::move(message));
  }
  // A fault placed through the byte under the cursor (the offending one), or at the end.
  std::unexpected<Fault> fail_peeked(std::string message) const {
    return fault_at(pos < text_.size() ? pos + 1 : text_.size(), std::move(message));
  }
  std::unexpected<Fault> fail_at_end(std::string message) const {
    return fault_at(text_.size(), std::move(message));
  }

  // Skips white space up to a value and returns its first byte.
  Read<int> value_start() {
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing a value");
    return peek();
  }

  // Opens the container whose bracket is under the cursor. The limit is checked before the
  // level is entered, so no reader ever goes deeper than it allows.
  Read<void> enter() {
    if (depth + 1 >= kNestingLimit) return fail_peeked("recursion limit exceeded");
    ++depth;
    ++pos;
    return {};
  }
  // Consumes the closing bracket under the cursor.
  void leave() {
    --depth;
    ++pos;
  }

  // Inside an array: true when an element follows (the cursor then stands on it), false at
  // the closing bracket (not consumed).
  Read<bool> next_element(bool first) {
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing a list");
    const int c = peek();
    if (c == ']') return false;
    if (first) return true;
    if (c != ',') return fail_peeked("expected `,` or `]`");
    ++pos;
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing a value");
    if (peek() == ']') return fail_peeked("trailing comma");
    return true;
  }

  // Inside an object: true when a key follows (the cursor then stands on its quote), false at
  // the closing brace (not consumed).
  Read<bool> next_key(bool first) {
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing an object");
    int c = peek();
    if (c == '}') return false;
    if (first) {
      if (c != '"') return fail_peeked("key must be a string");
      return true;
    }
    if (c != ',') return fail_peeked("expected `,` or `}`");
    ++pos;
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing a value");
    c = peek();
    if (c == '"') return true;
    if (c == '}') return fail_peeked("trailing comma");
    return fail_peeked("key must be a string");
  }

  Read<void> read_key() { return parse_string(&key); }

  Read<void> colon() {
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing an object");
    if (peek() != ':') return fail_peeked("expected `:`");
    ++pos;
    return {};
  }

  // Where a repeated key is reported: through the key, the white space after it, and a
  // closing brace right behind that.
  std::size_t past_repeated_key() {
    skip_white_space();
    if (peek() == '}') ++pos;
    return pos;
  }

  // After the last field of a record read straight from its array form: the array must
  // close here.
  Read<void> close_array() {
    skip_white_space();
    if (at_end()) return fail_at_end("EOF while parsing a list");
    const int c = peek();
    if (c == ']') {
      leave();
      return {};
    }
    if (c == ',') {
      ++pos;
      skip_white_space();
      if (peek() == ']') return fail_peeked("trailing comma");
    }
    return fail_peeked("trailing characters");
  }

  // Where the list reader stands after looking past the record just read: through the white
  // space, then through a closing "]", or through a "," and the white space after it.
  std::size_t look_past() {
    skip_white_space();
    if (peek() == ']') return pos + 1;
    if (peek() == ',') {
      ++pos;
      skip_white_space();
    }
    return pos;
  }

  // The string whose opening quote is under the cursor; decoded into `out` unless null.
  Read<void> parse_string(std::string* out);

  // The number under the cursor: an integer without fraction and exponent that fits
  // -2^63 .. 2^64-1 stays an integer, everything else becomes a double ("-0" included).
  Read<Number> parse_number();

  // The rest of `true`, `false` or `null` after its first byte (already read).
  Read<void> parse_literal(std::string_view rest);

  // Reads over one value, checking its syntax and nesting, and keeps nothing. Iterative:
  // however deep or long the value, the stack does not grow.
  Read<void> skip_value();

  // The fault for a value of the wrong kind: "invalid type: {what}, expected {expected}".
  // A scalar is read to describe it (its own syntax faults come first) and the fault is
  // placed after it; a container is described without being entered.
  std::unexpected<Fault> invalid_type(std::string_view expected);

  // The fault as the caller sees it: its message, and the line and column after its offset.
  JsonInputError to_error(const Fault& fault) const;

 private:
  // The escape after a backslash (already read).
  Read<void> parse_escape(std::string* out);
  Read<std::uint32_t> parse_hex4();

  std::string_view text_;
};

}  // namespace pelvane::json_detail
