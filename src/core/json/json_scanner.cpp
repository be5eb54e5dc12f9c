// The scanner of the JSON argument readers: syntax, positions and the words of messages.
#include "core/json/json_scanner.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "core/base/utf8.hpp"

namespace pelvane {

namespace json_detail {

namespace {

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

void append_code_escape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u{";
  if (code >= 0x10) out += kHex[(code >> 4) & 0xF];
  out += kHex[code & 0xF];
  out += '}';
}

// Decimal exponent of the first significant digit of a number literal (the exponent part
// saturated); tells an overflow from an underflow.
long decimal_exponent(std::string_view literal) {
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

}  // namespace

std::string describe(const Number& number) {
  switch (number.kind) {
    case Number::Kind::Unsigned: return "integer `" + std::to_string(number.u) + "`";
    case Number::Kind::Signed: return "integer `" + std::to_string(number.i) + "`";
    case Number::Kind::Float: break;
  }
  return "floating point `" + describe_double(number.d) + "`";
}

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

Read<void> Cursor::parse_string(std::string* out) {
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
      const auto character = decode_code_point(text_, pos);
      if (!character) return fail_peeked("invalid unicode code point");
      if (out) out->append(text_.substr(pos, character->length));
      pos += character->length;
    }
  }
}

Read<Number> Cursor::parse_number() {
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

Read<void> Cursor::parse_literal(std::string_view rest) {
  for (const char expected : rest) {
    if (at_end()) return fail_at_end("EOF while parsing a value");
    if (text_[pos++] != expected) return fail_here("expected ident");
  }
  return {};
}

Read<void> Cursor::skip_value() {
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

std::unexpected<Fault> Cursor::invalid_type(std::string_view expected) {
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

JsonInputError Cursor::to_error(const Fault& fault) const {
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

Read<void> Cursor::parse_escape(std::string* out) {
  if (at_end()) return fail_at_end("EOF while parsing a string");
  const char c = text_[pos++];
  char decoded = 0;
  switch (c) {
    case '"': decoded = '"'; break;
    case '\\': decoded = '\\'; break;
    case '/': decoded = '/'; break;
    case 'b': decoded = '\b'; break;
    case 'f': decoded = '\f'; break;
    case 'n': decoded = '\n'; break;
    case 'r': decoded = '\r'; break;
    case 't': decoded = '\t'; break;
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
  if (out) *out += decoded;
  return {};
}

Read<std::uint32_t> Cursor::parse_hex4() {
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

}  // namespace json_detail

}  // namespace pelvane
