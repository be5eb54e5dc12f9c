#include "core/xml/xml_event_helpers.hpp"

#include <cstdio>
#include <vector>

#include "core/base/utf8.hpp"

namespace pelvane {

namespace {

// Writes an attribute read from the source tag. A name that is not UTF-8 cannot be written as a
// name at all, so the attribute is dropped; a value that is not UTF-8 is written empty.
void push_kept_attribute(XmlStartTag& tag, const XmlAttribute& attribute) {
  if (!is_valid_utf8(attribute.name)) return;
  if (!is_valid_utf8(attribute.value)) {
    tag.push_escaped_attribute(attribute.name, "");
    return;
  }
  tag.push_source_attribute(attribute);
}

// A small used-flag set without allocation for the usual handful of updates.
class UsedFlags {
 public:
  explicit UsedFlags(std::size_t count) : count_(count) {
    if (count_ > kInline) heap_.assign(count_, false);
  }
  bool get(std::size_t i) const { return count_ > kInline ? heap_[i] : inline_[i]; }
  void set(std::size_t i) {
    if (count_ > kInline)
      heap_[i] = true;
    else
      inline_[i] = true;
  }

 private:
  static constexpr std::size_t kInline = 16;
  std::size_t count_;
  bool inline_[kInline] = {};
  std::vector<bool> heap_;
};

// The one pass of both attribute rewrites: an update takes the place of the attribute it
// names, or is appended when it named none; an update without a value writes nothing.
template <class Update>
XmlStartTag rewrite_attributes(const XmlEvent& event, std::span<const Update> updates) {
  const auto value_of = [](const Update& update) {
    return std::optional<std::string_view>(update.value);
  };
  XmlStartTag tag(event.name);
  UsedFlags used(updates.size());
  for (const XmlAttribute& attribute : event.attributes()) {
    if (attribute.malformed) continue;
    bool matched = false;
    for (std::size_t i = 0; i < updates.size(); ++i) {
      if (attribute.name == updates[i].name) {
        used.set(i);
        if (const auto value = value_of(updates[i])) tag.push_attribute(updates[i].name, *value);
        matched = true;
        break;
      }
    }
    if (!matched) push_kept_attribute(tag, attribute);
  }
  for (std::size_t i = 0; i < updates.size(); ++i) {
    if (used.get(i)) continue;
    if (const auto value = value_of(updates[i])) tag.push_attribute(updates[i].name, *value);
  }
  return tag;
}

}  // namespace

XmlStartTag rewrite_event_attributes(const XmlEvent& event,
                                     std::span<const AttributeUpdate> updates) {
  return rewrite_attributes(event, updates);
}

XmlStartTag rewrite_event_attributes(const XmlEvent& event,
                                     std::initializer_list<AttributeUpdate> updates) {
  return rewrite_event_attributes(
      event, std::span<const AttributeUpdate>(updates.begin(), updates.size()));
}

XmlStartTag rewrite_event_optional_attributes(const XmlEvent& event,
                                              std::span<const OptionalAttributeUpdate> updates) {
  return rewrite_attributes(event, updates);
}

XmlStartTag rewrite_event_optional_attributes(
    const XmlEvent& event, std::initializer_list<OptionalAttributeUpdate> updates) {
  return rewrite_event_optional_attributes(
      event, std::span<const OptionalAttributeUpdate>(updates.begin(), updates.size()));
}

Result<void> skip_current_element(XmlReader& reader) {
  std::size_t depth = 1;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    switch (event.kind) {
      case XmlEventKind::Start: ++depth; break;
      case XmlEventKind::End:
        if (--depth == 0) return {};
        break;
      case XmlEventKind::Eof:
        return fail(PelvaneError::xml_text_decode("unexpected end of XML while skipping element"));
      default: break;
    }
  }
}

std::string_view attribute_value_key(std::string_view raw, std::string& buffer) {
  // Without a reference the value is the text as written, when that is UTF-8: at once when it is
  // ASCII, the common value, told in one look.
  if (is_ascii_without_reference(raw)) return raw;
  if (raw.find('&') == std::string_view::npos) return is_valid_utf8(raw) ? raw : "";
  auto value = unescape_xml(raw);
  buffer = value ? std::move(*value) : std::string();
  return buffer;
}

namespace {

// `attribute_key` as a view: into the tag when its text holds no reference, else into `buffer`.
std::string_view attribute_key_view(const XmlEvent& tag, std::string_view local_name,
                                    std::string& buffer) {
  const auto raw = tag.attributes().find(local_name, AttributeNaming::Local);
  if (!raw) return {};
  return attribute_value_key(*raw, buffer);
}

}  // namespace

