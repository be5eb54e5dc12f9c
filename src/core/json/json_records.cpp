// Value readers, the object and array forms of records described as data, and tagged records.
#include "core/json/json_records.hpp"

#include <limits>

namespace pelvane::json_detail {

namespace {

Read<Number> read_number(Cursor& c, std::string_view expected) {
  const int start = JSON_TRY(c.value_start());
  if (start == '-' || is_digit(start)) return c.parse_number();
  return c.invalid_type(expected);
}

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

}  // namespace

std::string element_count(std::size_t n) {
  return n == 1 ? std::string("1 element") : std::to_string(n) + " elements";
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

Read<void> read_record(Cursor& c, const RecordSpec& spec, void* record, std::size_t skip) {
  const int start = JSON_TRY(c.value_start());
  if (start == '{' && !spec.tuple) return read_object_form(c, spec, record);
  if (start == '[') return read_array_form(c, spec, record, skip);
  return c.invalid_type(spec.name);
}

std::string TaggedSpec::variant_list() const {
  std::string out = "one of ";
  for (std::size_t i = 0; i < variants.size(); ++i) {
    if (i > 0) out += ", ";
    out += '`';
    out += variants[i].tag;
    out += '`';
  }
  return out;
}

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

}  // namespace pelvane::json_detail
