#include "core/workbook/shared_string_table.hpp"

#include <limits>

#include "core/base/decimal.hpp"
#include "core/base/utf8.hpp"
#include "core/workbook/sheet_child_order.hpp"
#include "core/workbook/workbook_xml.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

constexpr int kItemRank = rank_of(kSharedStringsChildren, "si");

// Where the parse stands relative to the current item.
enum class ItemState { Outside, Direct, Deeper };

}  // namespace

Result<SharedStringTable> SharedStringTable::parse(std::string_view part) {
  SharedStringTable table;
  XmlReader reader(part);
  ItemState state = ItemState::Outside;
  std::size_t deeper = 0;  // elements open below the item's direct children
  std::uint64_t t_children = 0;
  bool only_t = true;  // every child element of the item so far is a `t`
  bool in_t = false;
  std::string text;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    switch (event.kind) {
      case XmlEventKind::Eof: return table;
      case XmlEventKind::Start:
        if (state == ItemState::Outside) {
          if (event.local_name() == "si") {
            state = ItemState::Direct;
            t_children = 0;
            only_t = true;
            text.clear();
          }
        } else if (state == ItemState::Direct) {
          if (event.local_name() == "t") {
            ++t_children;
            in_t = true;
          } else {
            only_t = false;
          }
          state = ItemState::Deeper;
          deeper = 1;
        } else {
          ++deeper;
        }
        break;
      case XmlEventKind::Empty:
        if (state == ItemState::Outside) {
          if (event.local_name() == "si") ++table.unique_count_;  // an empty item, never reused
        } else if (state == ItemState::Direct) {
          if (event.local_name() == "t")
            ++t_children;
          else
            only_t = false;
        }
        break;
      case XmlEventKind::End:
        if (state == ItemState::Deeper) {
          if (--deeper == 0) {
            state = ItemState::Direct;
            in_t = false;
          }
        } else if (state == ItemState::Direct) {
          if (only_t && t_children == 1)
            table.index_by_text_.try_emplace(text, table.unique_count_);
          ++table.unique_count_;
          state = ItemState::Outside;
        }
        break;
      case XmlEventKind::Text:
        if (in_t) {
          if (auto piece = xml_text_content(event)) text += *piece;
        }
        break;
      case XmlEventKind::GeneralRef:
        if (in_t) {
          if (auto piece = xml_reference_content(event)) text += *piece;
        }
        break;
      case XmlEventKind::CData:
        if (in_t) text += decode_utf8_lossy(event.content);
        break;
      default: break;
    }
  }
}

std::uint64_t SharedStringTable::string_index(std::string_view text) {
  if (const auto found = index_by_text_.find(text); found != index_by_text_.end())
    return found->second;
  const std::uint64_t index = unique_count_ + appended_.size();
  appended_.emplace_back(text);
  index_by_text_.emplace(std::string(text), index);
  return index;
}

std::optional<std::uint64_t> SharedStringTable::find(std::string_view text) const {
  const auto found = index_by_text_.find(text);
  if (found == index_by_text_.end()) return std::nullopt;
  return found->second;
}

XmlStartTag SharedStringTable::root_start(std::uint64_t unique_count, std::uint64_t appended_count,
                                          const XmlEvent& root, std::int64_t reference_delta) {
  std::string count_text;
  std::string unique_text;
  RawAttribute replacements[2];
  std::size_t replaced = 0;
  if (const auto count = root.attributes().find("count")) {
    if (const auto old_count = parse_i64(*count)) {
      std::int64_t sum = 0;
      if (__builtin_add_overflow(*old_count, reference_delta, &sum))
        sum = reference_delta > 0 ? std::numeric_limits<std::int64_t>::max() : 0;
      count_text = std::to_string(sum < 0 ? 0 : sum);
      replacements[replaced++] = {"count", count_text};
    }
  }
  if (root.attributes().find("uniqueCount")) {
    unique_text = std::to_string(unique_count + appended_count);
    replacements[replaced++] = {"uniqueCount", unique_text};
  }
  return with_raw_attributes(root, {}, std::span<const RawAttribute>(replacements, replaced));
}

void SharedStringTable::write_appended(std::span<const std::string> appended, XmlWriter& writer,
                                       std::string_view prefix) {
  const std::string item = std::string(prefix) + "si";
  const std::string text = std::string(prefix) + "t";
  for (const std::string& value : appended) {
    writer.write_start_tag(item);
    write_text_element(writer, text, value);
    writer.write_end_tag(item);
  }
}

Result<std::string> SharedStringTable::rewrite(std::string_view part,
                                               std::int64_t reference_delta) const {
  XmlReader reader(part);
  XmlWriter writer(part.size() + 32 * appended_.size());
  std::size_t depth = 0;
  std::string prefix;
  bool items_written = false;
  const auto write_items = [&] {
    if (items_written) return;
    write_appended(appended_, writer, prefix);
    items_written = true;
  };
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    switch (event.kind) {
      case XmlEventKind::Eof: return std::move(writer).take();
      case XmlEventKind::Start:
      case XmlEventKind::Empty:
        if (depth == 0) {
          prefix = element_prefix(event.name);
          writer.write_start(root_start(unique_count_, appended_.size(), event, reference_delta));
          if (event.is_start()) {
            depth = 1;
          } else {
            write_items();
            writer.write_end_tag(event.name);
          }
          break;
        }
        // New items stay ahead of the root's extension list.
        if (depth == 1 && goes_before(kSharedStringsChildren, kItemRank, event.local_name()))
          write_items();
        writer.write_event(event);
        if (event.is_start()) ++depth;
        break;
      case XmlEventKind::End:
        if (--depth == 0) write_items();
        writer.write_event(event);
        break;
      default: writer.write_event(event); break;
    }
  }
}

}  // namespace pelvane
