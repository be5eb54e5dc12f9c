#include "core/workbook/worksheet_cell_rewriter.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/base/utf8.hpp"
#include "core/workbook/sheet_child_order.hpp"
#include "core/workbook/workbook_xml.hpp"

namespace pelvane {

namespace {

constexpr int kCellRank = rank_of(kSheetRowChildren, "c");
// The attributes a cell loses when it gets a new value: its type and its value metadata.
constexpr std::string_view kCellTypeAttributes[] = {"t", "vm", "cm"};
const WorkbookCellValue kClearValue = WorkbookCellValue::clear();

// The pieces of `text` between runs of Unicode white space.
std::vector<std::string_view> split_at_white_space(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t start = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto decoded = decode_code_point(text, at);
    const std::size_t length = decoded ? decoded->length : 1;
    if (decoded && is_unicode_white_space(decoded->code_point)) {
      if (at > start) tokens.push_back(text.substr(start, at - start));
      start = at + length;
    }
    at += length;
  }
  if (start < text.size()) tokens.push_back(text.substr(start));
  return tokens;
}

struct ColumnRange {
  std::uint32_t first;
  std::uint32_t last;
};

// "1:3 6:8" as ranges; none when a token is not two numbers around a colon (anything after a
// second colon is ignored).
std::optional<std::vector<ColumnRange>> parse_spans(std::string_view spans) {
  std::vector<ColumnRange> ranges;
  for (std::string_view token : split_at_white_space(spans)) {
    const std::size_t colon = token.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view rest = token.substr(colon + 1);
    const auto first = parse_u32_decimal(token.substr(0, colon));
    const auto last = parse_u32_decimal(rest.substr(0, rest.find(':')));
    if (!first || !last) return std::nullopt;
    ranges.push_back({*first, *last});
  }
  return ranges;
}

PelvaneError invalid(std::string message) {
  return PelvaneError::invalid_input(std::move(message));
}

}  // namespace

WorksheetCellRewriter::WorksheetCellRewriter(const WorkbookCellPlan& plan,
                                             SharedStringTable* shared_strings,
                                             std::size_t worksheet_size)
    : writer_(worksheet_size + 32 * plan.writes.size()),
      writes_(plan.writes),
      clears_(plan.clears),
      shared_strings_(shared_strings) {}

Result<void> WorksheetCellRewriter::rewrite(std::string_view worksheet) {
  XmlReader reader(worksheet);
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    if (skip_depth_ > 0) {
      PELVANE_TRY_VOID(drop_old_content(event));
    } else if (event.is_tag()) {
      PELVANE_TRY_VOID(open_tag(event));
    } else if (event.is_end()) {
      close_tag(event);
    } else {
      writer_.write_event(event);
    }
  }
  if (next_write_ < writes_.size()) return fail(invalid("worksheet has no sheetData"));
  return {};
}

void WorksheetCellRewriter::set_prefix(std::string_view prefix) {
  const std::string p(prefix);
  cell_name_ = p + "c";
  value_name_ = p + "v";
  inline_name_ = p + "is";
  text_name_ = p + "t";
  row_name_ = p + "row";
}

Result<void> WorksheetCellRewriter::open_tag(const XmlEvent& event) {
  const std::string_view local = event.local_name();
  if (local == "sheetData") {
    set_prefix(element_prefix(event.name));
    if (event.is_start()) {
      writer_.write_event(event);
      in_sheet_data_ = true;
      if (in_row_) ++row_depth_;
    } else {
      // An empty sheetData is opened, so that new rows have a place, and closed again.
      writer_.write_start(XmlStartTag::from_event(event));
      write_rows_before(std::nullopt);
      writer_.write_end_tag(event.name);
    }
    return {};
  }
  if (local == "dimension" && !in_sheet_data_) {
    if (auto widened = widened_dimension(event))
      writer_.write_tag_as(event, *widened);
    else
      writer_.write_event(event);
    return {};
  }
  if (local == "row" && in_sheet_data_ && !in_row_) return row_start(event);
  if (local == "c" && in_row_) return cell_start(event);
  // New cells stay ahead of the row's extension list.
  if (in_row_ && row_depth_ == 0 && goes_before(kSheetRowChildren, kCellRank, local))
    write_cells_in_row(current_row_, std::nullopt);
  writer_.write_event(event);
  if (in_row_ && event.is_start()) ++row_depth_;
  return {};
}

