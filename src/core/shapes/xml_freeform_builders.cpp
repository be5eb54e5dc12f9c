#include "core/shapes/xml_freeform_builders.hpp"

#include "core/pml/xml_builders.hpp"
#include "core/shapes/xml_auto_shape_builders.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

void append_point(std::string& xml, std::string_view element, const FreeformPathOperation& step) {
  xml += "<a:";
  xml += element;
  xml += "><a:pt";
  append_number_attribute(xml, "x", step.x);
  append_number_attribute(xml, "y", step.y);
  xml += "/></a:";
  xml += element;
  xml += '>';
}

}  // namespace

Result<std::string> freeform_shape_xml(std::uint64_t shape_id, const FreeformArgs& args) {
  if (args.operations.empty()) {
    return fail(PelvaneError::invalid_input("freeform shape requires at least one path operation"));
  }
  std::string path;
  for (const FreeformPathOperation& step : args.operations) {
    switch (step.kind) {
      case FreeformPathOperation::Kind::MoveTo: append_point(path, "moveTo", step); break;
      case FreeformPathOperation::Kind::LineTo: append_point(path, "lnTo", step); break;
      case FreeformPathOperation::Kind::Close: path += "<a:close/>"; break;
    }
  }
  const std::string body = PELVANE_TRY(styled_shape_paragraphs(args.text));

  std::string xml;
  xml.reserve(960 + path.size() + body.size());
  append_shape_start(xml, shape_id, "Freeform", "<p:cNvSpPr/>", args.box);
  xml +=
      "<a:custGeom><a:avLst/><a:gdLst/><a:ahLst/><a:cxnLst/><a:rect l=\"l\" t=\"t\" r=\"r\" "
      "b=\"b\"/><a:pathLst><a:path";
  append_number_attribute(xml, "w", args.path_w);
  append_number_attribute(xml, "h", args.path_h);
  xml += '>';
  xml += path;
  xml += "</a:path></a:pathLst></a:custGeom>";
  append_styled_shape_end(xml, body);
  return xml;
}

}  // namespace pelvane
