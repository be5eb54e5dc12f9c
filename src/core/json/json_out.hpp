// The one JSON writer for every output record.
//
// A record lists its fields in declaration order through a member template:
//
//   struct PartRecord {
//     std::string name; std::uint64_t size; ...
//     template <class V> void visit(V& v) const {
//       v.field("name", name); v.field("size", size); ...
//     }
//   };
//
// Layout: two blanks per level, "key": value, "{}" and "[]" for empty containers, absent
// optionals as null, no line break after the outermost value.
//
// A member whose items are too many to hold at once is a `JsonStreamedArray`: each item is made
// as the writer reaches it, and may be made in the storage of the one before.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/base/utf8.hpp"

namespace pelvane {

class JsonWriter;

template <class T>
concept JsonRecord = requires(const T& record, JsonWriter& writer) {
  record.visit(writer);
};

// Enumerations written as one word provide `std::string_view json_word(E)` found by ADL.
template <class T>
concept JsonWord = std::is_enum_v<T> && requires(T value) {
  { json_word(value) } -> std::convertible_to<std::string_view>;
};

// An array of `count` items made one at a time as they are written: `make(i)` makes the i-th
// item and returns a pointer to it, valid until the next call. A failure to make an item stops
// the writing; the text is then not a result, and `JsonWriter::failure` holds the error.
template <class Make>
struct JsonStreamedArray {
  std::size_t count = 0;
  Make make;
};

class JsonWriter {
 public:
  JsonWriter() = default;

  // Appends `text` as a JSON string: only the quote, the backslash and U+0000..U+001F are
  // escaped; everything else, non-ASCII included, is copied as UTF-8.
  void write_string(std::string_view text);

  void value(std::string_view text) { write_string(text); }
  void value(const std::string& text) { write_string(text); }
  void value(const char* text) { write_string(text); }
  void value(bool flag) { put(flag ? std::string_view("true") : std::string_view("false")); }
  template <std::integral I>
  requires(!std::same_as<I, bool>) void value(I number) {
    char* at = room(24);
    used_ = static_cast<std::size_t>(std::to_chars(at, at + 24, number).ptr - out_.data());
  }
  template <JsonWord E>
  void value(E word) {
    write_string(json_word(word));
  }
  template <class T>
  void value(const std::optional<T>& maybe) {
    if (maybe)
      value(*maybe);
    else
      put("null");
  }
  template <class T>
  void value(const std::vector<T>& items) {
    if (items.empty()) {
      put("[]");
      return;
    }
    put('[');
    ++depth_;
    bool first = true;
    for (const auto& item : items) {
      open_member(first);
      value(item);
    }
    close_container(']');
  }
  template <class Make>
  void value(const JsonStreamedArray<Make>& items) {
    if (failure_) return;
    if (items.count == 0) {
      put("[]");
      return;
    }
    put('[');
    ++depth_;
    bool first = true;
    for (std::size_t i = 0; i < items.count; ++i) {
      auto item = items.make(i);
      if (!item) {
        failure_ = std::move(item.error());
        return;
      }
      open_member(first);
      const std::size_t before = used_;
      value(**item);
      if (i == 0) reserve_for_alike_items(used_ - before, items.count - 1);
    }
    close_container(']');
  }
  template <JsonRecord R>
  void value(const R& record) {
    put('{');
    ++depth_;
    bool outer_first = record_first_;
    record_first_ = true;
    record.visit(*this);
    bool empty = record_first_;
    record_first_ = outer_first;
    if (empty) {
      --depth_;
      put('}');
      return;
    }
    close_container('}');
  }

  // One member of the record being written. A `path` member must hold valid UTF-8.
  template <class T>
  void field(std::string_view key, const T& member) {
    open_member(record_first_);
    // Keys are the records' own snake_case names: nothing in them needs escaping.
    char* at = room(key.size() + 4);
    at[0] = '"';
    std::memcpy(at + 1, key.data(), key.size());
    std::memcpy(at + 1 + key.size(), "\": ", 3);
    used_ += key.size() + 4;
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
      if (key == "path" && !is_valid_utf8(member)) invalid_path_ = true;
    }
    value(member);
  }

  bool invalid_path() const { return invalid_path_; }
  // The error of the item a streamed array could not make, if any.
  const std::optional<PelvaneError>& failure() const { return failure_; }
  std::string take() {
    out_.resize(used_);
    used_ = 0;
    return std::move(out_);
  }

 private:
  void open_member(bool& first) {
    // ",\n" and the indentation in one append where the indentation is a common depth.
    static constexpr std::string_view kBreaks =
        ",\n                                                              ";
    const std::size_t indent = depth_ * 2;
    const std::size_t from = first ? 1 : 0;
    first = false;
    if (indent + 2 <= kBreaks.size()) {
      put(kBreaks.substr(from, 2 - from + indent));
    } else {
      put(kBreaks.substr(from, 2 - from));
      std::memset(room(indent), ' ', indent);
      used_ += indent;
    }
  }
  void close_container(char closer) {
    --depth_;
    const std::size_t indent = depth_ * 2;
    char* at = room(indent + 2);
    at[0] = '\n';
    std::memset(at + 1, ' ', indent);
    at[indent + 1] = closer;
    used_ += indent + 2;
  }

  // Room for `size` more bytes after the written ones. The text is lengthened ahead of the
  // writing, without clearing, and cut back to the written bytes by `take`, so that each small
  // write is one comparison and a copy.
  char* room(std::size_t size) {
    if (out_.size() - used_ < size) grow(size);
    return out_.data() + used_;
  }
  void grow(std::size_t size);
  // Room for `count` more items the size of one just written, so that the text is not copied
  // as it grows; bounded, since one large item says little about the rest.
  void reserve_for_alike_items(std::size_t item_size, std::size_t count);
  void put(std::string_view bytes) {
    std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  void put(char byte) {
    *room(1) = byte;
    ++used_;
  }

  // Bytes [0, used_) are the text; the rest is room, not yet written.
  std::string out_;
  std::size_t used_ = 0;
  std::size_t depth_ = 0;
  bool record_first_ = true;
  bool invalid_path_ = false;
  std::optional<PelvaneError> failure_;
};

inline constexpr std::string_view kInvalidPathMessage = "path contains invalid UTF-8 characters";

// The pretty-printed JSON text of one record, or the text of its failure shown to callers as
// is: the error of an item a streamed array could not make (its display text), else a path
// member that is not valid UTF-8 (the writer's own message).
template <JsonRecord R>
std::expected<std::string, std::string> to_json(const R& record) {
  JsonWriter writer;
  writer.value(record);
  if (writer.failure()) return std::unexpected(writer.failure()->to_string());
  if (writer.invalid_path()) return std::unexpected(std::string(kInvalidPathMessage));
  return writer.take();
}

}  // namespace pelvane