void WorksheetCellRewriter::close_tag(const XmlEvent& event) {
  if (in_row_ && row_depth_ > 0) {
    --row_depth_;
  } else if (in_row_) {
    // The handled row's own end tag.
    write_cells_in_row(current_row_, std::nullopt);
    in_row_ = false;
  } else if (in_sheet_data_ && event.local_name() == "sheetData") {
    write_rows_before(std::nullopt);
    in_sheet_data_ = false;
  }
  writer_.write_event(event);
}

Result<void> WorksheetCellRewriter::row_start(const XmlEvent& event) {
  const auto index = event.attributes().find("r");
  const auto row = index ? parse_u32_decimal(*index) : std::nullopt;
  if (!row) return fail(invalid("worksheet row has no index"));
  if (previous_row_ && *row <= *previous_row_)
    return fail(invalid("worksheet rows are not in ascending order"));
  previous_row_ = *row;

  write_rows_before(*row);
  const auto spans = widened_spans(event, *row);
  if (event.is_start()) {
    spans ? writer_.write_start(*spans) : writer_.write_event(event);
    in_row_ = true;
    current_row_ = *row;
    row_depth_ = 0;
    previous_column_ = 0;
    return {};
  }
  const bool has_writes = next_write_ < writes_.size() && writes_[next_write_].position.row == *row;
  if (!has_writes) {
    writer_.write_event(event);
    return {};
  }
  writer_.write_start(spans ? *spans : XmlStartTag::from_event(event));
  write_cells_in_row(*row, std::nullopt);
  writer_.write_end_tag(event.name);
  return {};
}

Result<void> WorksheetCellRewriter::cell_start(const XmlEvent& event) {
  const auto reference = event.attributes().find("r");
  const auto position = reference ? parse_cell_reference(*reference) : std::nullopt;
  if (!position) return fail(invalid("worksheet cell has no reference"));
  if (position->row != current_row_)
    return fail(invalid("worksheet cell reference is outside its row"));
  if (position->column <= previous_column_)
    return fail(invalid("worksheet cells are not in ascending order in row " +
                        std::to_string(current_row_)));
  previous_column_ = position->column;

  write_cells_in_row(current_row_, position->column);
  const WorkbookCellValue* value = nullptr;
  if (next_write_ < writes_.size() && writes_[next_write_].position == *position)
    value = writes_[next_write_++].value;
  else if (!clears_.empty() && clears_.contains(*position))
    value = &kClearValue;
  if (value == nullptr) {
    writer_.write_event(event);
    if (event.is_start()) ++row_depth_;
    return {};
  }
  if (event.attributes().find("t") == "s") ++removed_references_;
  write_cell(with_raw_attributes(event, kCellTypeAttributes, {}), *value);
  if (event.is_start()) skip_depth_ = 1;  // the old content and end tag are dropped
  return {};
}

Result<void> WorksheetCellRewriter::drop_old_content(const XmlEvent& event) {
  if (event.is_tag() && event.local_name() == "f")
    return fail(invalid("worksheet cell to update holds a formula"));
  if (event.is_start()) ++skip_depth_;
  if (event.is_end()) --skip_depth_;
  return {};
}

void WorksheetCellRewriter::write_rows_before(std::optional<std::uint32_t> row_limit) {
  while (next_write_ < writes_.size() &&
         (!row_limit || writes_[next_write_].position.row < *row_limit)) {
    const std::uint32_t row = writes_[next_write_].position.row;
    XmlStartTag tag(row_name_);
    tag.push_escaped_attribute("r", std::to_string(row));
    writer_.write_start(tag);
    write_cells_in_row(row, std::nullopt);
    writer_.write_end_tag(row_name_);
  }
}