std::string attribute_key(const XmlEvent& tag, std::string_view local_name) {
  std::string buffer;
  const std::string_view key = attribute_key_view(tag, local_name, buffer);
  if (key.data() == buffer.data()) return buffer;
  return std::string(key);
}

Result<std::pair<std::string, std::uint64_t>> remove_keyed_elements(
    std::string_view xml, std::string_view element, std::string_view key_attribute,
    const std::function<bool(std::string_view)>& is_removed, std::string_view eof_message,
    const std::function<std::optional<std::string_view>(const XmlEvent&)>& observe) {
  XmlReader reader(xml);
  XmlWriter writer(xml.size());
  std::uint64_t removed = 0;
  std::uint64_t skip_depth = 0;  // inside a removed element: elements open in it
  std::string key;
  // Kept events that follow one another in the input and are written as they stand go out as
  // one run of its bytes. An end tag is written as "</name>": only one already written so (no
  // blank before its ">") joins a run.
  const char* run = nullptr;
  std::size_t run_size = 0;
  const auto flush = [&] {
    if (run_size > 0) writer.write_raw(std::string_view(run, run_size));
    run_size = 0;
  };
  const auto keep = [&](std::string_view raw) {
    if (run_size == 0 || run + run_size != raw.data()) {
      flush();
      run = raw.data();
    }
    run_size += raw.size();
  };
  SimpleEmptyTag simple;
  for (;;) {
    // An element written as a simple empty tag is read in one pass, unless a caller looks at the
    // events: its key is the first attribute of the local name, as the tag's attributes give it.
    if (!observe && skip_depth == 0 && reader.next_simple_empty_tag(element, simple)) {
      std::string_view tag_key;
      for (const SimpleAttribute& attribute : simple) {
        if (attribute.local_name() != key_attribute) continue;
        tag_key = attribute_value_key(attribute.value, key);
        break;
      }
      if (is_removed(tag_key))
        ++removed;
      else
        keep(simple.raw);
      continue;
    }
    const XmlEvent event = PELVANE_TRY(reader.next());
    std::optional<std::string_view> known_key;
    if (observe) known_key = observe(event);
    if (skip_depth > 0) {
      if (event.is_eof()) return fail(PelvaneError::xml_text_decode(std::string(eof_message)));
      if (event.is_start())
        ++skip_depth;
      else if (event.is_end())
        --skip_depth;
      continue;
    }
    if (event.is_eof()) break;
    if (event.is_tag() && event.local_name() == element &&
        is_removed(known_key ? *known_key : attribute_key_view(event, key_attribute, key))) {
      ++removed;
      if (event.is_start()) skip_depth = 1;
      continue;
    }
    if (event.is_end() && event.raw.size() != event.name.size() + 3) {
      flush();
      writer.write_event(event);
      continue;
    }
    keep(event.raw);
  }
  flush();
  return std::pair{std::move(writer).take(), removed};
}

std::optional<std::string> xml_text_content(const XmlEvent& event) {
  auto text = decode_xml_text(event.content);
  if (!text || text->empty()) return std::nullopt;
  return text;
}

std::optional<std::string> xml_reference_content(const XmlEvent& event) {
  const std::string_view name = event.name;
  if (auto character = resolve_character_reference(name)) {
    std::string out;
    append_utf8(out, *character);
    return out;
  }
  if (!is_valid_utf8(name)) return std::nullopt;
  if (name == "lt") return "<";
  if (name == "gt") return ">";
  if (name == "amp") return "&";
  if (name == "quot") return "\"";
  if (name == "apos") return "'";
  std::string out;
  out.reserve(name.size() + 2);
  out += '&';
  out += name;
  out += ';';
  return out;
}

Result<void> check_xml_text(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    unsigned code = 0;
    if (byte < 0x20 && byte != 0x09 && byte != 0x0A && byte != 0x0D) {
      code = byte;
    } else if (byte == 0xEF && i + 2 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) == 0xBF &&
               (static_cast<unsigned char>(text[i + 2]) == 0xBE ||
                static_cast<unsigned char>(text[i + 2]) == 0xBF)) {
      code = 0xFFFE + (static_cast<unsigned char>(text[i + 2]) - 0xBE);
    } else {
      continue;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", code);
    return fail(PelvaneError::invalid_input(
        std::string("text contains a character that XML cannot hold: U+") + hex));
  }
  return {};
}

}  // namespace pelvane
