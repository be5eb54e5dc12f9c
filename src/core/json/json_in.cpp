// JSON reading for the module's arguments.
//
// Three layers:
//   - `Cursor`: a scanner over the text that knows how many bytes it has read, with the
//     syntax rules, their messages and the nesting limit;
//   - value readers, one per C++ field type (`read_value`), which describe a rejected value
//     in the words the messages use ("integer `5`", "string \"x\"", "map", ...);
//   - record readers driven by tables: every record is a list of fields (JSON name, presence,
//     member to fill), read by one object-form and one array-form reader; tagged records
//     (edits, freeform steps, spacing values) add a table of kinds.
//
// Two reading modes share the cursor. Straight: a record is converted while it is read, so a
// fault is placed where the reader stands. Buffered (edits, freeform steps): a record is first
// read whole (syntax and tag), then converted from its text; a fault of the conversion is
// placed where the list reader stands after looking past the record. The modes also differ
// on an array form with values left over: straight reading stops at the next value
// ("trailing characters"), buffered reading counts them ("invalid length").
#include "core/json/json_in.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/base/utf8.hpp"

namespace pelvane {

std::string JsonInputError::text() const {
  if (!has_position) return message;
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

namespace {

// Opening a container at this level fails; the outermost list is level 1.
constexpr int kNestingLimit = 128;
// Offset of a fault that the list reader places after looking past the faulty record.
constexpr std::size_t kPlacedByList = static_cast<std::size_t>(-1);

struct Fault {
  std::string message;
  std::size_t offset;  // bytes read when the fault was met
};

template <class T>
using Read = std::expected<T, Fault>;

std::unexpected<Fault> fault_at(std::size_t offset, std::string message) {
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

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// ---- Describing values in messages ----

struct Number {
  enum class Kind { Unsigned, Signed, Float };
  Kind kind = Kind::Unsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double d = 0.0;
};

// Shortest digits that read back as the same double; plain notation when the first digit's
// decimal exponent lies in -5..15 (whole values keep ".0"), else d.ddde±x.
std::string describe_double(double value) {
  if (value == 0.0) return std::signbit(value) ? "-0.0" : "0.0";
  std::array<char, 64> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                     std::chars_format::scientific);
  std::string_view sci(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data()));
  std::string out;
  if (sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  const std::size_t e = sci.find('e');
  std::string digits(1, sci[0]);
  if (e > 1) digits.append(sci.substr(2, e - 2));
  int exponent = 0;
  std::string_view exponent_text = sci.substr(e + 1);
  const bool negative_exponent = exponent_text.front() == '-';
  exponent_text.remove_prefix(1);  // to_chars always writes the sign
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);
  if (negative_exponent) exponent = -exponent;

  if (exponent >= -5 && exponent <= 15) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const auto whole = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
        out += ".0";
      } else {
        out += digits.substr(0, whole);
        out += '.';
        out += digits.substr(whole);
      }
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'e';
    out += exponent < 0 ? '-' : '+';
    out += std::to_string(exponent < 0 ? -exponent : exponent);
  }
  return out;
}

std::string describe(const Number& number) {
  switch (number.kind) {
    case Number::Kind::Unsigned: return "integer `" + std::to_string(number.u) + "`";
    case Number::Kind::Signed: return "integer `" + std::to_string(number.i) + "`";
    case Number::Kind::Float: break;
  }
  return "floating point `" + describe_double(number.d) + "`";
}

void append_code_escape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u{";
  if (code >= 0x10) out += kHex[(code >> 4) & 0xF];
  out += kHex[code & 0xF];
  out += '}';
}

