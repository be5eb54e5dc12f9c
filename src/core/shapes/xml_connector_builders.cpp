#include "core/shapes/xml_connector_builders.hpp"

#include <algorithm>

#include "core/pml/xml_builders.hpp"

namespace pelvane {

namespace {

void append_connection(std::string& xml, std::string_view element, const ConnectorEnd& end) {
  xml += "<a:";
  xml += element;
  append_number_attribute(xml, "id", end.shape_id);
  append_number_attribute(xml, "idx", end.site_index);
  xml += "/>";
}

}  // namespace

Result<std::string_view> connector_preset_geometry(std::string_view preset_geometry) {
  if (preset_geometry == "line" || preset_geometry == "bentConnector3" ||
      preset_geometry == "curvedConnector3") {
    return std::string_view("Connector");
  }
  std::string message = "unsupported connector preset geometry: ";
  message += preset_geometry;
  return fail(PelvaneError::invalid_input(std::move(message)));
}

Result<std::string> connector_shape_xml(std::uint64_t shape_id, const ConnectorArgs& args) {
  PELVANE_TRY(connector_preset_geometry(args.preset_geometry));
  auto [left, right] = std::minmax(args.from.x, args.to.x);
  auto [top, bottom] = std::minmax(args.from.y, args.to.y);

  std::string xml;
  xml.reserve(800);
  xml += "<p:cxnSp><p:nvCxnSpPr>";
  append_new_shape_cnvpr(xml, shape_id, "Connector");
  if (!args.begin && !args.end) {
    xml += "<p:cNvCxnSpPr/>";
  } else {
    xml += "<p:cNvCxnSpPr>";
    if (args.begin) append_connection(xml, "stCxn", *args.begin);
    if (args.end) append_connection(xml, "endCxn", *args.end);
    xml += "</p:cNvCxnSpPr>";
  }
  xml += "<p:nvPr/></p:nvCxnSpPr><p:spPr><a:xfrm";
  if (args.from.x > args.to.x) xml += " flipH=\"1\"";
  if (args.from.y > args.to.y) xml += " flipV=\"1\"";
  xml += '>';
  append_offset_extent(xml, EmuBox{left, top, right - left, bottom - top});
  xml += "</a:xfrm><a:prstGeom prst=\"";
  xml += args.preset_geometry;
  xml +=
      "\"><a:avLst/></a:prstGeom></p:spPr><p:style><a:lnRef idx=\"2\"><a:schemeClr "
      "val=\"accent1\"/></a:lnRef><a:fillRef idx=\"0\"><a:schemeClr val=\"accent1\"/>"
      "</a:fillRef><a:effectRef idx=\"1\"><a:schemeClr val=\"accent1\"/></a:effectRef>"
      "<a:fontRef idx=\"minor\"><a:schemeClr val=\"tx1\"/></a:fontRef></p:style></p:cxnSp>";
  return xml;
}

Result<std::string> connected_connector_with_auto_shapes_xml(std::uint64_t first_id,
                                                             const ConnectedShapesArgs& args) {
  auto begin_name = PELVANE_TRY(auto_shape_display_name(args.begin_shape.preset_geometry));
  auto end_name = PELVANE_TRY(auto_shape_display_name(args.end_shape.preset_geometry));
  ConnectorArgs connector = args.connector;
  connector.begin = ConnectorEnd{first_id, args.begin_site_index};
  connector.end = ConnectorEnd{first_id + 1, args.end_site_index};
  std::string xml = PELVANE_TRY(auto_shape_xml(first_id, begin_name, args.begin_shape));
  xml += PELVANE_TRY(auto_shape_xml(first_id + 1, end_name, args.end_shape));
  xml += PELVANE_TRY(connector_shape_xml(first_id + 2, connector));
  return xml;
}

}  // namespace pelvane
