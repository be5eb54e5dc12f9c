#include "core/slides/xml_placeholder_builders.hpp"

#include <array>
#include <unordered_set>
#include <utility>

#include "core/base/keyed_hash.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kShapeOpen = "<p:sp>";
constexpr std::string_view kShapeClose = "</p:sp>";
constexpr std::string_view kPlaceholderTag = "<p:ph";
constexpr std::string_view kEmptyTextBody = "<p:txBody><a:bodyPr/><a:lstStyle/><a:p/></p:txBody>";

constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kBaseNames = {{
    {"title", "Title"},
    {"ctrTitle", "Title"},
    {"subTitle", "Subtitle"},
    {"body", "Text Placeholder"},
    {"dt", "Date Placeholder"},
    {"ftr", "Footer Placeholder"},
    {"sldNum", "Slide Number Placeholder"},
    {"sldImg", "Image Placeholder"},
    {"pic", "Picture Placeholder"},
    {"media", "Media Placeholder"},
    {"chart", "Chart Placeholder"},
    {"clipArt", "ClipArt Placeholder"},
    {"dgm", "SmartArt Placeholder"},
    {"tbl", "Table Placeholder"},
}};

bool is_footer_type(std::string_view type) {
  return type == "dt" || type == "ftr" || type == "sldNum";
}

// The layout's shape blocks that hold a placeholder: "<p:sp>" through the next "</p:sp>".
std::vector<std::string_view> placeholder_blocks(std::string_view layout_xml) {
  std::vector<std::string_view> blocks;
  std::size_t from = 0;
  for (;;) {
    const std::size_t open = find_in_markup(layout_xml, kShapeOpen, from);
    if (open == std::string_view::npos) return blocks;
    const std::size_t close = find_in_markup(layout_xml, kShapeClose, open);
    if (close == std::string_view::npos) return blocks;
    from = close + kShapeClose.size();
    const std::string_view block = layout_xml.substr(open, from - open);
    if (find_in_markup(block, kPlaceholderTag) != std::string_view::npos) blocks.push_back(block);
  }
}

// " name="value"" when the value is present, not empty and not the attribute's default.
void append_ph_attribute(std::string& out, std::string_view name,
                         const std::optional<std::string>& value, std::string_view default_value) {
  if (!value || value->empty() || *value == default_value) return;
  out += ' ';
  out += name;
  out += "=\"";
  out += xml_attr(*value);
  out += '"';
}

// The names of the slide's shapes as written: the raw "name" of every "p:cNvPr" start tag.
std::unordered_set<std::string_view, KeyedHash> shape_names(std::string_view slide_xml) {
  std::unordered_set<std::string_view, KeyedHash> names;
  for_each_start_tag(slide_xml, "p:cNvPr", [&](std::string_view tag) {
    if (const auto name = tag_attribute(tag, "name")) names.insert(*name);
  });
  return names;
}

}  // namespace

std::string placeholder_base_name(std::optional<std::string_view> type,
                                  std::optional<std::string_view> orient) {
  std::string_view base = "Content Placeholder";
  for (const auto& [name, word] : kBaseNames) {
    if (type == name) {
      base = word;
      break;
    }
  }
  if (orient == "vert") return "Vertical " + std::string(base);
  return std::string(base);
}

Result<std::string> placeholder_shape_xml(std::uint64_t shape_id, std::string_view name,
                                          const PlaceholderShapeSpec& spec) {
  for (const auto* value : {&spec.placeholder_type, &spec.placeholder_orient,
                            &spec.placeholder_size, &spec.placeholder_idx}) {
    if (*value) PELVANE_TRY_VOID(check_xml_text(**value));
  }
  std::string attributes;
  append_ph_attribute(attributes, "type", spec.placeholder_type, "obj");
  append_ph_attribute(attributes, "orient", spec.placeholder_orient, "horz");
  append_ph_attribute(attributes, "sz", spec.placeholder_size, "full");
  append_ph_attribute(attributes, "idx", spec.placeholder_idx, "0");
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(shape_id) + "\" name=\"" +
         xml_attr(name) + "\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr><p:ph" +
         attributes + "/></p:nvPr></p:nvSpPr><p:spPr/>" + std::string(kEmptyTextBody) + "</p:sp>";
}

std::string placeholder_shape_name(std::string_view slide_xml, std::uint64_t shape_id,
                                   const PlaceholderShapeSpec& spec) {
  const std::string base = placeholder_base_name(spec.placeholder_type, spec.placeholder_orient);
  const auto used = shape_names(slide_xml);
  std::uint64_t number = shape_id == 0 ? 0 : shape_id - 1;
  std::string name = base + " " + std::to_string(number);
  while (used.contains(name)) name = base + " " + std::to_string(++number);
  return name;
}

std::vector<PlaceholderShapeSpec> placeholder_specs_from_layout_xml(std::string_view layout_xml) {
  std::vector<PlaceholderShapeSpec> specs;
  for (const std::string_view block : placeholder_blocks(layout_xml)) {
    const std::size_t at = find_in_markup(block, kPlaceholderTag);
    const std::size_t end = at == std::string_view::npos ? at : tag_end(block, at);
    if (end == std::string_view::npos) continue;
    const std::string_view tag = block.substr(at, end - at);
    const auto value = [&](std::string_view name) -> std::optional<std::string> {
      if (const auto raw = tag_attribute(tag, name)) return std::string(*raw);
      return std::nullopt;
    };
    PlaceholderShapeSpec spec{value("type"), value("orient"), value("sz"), value("idx")};
    if (spec.placeholder_type && is_footer_type(*spec.placeholder_type)) continue;
    specs.push_back(std::move(spec));
  }
  return specs;
}

std::vector<std::string> extract_placeholder_shape_blocks(std::string_view layout_xml) {
  std::vector<std::string> shapes;
  for (const std::string_view block : placeholder_blocks(layout_xml)) {
    if (block.find("type=\"dt\"") != std::string_view::npos ||
        block.find("type=\"ftr\"") != std::string_view::npos ||
        block.find("type=\"sldNum\"") != std::string_view::npos)
      continue;
    shapes.push_back(
        replace_element(replace_element(block, "p:spPr", "<p:spPr/>"), "p:txBody", kEmptyTextBody));
  }
  return shapes;
}

}  // namespace pelvane