// "string \"...\"": quote and backslash escaped, tab, CR and LF as \t \r \n, other control
// characters (C0, DEL, C1) as \u{hex}. The text is valid UTF-8 (the scanner checked it).
std::string describe_string(std::string_view text) {
  std::string out = "string \"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      append_code_escape(out, c);
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      append_code_escape(out, static_cast<unsigned char>(text[i + 1]));
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

std::string element_count(std::size_t n) {
  return n == 1 ? std::string("1 element") : std::to_string(n) + " elements";
}

// Length of the well-formed UTF-8 sequence at `i`, or 0.
std::size_t utf8_sequence_length(std::string_view text, std::size_t i) {
  const auto at = [&](std::size_t k) -> unsigned {
    return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
  };
  const unsigned b0 = at(0);
  const auto continuation = [](unsigned b) { return b >= 0x80 && b <= 0xBF; };
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) return continuation(at(1)) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned b1 = at(1);
    const bool ok1 = b0 == 0xE0   ? (b1 >= 0xA0 && b1 <= 0xBF)
                     : b0 == 0xED ? (b1 >= 0x80 && b1 <= 0x9F)
                                  : continuation(b1);
    return ok1 && continuation(at(2)) ? 3 : 0;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const unsigned b1 = at(1);
    const bool ok1 = b0 == 0xF0   ? (b1 >= 0x90 && b1 <= 0xBF)
                     : b0 == 0xF4 ? (b1 >= 0x80 && b1 <= 0x8F)
                                  : continuation(b1);
    return ok1 && continuation(at(2)) && continuation(at(3)) ? 4 : 0;
  }
  return 0;
}

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
  Read<void> parse_string(std::string* out) {
    if (out) out->clear();
    ++pos;
    for (;;) {
      const std::size_t run = pos;
      while (pos < text_.size()) {
        const auto c = static_cast<unsigned char>(text_[pos]);
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
        ++pos;
      }
      if (out) out->append(text_.substr(run, pos - run));
      if (at_end()) return fail_at_end("EOF while parsing a string");
      const auto c = static_cast<unsigned char>(text_[pos]);
      if (c == '"') {
        ++pos;
        return {};
      }
      if (c == '\\') {
        ++pos;
        JSON_CHECK(parse_escape(out));
      } else if (c < 0x20) {
        return fail_peeked("control character (\\u0000-\\u001F) found while parsing a string");
      } else {
        const std::size_t length = utf8_sequence_length(text_, pos);
        if (length == 0) return fail_peeked("invalid unicode code point");
        if (out) out->append(text_.substr(pos, length));
        pos += length;
      }
    }
  }

  // The number under the cursor: an integer without fraction and exponent that fits
  // -2^63 .. 2^64-1 stays an integer, everything else becomes a double ("-0" included).
  Read<Number> parse_number() {
    const std::size_t start = pos;
    const bool negative = text_[pos] == '-';
    if (negative) ++pos;
    if (at_end()) return fail_at_end("EOF while parsing a value");
    std::uint64_t magnitude = 0;
    bool overflow = false;
    bool integral = true;
    if (text_[pos] == '0') {
      ++pos;
      if (is_digit(peek())) return fail_peeked("invalid number");
    } else if (is_digit(peek())) {
      while (is_digit(peek())) {
        const auto digit = static_cast<std::uint64_t>(text_[pos] - '0');
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
          overflow = true;
        else
          magnitude = magnitude * 10 + digit;
        ++pos;
      }
    } else {
      ++pos;
      return fail_here("invalid number");
    }
    if (peek() == '.') {
      integral = false;
      ++pos;
      if (!is_digit(peek())) {
        if (at_end()) return fail_at_end("EOF while parsing a value");
        return fail_peeked("invalid number");
      }
      while (is_digit(peek())) ++pos;
    }
    if (peek() == 'e' || peek() == 'E') {
      integral = false;
      ++pos;
      if (peek() == '+' || peek() == '-') ++pos;
      if (at_end()) return fail_at_end("EOF while parsing a value");
      if (!is_digit(peek())) {
        ++pos;
        return fail_here("invalid number");
      }
      while (is_digit(peek())) ++pos;
    }
    Number number;
    if (integral && !overflow) {
      constexpr std::uint64_t kSignedLimit = std::uint64_t{1} << 63;
      if (!negative) {
        number.kind = Number::Kind::Unsigned;
        number.u = magnitude;
        return number;
      }
      if (magnitude != 0 && magnitude <= kSignedLimit) {
        number.kind = Number::Kind::Signed;
        number.i = magnitude == kSignedLimit ? std::numeric_limits<std::int64_t>::min()
                                             : -static_cast<std::int64_t>(magnitude);
        return number;
      }
    }
    number.kind = Number::Kind::Float;
    const std::string_view literal = text_.substr(start, pos - start);
    const auto parsed = std::from_chars(literal.data(), literal.data() + literal.size(), number.d,
                                        std::chars_format::general);
    if (parsed.ec == std::errc::result_out_of_range) {
      if (decimal_exponent(literal) > 0) return fail_here("number out of range");
      number.d = negative ? -0.0 : 0.0;  // too small to represent
    }
    return number;
  }

  Read<void> parse_literal(std::string_view rest) {
    for (const char expected : rest) {
      if (at_end()) return fail_at_end("EOF while parsing a value");
      if (text_[pos++] != expected) return fail_here("expected ident");
    }
    return {};
  }

  // Reads over one value, checking its syntax and nesting, and keeps nothing. Iterative:
  // however deep or long the value, the stack does not grow.
  Read<void> skip_value() {
    std::array<char, kNestingLimit> closers{};
    std::size_t open = 0;
    for (;;) {
      const int c = JSON_TRY(value_start());
      switch (c) {
        case '[':
          JSON_CHECK(enter());
          if (JSON_TRY(next_element(true))) {
            closers[open++] = ']';
            continue;
          }
          leave();
          break;
        case '{':
          JSON_CHECK(enter());
          if (JSON_TRY(next_key(true))) {
            closers[open++] = '}';
            JSON_CHECK(parse_string(nullptr));
            JSON_CHECK(colon());
            continue;
          }
          leave();
          break;
        case '"': JSON_CHECK(parse_string(nullptr)); break;
        case 't':
          ++pos;
          JSON_CHECK(parse_literal("rue"));
          break;
        case 'f':
          ++pos;
          JSON_CHECK(parse_literal("alse"));
          break;
        case 'n':
          ++pos;
          JSON_CHECK(parse_literal("ull"));
          break;
        default:
          if (c == '-' || is_digit(c)) {
            JSON_CHECK(parse_number());
            break;
          }
          return fail_peeked("expected value");
      }
      // One value is complete: go on to the next one of the innermost open container,
      // closing every container that ends here.
      for (;;) {
        if (open == 0) return {};
        if (closers[open - 1] == ']') {
          if (JSON_TRY(next_element(false))) break;
        } else if (JSON_TRY(next_key(false))) {
          JSON_CHECK(parse_string(nullptr));
          JSON_CHECK(colon());
          break;
        }
        leave();
        --open;
      }
    }
  }

  // The fault for a value of the wrong kind: "invalid type: {what}, expected {expected}".
  // A scalar is read to describe it (its own syntax faults come first) and the fault is
  // placed after it; a container is described without being entered.
  std::unexpected<Fault> invalid_type(std::string_view expected) {
    auto start = value_start();
    if (!start) return std::unexpected(std::move(start).error());
    std::string what;
    switch (*start) {
      case 'n':
        ++pos;
        if (auto r = parse_literal("ull"); !r) return std::unexpected(std::move(r).error());
        what = "null";
        break;
      case 't':
        ++pos;
        if (auto r = parse_literal("rue"); !r) return std::unexpected(std::move(r).error());
        what = "boolean `true`";
        break;
      case 'f':
        ++pos;
        if (auto r = parse_literal("alse"); !r) return std::unexpected(std::move(r).error());
        what = "boolean `false`";
        break;
      case '"': {
        std::string text;
        if (auto r = parse_string(&text); !r) return std::unexpected(std::move(r).error());
        what = describe_string(text);
        break;
      }
      case '[': what = "sequence"; break;
      case '{': what = "map"; break;
      default: {
        if (*start != '-' && !is_digit(*start)) return fail_peeked("expected value");
        auto number = parse_number();
        if (!number) return std::unexpected(std::move(number).error());
        what = describe(*number);
        break;
      }
    }
    return fail_here("invalid type: " + what + ", expected " + std::string(expected));
  }

  JsonInputError to_error(const Fault& fault) const {
    const std::size_t p = std::min(fault.offset, text_.size());
    const std::string_view read = text_.substr(0, p);
    std::uint64_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < read.size(); ++i) {
      if (read[i] == '\n') {
        ++line;
        line_start = i + 1;
      }
    }
    return {fault.message, line, p - line_start, true};
  }

 private:
  // The escape after a backslash (already read).
  Read<void> parse_escape(std::string* out) {
    if (at_end()) return fail_at_end("EOF while parsing a string");
    const char c = text_[pos++];
    char plain = 0;
    switch (c) {
      case '"': plain = '"'; break;
      case '\\': plain = '\\'; break;
      case '/': plain = '/'; break;
      case 'b': plain = '\b'; break;
      case 'f': plain = '\f'; break;
      case 'n': plain = '\n'; break;
      case 'r': plain = '\r'; break;
      case 't': plain = '\t'; break;
      case 'u': {
        std::uint32_t code = JSON_TRY(parse_hex4());
        if (code >= 0xDC00 && code <= 0xDFFF) {
          return fail_here("lone leading surrogate in hex escape");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
          // A leading surrogate must be followed by an escaped trailing one.
          if (at_end()) return fail_at_end("EOF while parsing a string");
          if (text_[pos++] != '\\') return fail_here("unexpected end of hex escape");
          if (at_end()) return fail_at_end("EOF while parsing a string");
          if (text_[pos++] != 'u') return fail_here("unexpected end of hex escape");
          const std::uint32_t low = JSON_TRY(parse_hex4());
          if (low < 0xDC00 || low > 0xDFFF) {
            return fail_here("lone leading surrogate in hex escape");
          }
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        if (out) append_utf8(*out, code);
        return {};
      }
      default: return fail_here("invalid escape");
    }
    if (out) *out += plain;
    return {};
  }

  Read<std::uint32_t> parse_hex4() {
    if (text_.size() - pos < 4) {
      pos = text_.size();
      return fail_at_end("EOF while parsing a string");
    }
    std::uint32_t code = 0;
    bool valid = true;
    for (int k = 0; k < 4; ++k) {
      const char h = text_[pos + static_cast<std::size_t>(k)];
      code <<= 4;
      if (h >= '0' && h <= '9')
        code |= static_cast<std::uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f')
        code |= static_cast<std::uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        code |= static_cast<std::uint32_t>(h - 'A' + 10);
      else
        valid = false;
    }
    pos += 4;
    if (!valid) return fail_here("invalid escape");
    return code;
  }

  // Decimal exponent of the first significant digit of a number literal (the exponent part
  // saturated); tells an overflow from an underflow.
  static long decimal_exponent(std::string_view literal) {
    std::size_t i = literal.front() == '-' ? 1 : 0;
    long integer_digits = 0;
    long digit_index = 0;
    long first_significant = -1;
    bool fraction = false;
    for (; i < literal.size(); ++i) {
      const char ch = literal[i];
      if (ch == '.') {
        fraction = true;
        continue;
      }
      if (!is_digit(ch)) break;
      if (!fraction) ++integer_digits;
      if (first_significant < 0 && ch != '0') first_significant = digit_index;
      ++digit_index;
    }
    if (first_significant < 0) return 0;
    long exponent = 0;
    if (i < literal.size()) {  // at 'e' or 'E'
      ++i;
      bool negative = false;
      if (i < literal.size() && (literal[i] == '+' || literal[i] == '-')) {
        negative = literal[i] == '-';
        ++i;
      }
      for (; i < literal.size(); ++i) {
        exponent = std::min(exponent * 10 + (literal[i] - '0'), 1'000'000'000L);
      }
      if (negative) exponent = -exponent;
    }
    return integer_digits - 1 - first_significant + exponent;
  }

  std::string_view text_;
};

// ---- Value readers, one per field type ----

Read<void> read_value(Cursor& c, std::uint64_t& out);
Read<void> read_value(Cursor& c, std::int64_t& out);
Read<void> read_value(Cursor& c, double& out);
Read<void> read_value(Cursor& c, bool& out);
Read<void> read_value(Cursor& c, std::string& out);
Read<void> read_value(Cursor& c, ParagraphSpacingValue& out);
Read<void> read_value(Cursor& c, ParagraphSpacingPatch& out);
Read<void> read_value(Cursor& c, TextFramePropertiesPatch& out);
template <class T>
Read<void> read_value(Cursor& c, std::optional<T>& out);
template <class T>
Read<void> read_value(Cursor& c, std::vector<T>& out);
template <class T>
Read<void> read_value(Cursor& c, std::map<std::string, T>& out);

Read<Number> read_number(Cursor& c, std::string_view expected) {
  const int start = JSON_TRY(c.value_start());
  if (start == '-' || is_digit(start)) return c.parse_number();
  return c.invalid_type(expected);
}

Read<void> read_value(Cursor& c, std::uint64_t& out) {
  const Number number = JSON_TRY(read_number(c, "usize"));
  switch (number.kind) {
    case Number::Kind::Unsigned: out = number.u; return {};
    case Number::Kind::Signed:
      return c.fail_here("invalid value: " + describe(number) + ", expected usize");
    case Number::Kind::Float: break;
  }
  return c.fail_here("invalid type: " + describe(number) + ", expected usize");
}

Read<void> read_value(Cursor& c, std::int64_t& out) {
  const Number number = JSON_TRY(read_number(c, "i64"));
  switch (number.kind) {
    case Number::Kind::Unsigned:
      if (number.u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return c.fail_here("invalid value: " + describe(number) + ", expected i64");
      }
      out = static_cast<std::int64_t>(number.u);
      return {};
    case Number::Kind::Signed: out = number.i; return {};
    case Number::Kind::Float: break;
  }
  return c.fail_here("invalid type: " + describe(number) + ", expected i64");
}

Read<void> read_value(Cursor& c, double& out) {
  const Number number = JSON_TRY(read_number(c, "f64"));
  switch (number.kind) {
    case Number::Kind::Unsigned: out = static_cast<double>(number.u); break;
    case Number::Kind::Signed: out = static_cast<double>(number.i); break;
    case Number::Kind::Float: out = number.d; break;
  }
  return {};
}

Read<void> read_value(Cursor& c, bool& out) {
  const int start = JSON_TRY(c.value_start());
  if (start == 't' || start == 'f') {
    ++c.pos;
    JSON_CHECK(c.parse_literal(start == 't' ? "rue" : "alse"));
    out = start == 't';
    return {};
  }
  return c.invalid_type("a boolean");
}

Read<void> read_value(Cursor& c, std::string& out) {
  const int start = JSON_TRY(c.value_start());
  if (start == '"') return c.parse_string(&out);
  return c.invalid_type("a string");
}

// Null gives none; anything else is read as T.
template <class T>
Read<void> read_value(Cursor& c, std::optional<T>& out) {
  const int start = JSON_TRY(c.value_start());
  if (start == 'n') {
    ++c.pos;
    JSON_CHECK(c.parse_literal("ull"));
    out.reset();
    return {};
  }
  T value{};
  JSON_CHECK(read_value(c, value));
  out = std::move(value);
  return {};
}

template <class T>
Read<void> read_value(Cursor& c, std::vector<T>& out) {
  const int start = JSON_TRY(c.value_start());
  if (start != '[') return c.invalid_type("a sequence");
  JSON_CHECK(c.enter());
  out.clear();
  for (bool first = true; JSON_TRY(c.next_element(first)); first = false) {
    T item{};
    JSON_CHECK(read_value(c, item));
    out.push_back(std::move(item));
  }
  c.leave();
  return {};
}

// A key given twice keeps its last value; the map orders the keys byte-wise.
template <class T>
Read<void> read_value(Cursor& c, std::map<std::string, T>& out) {
  const int start = JSON_TRY(c.value_start());
  if (start != '{') return c.invalid_type("a map");
  JSON_CHECK(c.enter());
  out.clear();
  for (bool first = true; JSON_TRY(c.next_key(first)); first = false) {
    JSON_CHECK(c.read_key());
    std::string name = c.key;
    JSON_CHECK(c.colon());
    T value{};
    JSON_CHECK(read_value(c, value));
    out.insert_or_assign(std::move(name), std::move(value));
  }
  c.leave();
  return {};
}

// ---- Records described as data ----

enum class Presence {
  Required,   // must be given
  Optional,   // object form: absent or null gives none; array form: must stand, null allowed
  Defaulted,  // absent keeps the member's default; array form: may be left off the end
};

struct FieldSpec {
  std::string_view name;
  Presence presence;
  Read<void> (*read)(Cursor&, void* record);  // converts one value into the member
};

template <auto Member>
struct MemberOf;
template <class Record, class T, T Record::* Member>
struct MemberOf<Member> {
  using Class = Record;
};

template <auto Member>
Read<void> read_member(Cursor& c, void* record) {
  return read_value(c, static_cast<typename MemberOf<Member>::Class*>(record)->*Member);
}

// A field whose JSON key is the member's name.
#define PELVANE_FIELD(Record, member, presence) \
  FieldSpec { #member, Presence::presence, &read_member<&Record::member> }

struct RecordSpec {
  // The record as messages name it: "struct PlaceholderShapeSpec",
  // "struct variant EditOperation::DeleteShape", or for a tuple "a tuple of size 3".
  std::string_view name;
  std::span<const FieldSpec> fields;
  bool tuple = false;  // array form only; its length text is `name` itself

  std::string length_text() const {
    if (tuple) return std::string(name);
    return std::string(name) + " with " + element_count(fields.size());
  }
};

Read<void> read_object_form(Cursor& c, const RecordSpec& spec, void* record) {
  JSON_CHECK(c.enter());
  std::uint64_t given = 0;  // bit i: field i has a value
  for (bool first = true; JSON_TRY(c.next_key(first)); first = false) {
    JSON_CHECK(c.read_key());
    std::size_t index = 0;
    while (index < spec.fields.size() && spec.fields[index].name != c.key) ++index;
    if (index == spec.fields.size()) {  // not a field of this record: ignored, whatever it holds
      JSON_CHECK(c.colon());
      JSON_CHECK(c.skip_value());
      continue;
    }
    const std::uint64_t bit = std::uint64_t{1} << index;
    if (given & bit) {
      return fault_at(c.past_repeated_key(),
                      "duplicate field `" + std::string(spec.fields[index].name) + "`");
    }
    given |= bit;
    JSON_CHECK(c.colon());
    JSON_CHECK(spec.fields[index].read(c, record));
  }
  c.leave();
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    if (!(given & (std::uint64_t{1} << i)) && spec.fields[i].presence == Presence::Required) {
      return c.fail_here("missing field `" + std::string(spec.fields[i].name) + "`");
    }
  }
  return {};
}

// `skip`: leading elements that are not fields (the tag of a tagged record).
Read<void> read_array_form(Cursor& c, const RecordSpec& spec, void* record, std::size_t skip) {
  JSON_CHECK(c.enter());
  bool first = true;
  for (std::size_t i = 0; i < skip && JSON_TRY(c.next_element(first)); ++i) {
    first = false;
    JSON_CHECK(c.skip_value());
  }
  const auto fields = spec.fields;
  std::size_t taken = 0;
  for (; taken < fields.size(); ++taken) {
    if (!JSON_TRY(c.next_element(first))) break;
    first = false;
    JSON_CHECK(fields[taken].read(c, record));
  }
  if (taken < fields.size()) {  // the array ended early
    c.leave();
    if (fields[taken].presence != Presence::Defaulted) {
      return c.fail_here("invalid length " + std::to_string(taken) + ", expected " +
                         spec.length_text());
    }
    return {};
  }
  if (!c.buffered) return c.close_array();
  // Values left over are counted, not converted.
  std::size_t surplus = 0;
  while (JSON_TRY(c.next_element(first))) {
    first = false;
    JSON_CHECK(c.skip_value());
    ++surplus;
  }
  c.leave();
  if (surplus > 0) {
    return c.fail_here("invalid length " + std::to_string(taken + surplus) + ", expected " +
                       element_count(taken) + " in sequence");
  }
  return {};
}

Read<void> read_record(Cursor& c, const RecordSpec& spec, void* record, std::size_t skip = 0) {
  const int start = JSON_TRY(c.value_start());
  if (start == '{' && !spec.tuple) return read_object_form(c, spec, record);
  if (start == '[') return read_array_form(c, spec, record, skip);
  return c.invalid_type(spec.name);
}

// ---- Tagged records ----

struct VariantSpec {
  std::string_view tag;
  RecordSpec record;
  void* (*start)(void* out);  // gives `out` this kind; returns the record its fields fill
};

struct TaggedSpec {
  std::string_view tag_key;    // "type" or "kind"
  std::string_view expecting;  // "internally tagged enum EditOperation"
  std::span<const VariantSpec> variants;
  bool tag_by_index = false;  // the tag may also be the kind's index

  std::string variant_list() const {
    std::string out = "one of ";
    for (std::size_t i = 0; i < variants.size(); ++i) {
      if (i > 0) out += ", ";
      out += '`';
      out += variants[i].tag;
      out += '`';
    }
    return out;
  }
};

Read<std::size_t> read_tag(Cursor& c, const TaggedSpec& spec) {
  const int start = JSON_TRY(c.value_start());
  if (start == '"') {
    std::string tag;
    JSON_CHECK(c.parse_string(&tag));
    for (std::size_t i = 0; i < spec.variants.size(); ++i) {
      if (spec.variants[i].tag == tag) return i;
    }
    return c.fail_here("unknown variant `" + tag + "`, expected " + spec.variant_list());
  }
  if (spec.tag_by_index && (start == '-' || is_digit(start))) {
    const Number number = JSON_TRY(c.parse_number());
    if (number.kind != Number::Kind::Unsigned) {
      return c.fail_here("invalid type: " + describe(number) + ", expected variant identifier");
    }
    if (number.u >= spec.variants.size()) {
      return c.fail_here("invalid value: " + describe(number) +
                         ", expected variant index 0 <= i < " +
                         std::to_string(spec.variants.size()));
    }
    return static_cast<std::size_t>(number.u);
  }
  return c.invalid_type("variant identifier");
}

// Reads a tagged object whole: its syntax, and its tag as soon as the tag's value is met.
Read<std::size_t> scan_tagged_object(Cursor& c, const TaggedSpec& spec) {
  JSON_CHECK(c.enter());
  std::optional<std::size_t> kind;
  for (bool first = true; JSON_TRY(c.next_key(first)); first = false) {
    JSON_CHECK(c.read_key());
    if (c.key == spec.tag_key) {
      if (kind) {
        return fault_at(c.past_repeated_key(),
                        "duplicate field `" + std::string(spec.tag_key) + "`");
      }
      JSON_CHECK(c.colon());
      kind = JSON_TRY(read_tag(c, spec));
    } else {
      JSON_CHECK(c.colon());
      JSON_CHECK(c.skip_value());
    }
  }
  c.leave();
  if (!kind) return c.fail_here("missing field `" + std::string(spec.tag_key) + "`");
  return *kind;
}

// Reads a tagged array whole: the tag first, then the syntax of the other elements.
Read<std::size_t> scan_tagged_array(Cursor& c, const TaggedSpec& spec) {
  JSON_CHECK(c.enter());
  if (!JSON_TRY(c.next_element(true))) {
    c.leave();
    return c.fail_here("missing field `" + std::string(spec.tag_key) + "`");
  }
  const std::size_t kind = JSON_TRY(read_tag(c, spec));
  while (JSON_TRY(c.next_element(false))) JSON_CHECK(c.skip_value());
  c.leave();
  return kind;
}

// Buffered reading of a tagged record: read whole first, then converted from its text. A
// fault of the conversion is placed by the list reader (kPlacedByList).
Read<void> read_tagged(Cursor& c, const TaggedSpec& spec, void* out) {
  const int start = JSON_TRY(c.value_start());
  if (start != '{' && start != '[') return c.invalid_type(spec.expecting);
  const std::size_t record_start = c.pos;
  const int record_depth = c.depth;
  const std::size_t kind =
      JSON_TRY(start == '{' ? scan_tagged_object(c, spec) : scan_tagged_array(c, spec));

  Cursor fields = c.rewound(record_start, record_depth);
  fields.buffered = true;
  const VariantSpec& variant = spec.variants[kind];
  auto converted = read_record(fields, variant.record, variant.start(out), start == '[' ? 1 : 0);
  if (!converted) {
    converted.error().offset = kPlacedByList;
    return converted;
  }
  return {};
}

// ---- The tables ----

using namespace edit;

constexpr FieldSpec kReorderSlides[] = {PELVANE_FIELD(ReorderSlides, slide_indices, Required)};
constexpr FieldSpec kDeleteShape[] = {PELVANE_FIELD(DeleteShape, slide_index, Required),
                                      PELVANE_FIELD(DeleteShape, shape_index, Required)};
constexpr FieldSpec kDeleteGroupShapeChild[] = {
    PELVANE_FIELD(DeleteGroupShapeChild, slide_index, Required),
    PELVANE_FIELD(DeleteGroupShapeChild, group_shape_id, Required),
    PELVANE_FIELD(DeleteGroupShapeChild, child_shape_id, Required)};
constexpr FieldSpec kSetShapeText[] = {PELVANE_FIELD(SetShapeText, slide_index, Required),
                                       PELVANE_FIELD(SetShapeText, shape_index, Required),
                                       PELVANE_FIELD(SetShapeText, replacement, Required)};
constexpr FieldSpec kSetGroupShapeChildText[] = {
    PELVANE_FIELD(SetGroupShapeChildText, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildText, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildText, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildText, replacement, Required)};
constexpr FieldSpec kSetGroupShapeChildParagraphText[] = {
    PELVANE_FIELD(SetGroupShapeChildParagraphText, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, paragraph_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, replacement, Required)};
constexpr FieldSpec kSetGroupShapeChildRunText[] = {
    PELVANE_FIELD(SetGroupShapeChildRunText, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, paragraph_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, run_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, replacement, Required)};
constexpr FieldSpec kSetParagraphText[] = {
    PELVANE_FIELD(SetParagraphText, slide_index, Required),
    PELVANE_FIELD(SetParagraphText, shape_index, Required),
    PELVANE_FIELD(SetParagraphText, paragraph_index, Required),
    PELVANE_FIELD(SetParagraphText, replacement, Required)};
constexpr FieldSpec kReplaceTextRun[] = {PELVANE_FIELD(ReplaceTextRun, slide_index, Required),
                                         PELVANE_FIELD(ReplaceTextRun, run_index, Required),
                                         PELVANE_FIELD(ReplaceTextRun, replacement, Required)};
constexpr FieldSpec kSetTextRunBold[] = {PELVANE_FIELD(SetTextRunBold, slide_index, Required),
                                         PELVANE_FIELD(SetTextRunBold, run_index, Required),
                                         PELVANE_FIELD(SetTextRunBold, bold, Optional)};
constexpr FieldSpec kSetTextRunItalic[] = {PELVANE_FIELD(SetTextRunItalic, slide_index, Required),
                                           PELVANE_FIELD(SetTextRunItalic, run_index, Required),
                                           PELVANE_FIELD(SetTextRunItalic, italic, Optional)};
constexpr FieldSpec kSetTextRunUnderline[] = {
    PELVANE_FIELD(SetTextRunUnderline, slide_index, Required),
    PELVANE_FIELD(SetTextRunUnderline, run_index, Required),
    PELVANE_FIELD(SetTextRunUnderline, underline, Optional)};
constexpr FieldSpec kSetTextRunFontSize[] = {
    PELVANE_FIELD(SetTextRunFontSize, slide_index, Required),
    PELVANE_FIELD(SetTextRunFontSize, run_index, Required),
    PELVANE_FIELD(SetTextRunFontSize, size, Optional)};
constexpr FieldSpec kSetTextRunFontName[] = {
    PELVANE_FIELD(SetTextRunFontName, slide_index, Required),
    PELVANE_FIELD(SetTextRunFontName, run_index, Required),
    PELVANE_FIELD(SetTextRunFontName, name, Optional)};
constexpr FieldSpec kSetTextRunFormatting[] = {
    PELVANE_FIELD(SetTextRunFormatting, slide_index, Required),
    PELVANE_FIELD(SetTextRunFormatting, run_index, Required),
    PELVANE_FIELD(SetTextRunFormatting, set_bold, Required),
    PELVANE_FIELD(SetTextRunFormatting, bold, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_italic, Required),
    PELVANE_FIELD(SetTextRunFormatting, italic, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_underline, Required),
    PELVANE_FIELD(SetTextRunFormatting, underline, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_size, Required),
    PELVANE_FIELD(SetTextRunFormatting, size, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_name, Required),
    PELVANE_FIELD(SetTextRunFormatting, name, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_color, Defaulted),
    PELVANE_FIELD(SetTextRunFormatting, color, Defaulted)};
constexpr FieldSpec kAppendParagraphText[] = {
    PELVANE_FIELD(AppendParagraphText, slide_index, Required),
    PELVANE_FIELD(AppendParagraphText, shape_index, Required),
    PELVANE_FIELD(AppendParagraphText, text, Required)};
constexpr FieldSpec kAppendTextRun[] = {PELVANE_FIELD(AppendTextRun, slide_index, Required),
                                        PELVANE_FIELD(AppendTextRun, shape_index, Required),
                                        PELVANE_FIELD(AppendTextRun, paragraph_index, Required),
                                        PELVANE_FIELD(AppendTextRun, text, Required)};
constexpr FieldSpec kInsertParagraphLineBreak[] = {
    PELVANE_FIELD(InsertParagraphLineBreak, slide_index, Required),
    PELVANE_FIELD(InsertParagraphLineBreak, shape_index, Required),
    PELVANE_FIELD(InsertParagraphLineBreak, paragraph_index, Required),
    PELVANE_FIELD(InsertParagraphLineBreak, run_slot, Required)};
constexpr FieldSpec kSetParagraphProperties[] = {
    PELVANE_FIELD(SetParagraphProperties, slide_index, Required),
    PELVANE_FIELD(SetParagraphProperties, shape_index, Required),
    PELVANE_FIELD(SetParagraphProperties, paragraph_index, Required),
    PELVANE_FIELD(SetParagraphProperties, set_alignment, Required),
    PELVANE_FIELD(SetParagraphProperties, alignment, Optional),
    PELVANE_FIELD(SetParagraphProperties, set_level, Required),
    PELVANE_FIELD(SetParagraphProperties, level, Required),
    PELVANE_FIELD(SetParagraphProperties, spacing, Defaulted)};
constexpr FieldSpec kSetParagraphFontProperties[] = {
    PELVANE_FIELD(SetParagraphFontProperties, slide_index, Required),
    PELVANE_FIELD(SetParagraphFontProperties, shape_index, Required),
    PELVANE_FIELD(SetParagraphFontProperties, paragraph_index, Required),
    PELVANE_FIELD(SetParagraphFontProperties, set_bold, Required),
    PELVANE_FIELD(SetParagraphFontProperties, bold, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_italic, Required),
    PELVANE_FIELD(SetParagraphFontProperties, italic, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_underline, Required),
    PELVANE_FIELD(SetParagraphFontProperties, underline, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_size, Required),
    PELVANE_FIELD(SetParagraphFontProperties, size, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_name, Required),
    PELVANE_FIELD(SetParagraphFontProperties, name, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_color, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, color, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, set_fill_type, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, fill_type, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, set_language, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, language_id, Defaulted)};
constexpr FieldSpec kSetShapeGeometry[] = {PELVANE_FIELD(SetShapeGeometry, slide_index, Required),
                                           PELVANE_FIELD(SetShapeGeometry, shape_index, Required),
                                           PELVANE_FIELD(SetShapeGeometry, x_emu, Required),
                                           PELVANE_FIELD(SetShapeGeometry, y_emu, Required),
                                           PELVANE_FIELD(SetShapeGeometry, cx_emu, Required),
                                           PELVANE_FIELD(SetShapeGeometry, cy_emu, Required)};
constexpr FieldSpec kSetGroupShapeChildGeometry[] = {
    PELVANE_FIELD(SetGroupShapeChildGeometry, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, x_emu, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, y_emu, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, cx_emu, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, cy_emu, Required)};
constexpr FieldSpec kSetTextFrameProperties[] = {
    PELVANE_FIELD(SetTextFrameProperties, slide_index, Required),
    PELVANE_FIELD(SetTextFrameProperties, shape_index, Required),
    PELVANE_FIELD(SetTextFrameProperties, properties, Defaulted)};
constexpr FieldSpec kReplaceTableCellText[] = {
    PELVANE_FIELD(ReplaceTableCellText, slide_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, table_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, row_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, col_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, replacement, Required)};
constexpr FieldSpec kSetTableCellMerge[] = {
    PELVANE_FIELD(SetTableCellMerge, slide_index, Required),
    PELVANE_FIELD(SetTableCellMerge, table_index, Required),
    PELVANE_FIELD(SetTableCellMerge, row_min, Required),
    PELVANE_FIELD(SetTableCellMerge, row_max, Required),
    PELVANE_FIELD(SetTableCellMerge, col_min, Required),
    PELVANE_FIELD(SetTableCellMerge, col_max, Required),
    PELVANE_FIELD(SetTableCellMerge, kind, Required),
    PELVANE_FIELD(SetTableCellMerge, paragraphs, Defaulted)};
constexpr FieldSpec kSetTableStyleFlags[] = {
    PELVANE_FIELD(SetTableStyleFlags, slide_index, Required),
    PELVANE_FIELD(SetTableStyleFlags, table_index, Required),
    PELVANE_FIELD(SetTableStyleFlags, flags, Required)};
constexpr FieldSpec kInsertTableRow[] = {PELVANE_FIELD(InsertTableRow, slide_index, Required),
                                         PELVANE_FIELD(InsertTableRow, table_index, Required),
                                         PELVANE_FIELD(InsertTableRow, row_index, Required)};
constexpr FieldSpec kDeleteTableRow[] = {PELVANE_FIELD(DeleteTableRow, slide_index, Required),
                                         PELVANE_FIELD(DeleteTableRow, table_index, Required),
                                         PELVANE_FIELD(DeleteTableRow, row_index, Required)};
constexpr FieldSpec kInsertTableColumn[] = {PELVANE_FIELD(InsertTableColumn, slide_index, Required),
                                            PELVANE_FIELD(InsertTableColumn, table_index, Required),
                                            PELVANE_FIELD(InsertTableColumn, col_index, Required)};
constexpr FieldSpec kDeleteTableColumn[] = {PELVANE_FIELD(DeleteTableColumn, slide_index, Required),
                                            PELVANE_FIELD(DeleteTableColumn, table_index, Required),
                                            PELVANE_FIELD(DeleteTableColumn, col_index, Required)};

template <std::size_t Index, class Kind>
void* start_edit(void* out) {
  static_assert(std::is_same_v<std::variant_alternative_t<Index, EditOperationVariant>, Kind>,
                "the table of edit kinds follows the order of the variant");
  return &static_cast<EditOperation*>(out)->template emplace<Index>();
}

#define PELVANE_EDIT_KIND(index, Kind)                                      \
  VariantSpec {                                                             \
    Kind::tag, RecordSpec{"struct variant EditOperation::" #Kind, k##Kind}, \
        &start_edit<index, Kind>                                            \
  }

constexpr VariantSpec kEditKinds[] = {
    PELVANE_EDIT_KIND(0, ReorderSlides),
    PELVANE_EDIT_KIND(1, DeleteShape),
    PELVANE_EDIT_KIND(2, DeleteGroupShapeChild),
    PELVANE_EDIT_KIND(3, SetShapeText),
    PELVANE_EDIT_KIND(4, SetGroupShapeChildText),
    PELVANE_EDIT_KIND(5, SetGroupShapeChildParagraphText),
    PELVANE_EDIT_KIND(6, SetGroupShapeChildRunText),
    PELVANE_EDIT_KIND(7, SetParagraphText),
    PELVANE_EDIT_KIND(8, ReplaceTextRun),
    PELVANE_EDIT_KIND(9, SetTextRunBold),
    PELVANE_EDIT_KIND(10, SetTextRunItalic),
    PELVANE_EDIT_KIND(11, SetTextRunUnderline),
    PELVANE_EDIT_KIND(12, SetTextRunFontSize),
    PELVANE_EDIT_KIND(13, SetTextRunFontName),
    PELVANE_EDIT_KIND(14, SetTextRunFormatting),
    PELVANE_EDIT_KIND(15, AppendParagraphText),
    PELVANE_EDIT_KIND(16, AppendTextRun),
    PELVANE_EDIT_KIND(17, InsertParagraphLineBreak),
    PELVANE_EDIT_KIND(18, SetParagraphProperties),
    PELVANE_EDIT_KIND(19, SetParagraphFontProperties),
    PELVANE_EDIT_KIND(20, SetShapeGeometry),
    PELVANE_EDIT_KIND(21, SetGroupShapeChildGeometry),
    PELVANE_EDIT_KIND(22, SetTextFrameProperties),
    PELVANE_EDIT_KIND(23, ReplaceTableCellText),
    PELVANE_EDIT_KIND(24, SetTableCellMerge),
    PELVANE_EDIT_KIND(25, SetTableStyleFlags),
    PELVANE_EDIT_KIND(26, InsertTableRow),
    PELVANE_EDIT_KIND(27, DeleteTableRow),
    PELVANE_EDIT_KIND(28, InsertTableColumn),
    PELVANE_EDIT_KIND(29, DeleteTableColumn),
};
static_assert(std::size(kEditKinds) == std::variant_size_v<EditOperationVariant>);

constexpr TaggedSpec kEditOperation{"type", "internally tagged enum EditOperation", kEditKinds};

// Spacing values: the JSON key of both payloads is "value".
template <ParagraphSpacingValue::Kind Kind>
void* start_spacing(void* out) {
  static_cast<ParagraphSpacingValue*>(out)->kind = Kind;
  return out;
}
constexpr FieldSpec kSpacingEmu[] = {
    {"value", Presence::Required, &read_member<&ParagraphSpacingValue::emu>}};
constexpr FieldSpec kSpacingMultiple[] = {
    {"value", Presence::Required, &read_member<&ParagraphSpacingValue::multiple>}};
constexpr VariantSpec kSpacingKinds[] = {
    {"clear",
     {"struct variant ParagraphSpacingValue::Clear", {}},
     &start_spacing<ParagraphSpacingValue::Kind::Clear>},
    {"emu",
     {"struct variant ParagraphSpacingValue::Emu", kSpacingEmu},
     &start_spacing<ParagraphSpacingValue::Kind::Emu>},
    {"multiple",
     {"struct variant ParagraphSpacingValue::Multiple", kSpacingMultiple},
     &start_spacing<ParagraphSpacingValue::Kind::Multiple>},
};
constexpr TaggedSpec kSpacingValue{"kind", "internally tagged enum ParagraphSpacingValue",
                                   kSpacingKinds, /*tag_by_index=*/true};

constexpr FieldSpec kSpacingPatchFields[] = {
    PELVANE_FIELD(ParagraphSpacingPatch, line_spacing, Defaulted),
    PELVANE_FIELD(ParagraphSpacingPatch, space_before, Defaulted),
    PELVANE_FIELD(ParagraphSpacingPatch, space_after, Defaulted)};
constexpr RecordSpec kSpacingPatch{"struct ParagraphSpacingPatch", kSpacingPatchFields};

constexpr FieldSpec kTextFrameFields[] = {
    PELVANE_FIELD(TextFramePropertiesPatch, margins, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, set_word_wrap, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, word_wrap, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, set_vertical_anchor, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, vertical_anchor, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, set_auto_size, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, auto_size, Defaulted)};
constexpr RecordSpec kTextFramePatch{"struct TextFramePropertiesPatch", kTextFrameFields};

template <FreeformPathOperation::Kind Kind>
void* start_path_step(void* out) {
  static_cast<FreeformPathOperation*>(out)->kind = Kind;
  return out;
}
constexpr FieldSpec kPoint[] = {PELVANE_FIELD(FreeformPathOperation, x, Required),
                                PELVANE_FIELD(FreeformPathOperation, y, Required)};
constexpr VariantSpec kPathKinds[] = {
    {"move_to",
     {"struct variant FreeformPathOperation::MoveTo", kPoint},
     &start_path_step<FreeformPathOperation::Kind::MoveTo>},
    {"line_to",
     {"struct variant FreeformPathOperation::LineTo", kPoint},
     &start_path_step<FreeformPathOperation::Kind::LineTo>},
    {"close",
     {"struct variant FreeformPathOperation::Close", {}},
     &start_path_step<FreeformPathOperation::Kind::Close>},
};
constexpr TaggedSpec kFreeformPathOperation{"type", "internally tagged enum FreeformPathOperation",
                                            kPathKinds};

constexpr FieldSpec kPlaceholderFields[] = {
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_type, Optional),
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_orient, Optional),
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_size, Optional),
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_idx, Optional)};
constexpr RecordSpec kPlaceholder{"struct PlaceholderShapeSpec", kPlaceholderFields};

