// Records described as data, read by the JSON argument readers.
//
// Value readers, one per C++ field type (`read_value`), describe a rejected value in the words
// the messages use. Every record is a list of fields (JSON name, presence, member to fill),
// read by one object-form and one array-form reader; tagged records (edits, freeform steps,
// spacing values) add a table of kinds.
//
// Two reading modes share the cursor. Straight: a record is converted while it is read, so a
// fault is placed where the reader stands. Buffered (tagged records): a record is first read
// whole (syntax and tag), then converted from its text; a fault of the conversion is placed
// where the list reader stands after looking past the record. The modes also differ on an
// array form with values left over: straight reading stops at the next value ("trailing
// characters"), buffered reading counts them ("invalid length").
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json/json_error.hpp"
#include "core/json/json_scanner.hpp"
#include "core/model/input_models.hpp"

namespace pelvane::json_detail {

// Offset of a fault that the list reader places after looking past the faulty record.
constexpr std::size_t kPlacedByList = static_cast<std::size_t>(-1);

// ---- Value readers, one per field type ----

Read<void> read_value(Cursor& c, std::uint64_t& out);
Read<void> read_value(Cursor& c, std::int64_t& out);
Read<void> read_value(Cursor& c, double& out);
Read<void> read_value(Cursor& c, bool& out);
Read<void> read_value(Cursor& c, std::string& out);
// The nested records of the edits, defined with their tables.
Read<void> read_value(Cursor& c, ParagraphSpacingValue& out);
Read<void> read_value(Cursor& c, ParagraphSpacingPatch& out);
Read<void> read_value(Cursor& c, TextFramePropertiesPatch& out);

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
template <class Record, class T, T Record::*Member>
struct MemberOf<Member> {
  using Class = Record;
};

template <auto Member>
Read<void> read_member(Cursor& c, void* record) {
  return read_value(c, static_cast<typename MemberOf<Member>::Class*>(record)->*Member);
}

// A field whose JSON key is the member's name.
#define PELVANE_FIELD(Record, member, presence) \
  FieldSpec { #member, Presence::presence, &read_member < &Record::member> }

std::string element_count(std::size_t n);

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

// A record in its object form or its array form; `skip` leading elements of the array form
// are not fields (the tag of a tagged record).
Read<void> read_record(Cursor& c, const RecordSpec& spec, void* record, std::size_t skip = 0);

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

  std::string variant_list() const;
};

// Buffered reading of a tagged record: read whole first, then converted from its text. A
// fault of the conversion is placed by the list reader (kPlacedByList).
Read<void> read_tagged(Cursor& c, const TaggedSpec& spec, void* out);

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

}  // namespace pelvane::json_detail
