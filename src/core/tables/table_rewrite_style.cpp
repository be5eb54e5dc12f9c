// The style flags of a table's properties.
#include <algorithm>

#include "core/tables/table_rewrite.hpp"
#include "core/tables/table_walk.hpp"

namespace pelvane {

namespace {

// The flags in the order new attributes are written.
constexpr std::string_view kStyleFlags[] = {"firstCol", "firstRow", "bandRow",
                                            "lastCol",  "lastRow",  "bandCol"};

// A new self-closing `a:tblPr` holding the flags turned on.
void write_new_properties(XmlWriter& writer, std::span<const OptionalAttributeUpdate> changes) {
  XmlStartTag tag("a:tblPr");
  for (const OptionalAttributeUpdate& change : changes)
    if (change.value) tag.push_attribute(change.name, *change.value);
  writer.write_empty(tag);
}

}  // namespace

std::vector<OptionalAttributeUpdate> table_style_flag_attributes(
    const std::map<std::string, bool>& flags) {
  std::vector<OptionalAttributeUpdate> changes;
  for (const std::string_view flag : kStyleFlags) {
    const auto named = flags.find(std::string(flag));
    if (named == flags.end()) continue;
    changes.push_back({flag, named->second ? std::optional<std::string_view>("1") : std::nullopt});
  }
  return changes;
}

Result<RewriteOutput> set_table_style_flags_in_slide(std::string_view xml,
                                                     std::uint64_t table_index,
                                                     const std::map<std::string, bool>& flags) {
  for (const auto& [name, value] : flags) {
    if (std::ranges::find(kStyleFlags, name) == std::end(kStyleFlags))
      return fail(PelvaneError::invalid_input("unsupported table style flag: " + name));
  }
  const std::vector<OptionalAttributeUpdate> changes = table_style_flag_attributes(flags);

  SlideStream stream(xml);
  TableWalker walker(table_index);
  std::uint64_t count = 0;
  bool properties_done = false;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (walker.step(event).part == TablePart::TableStart) properties_done = false;
    if (walker.in_target() && event.is_tag()) {
      const std::string_view name = event.local_name();
      if (name == "tblPr") {
        stream.writer.write_tag_as(event, rewrite_event_optional_attributes(event, changes));
        properties_done = true;
        ++count;
        continue;
      }
      if (!properties_done && (name == "tr" || name == "tblGrid" || name == "extLst")) {
        write_new_properties(stream.writer, changes);
        properties_done = true;
        ++count;
      }
    }
    stream.writer.write_event(event);
  }
}

}  // namespace pelvane