constexpr FieldSpec kGuideFields[] = {PELVANE_FIELD(AdjustmentGuide, name, Required),
                                      PELVANE_FIELD(AdjustmentGuide, value, Required)};
constexpr RecordSpec kGuide{"a tuple of size 2", kGuideFields, /*tuple=*/true};

constexpr FieldSpec kCellTextFields[] = {PELVANE_FIELD(TableCellText, row, Required),
                                         PELVANE_FIELD(TableCellText, col, Required),
                                         PELVANE_FIELD(TableCellText, text, Required)};
constexpr RecordSpec kCellText{"a tuple of size 3", kCellTextFields, /*tuple=*/true};

struct CellTriple {
  std::string reference;
  std::string kind;
  std::string value;
};
constexpr FieldSpec kCellTripleFields[] = {PELVANE_FIELD(CellTriple, reference, Required),
                                           PELVANE_FIELD(CellTriple, kind, Required),
                                           PELVANE_FIELD(CellTriple, value, Required)};
constexpr RecordSpec kCellTriple{"a tuple of size 3", kCellTripleFields, /*tuple=*/true};

Read<void> read_value(Cursor& c, ParagraphSpacingValue& out) {
  return read_tagged(c, kSpacingValue, &out);
}
Read<void> read_value(Cursor& c, ParagraphSpacingPatch& out) {
  return read_record(c, kSpacingPatch, &out);
}
Read<void> read_value(Cursor& c, TextFramePropertiesPatch& out) {
  return read_record(c, kTextFramePatch, &out);
}