void WorksheetCellRewriter::write_cells_in_row(std::uint32_t row,
                                               std::optional<std::uint32_t> column_limit) {
  while (next_write_ < writes_.size()) {
    const PendingWrite& write = writes_[next_write_];
    if (write.position.row != row || (column_limit && write.position.column >= *column_limit))
      return;
    ++next_write_;
    XmlStartTag tag(cell_name_);
    tag.push_escaped_attribute("r", cell_reference(row, write.position.column));
    write_cell(std::move(tag), *write.value);
  }
}

void WorksheetCellRewriter::write_cell(XmlStartTag tag, const WorkbookCellValue& value) {
  switch (value.kind) {
    case WorkbookCellValue::Kind::Number:
      writer_.write_start(tag);
      write_text_element(writer_, value_name_, value.text);
      break;
    case WorkbookCellValue::Kind::String:
      if (shared_strings_ != nullptr) {
        const std::uint64_t index = shared_strings_->string_index(value.text);
        ++added_references_;
        tag.push_escaped_attribute("t", "s");
        writer_.write_start(tag);
        write_text_element(writer_, value_name_, std::to_string(index));
      } else {
        tag.push_escaped_attribute("t", "inlineStr");
        writer_.write_start(tag);
        writer_.write_start_tag(inline_name_);
        write_text_element(writer_, text_name_, value.text);
        writer_.write_end_tag(inline_name_);
      }
      break;
    case WorkbookCellValue::Kind::Clear: writer_.write_empty(tag); return;
  }
  writer_.write_end_tag(cell_name_);
}

std::optional<XmlStartTag> WorksheetCellRewriter::widened_spans(const XmlEvent& row,
                                                                std::uint32_t row_number) const {
  if (next_write_ >= writes_.size() || writes_[next_write_].position.row != row_number)
    return std::nullopt;  // no new cell in this row
  const auto spans = row.attributes().find("spans");
  if (!spans) return std::nullopt;
  const auto ranges = parse_spans(*spans);
  if (!ranges) return std::nullopt;
  std::uint32_t low = UINT32_MAX;
  std::uint32_t high = 0;
  for (const ColumnRange& range : *ranges) {
    low = std::min({low, range.first, range.last});
    high = std::max({high, range.first, range.last});
  }
  bool outside = false;
  for (std::size_t i = next_write_; i < writes_.size() && writes_[i].position.row == row_number;
       ++i) {
    const std::uint32_t column = writes_[i].position.column;
    const bool covered = std::ranges::any_of(*ranges, [&](const ColumnRange& range) {
      return range.first <= column && column <= range.last;
    });
    if (covered) continue;
    outside = true;
    low = std::min(low, column);
    high = std::max(high, column);
  }
  if (!outside) return std::nullopt;
  const std::string widened = std::to_string(low) + ":" + std::to_string(high);
  const RawAttribute replacement[] = {{"spans", widened}};
  return with_raw_attributes(row, {}, replacement);
}

std::optional<XmlStartTag> WorksheetCellRewriter::widened_dimension(
    const XmlEvent& dimension) const {
  const auto ref = dimension.attributes().find("ref");
  if (!ref) return std::nullopt;
  CellPosition top_left{UINT32_MAX, UINT32_MAX};
  CellPosition bottom_right{0, 0};
  const auto include = [&](CellPosition position) {
    top_left = {std::min(top_left.row, position.row), std::min(top_left.column, position.column)};
    bottom_right = {std::max(bottom_right.row, position.row),
                    std::max(bottom_right.column, position.column)};
  };
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = ref->find(':', start);
    const auto piece = parse_cell_reference(ref->substr(start, colon - start));
    if (!piece) return std::nullopt;  // every piece must be a reference
    include(*piece);
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  for (const PendingWrite& write : writes_) include(write.position);
  std::string widened = cell_reference(top_left.row, top_left.column);
  if (top_left != bottom_right) {
    widened += ':';
    widened += cell_reference(bottom_right.row, bottom_right.column);
  }
  if (widened == *ref) return std::nullopt;
  const RawAttribute replacement[] = {{"ref", widened}};
  return with_raw_attributes(dimension, {}, replacement);
}

}  // namespace pelvane