// ---- Lists ----

// The whole text: one JSON array, white space around it, each element read by `read_element`.
template <class T, class ReadElement>
JsonInputResult<std::vector<T>> read_list(std::string_view json, ReadElement read_element) {
  Cursor c(json);
  std::vector<T> items;
  auto read = [&]() -> Read<void> {
    const int start = JSON_TRY(c.value_start());
    if (start != '[') return c.invalid_type("a sequence");
    JSON_CHECK(c.enter());
    for (bool first = true; JSON_TRY(c.next_element(first)); first = false) {
      T item{};
      auto element = read_element(c, item);
      if (!element) {
        if (element.error().offset == kPlacedByList) element.error().offset = c.look_past();
        return element;
      }
      items.push_back(std::move(item));
    }
    c.leave();
    c.skip_white_space();
    if (!c.at_end()) return c.fail_peeked("trailing characters");
    return {};
  }();
  if (!read) return std::unexpected(c.to_error(read.error()));
  return items;
}

}  // namespace

JsonInputResult<std::vector<EditOperation>> parse_edit_list(std::string_view json) {
  return read_list<EditOperation>(
      json, [](Cursor& c, EditOperation& edit) { return read_tagged(c, kEditOperation, &edit); });
}

JsonInputResult<std::vector<FreeformPathOperation>> parse_freeform_operations(
    std::string_view json) {
  return read_list<FreeformPathOperation>(json, [](Cursor& c, FreeformPathOperation& step) {
    return read_tagged(c, kFreeformPathOperation, &step);
  });
}

JsonInputResult<std::vector<PlaceholderShapeSpec>> parse_placeholder_specs(std::string_view json) {
  return read_list<PlaceholderShapeSpec>(json, [](Cursor& c, PlaceholderShapeSpec& spec) {
    return read_record(c, kPlaceholder, &spec);
  });
}

JsonInputResult<std::vector<AdjustmentGuide>> parse_adjustment_guides(std::string_view json) {
  return read_list<AdjustmentGuide>(
      json, [](Cursor& c, AdjustmentGuide& guide) { return read_record(c, kGuide, &guide); });
}

JsonInputResult<std::vector<TableCellText>> parse_cell_texts(std::string_view json) {
  return read_list<TableCellText>(
      json, [](Cursor& c, TableCellText& cell) { return read_record(c, kCellText, &cell); });
}

JsonInputResult<std::vector<WorkbookCellUpdate>> parse_workbook_cells(std::string_view json) {
  auto triples = read_list<CellTriple>(
      json, [](Cursor& c, CellTriple& triple) { return read_record(c, kCellTriple, &triple); });
  if (!triples) return std::unexpected(std::move(triples).error());
  std::vector<WorkbookCellUpdate> updates;
  updates.reserve(triples->size());
  for (auto& triple : *triples) {
    WorkbookCellValue value;
    if (triple.kind == "n")
      value = WorkbookCellValue::number(std::move(triple.value));
    else if (triple.kind == "s")
      value = WorkbookCellValue::string(std::move(triple.value));
    else if (triple.kind == "e")
      value = WorkbookCellValue::clear();
    else
      return std::unexpected(JsonInputError{"unsupported workbook cell kind: " + triple.kind});
    updates.push_back({std::move(triple.reference), std::move(value)});
  }
  return updates;
}

}  // namespace pelvane
