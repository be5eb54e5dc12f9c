#include "core/shapes/xml_freeform_builders.hpp"

#include "core/pml/xml_builders.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

void append_point(std::string& xml, std::string_view element, const FreeformPathOperation& step) {
  xml += "<a:";
  xml += element;
  xml += "><a:pt x=\"";
  xml += std::to_string(step.x);
  xml += "\" y=\"";
  xml += std::to_string(step.y);
  xml += "\"/></a:";
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
  std::string body = args.text ? PELVANE_TRY(replacement_paragraphs_xml(*args.text))
                               : std::string("<a:p><a:pPr algn=\"ctr\"/></a:p>");

  std::string xml;
  xml.reserve(960 + path.size() + body.size());
  xml += "<p:sp><p:nvSpPr>";
  append_new_shape_cnvpr(xml, shape_id, "Freeform");
  xml += "<p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>";
  append_xfrm(xml, args.box);
  xml +=
      "<a:custGeom><a:avLst/><a:gdLst/><a:ahLst/><a:cxnLst/><a:rect l=\"l\" t=\"t\" r=\"r\" "
      "b=\"b\"/><a:pathLst><a:path w=\"";
  xml += std::to_string(args.path_w);
  xml += "\" h=\"";
  xml += std::to_string(args.path_h);
  xml += "\">";
  xml += path;
  xml +=
      "</a:path></a:pathLst></a:custGeom></p:spPr><p:style><a:lnRef idx=\"1\"><a:schemeClr "
      "val=\"accent1\"/></a:lnRef><a:fillRef idx=\"3\"><a:schemeClr val=\"accent1\"/>"
      "</a:fillRef><a:effectRef idx=\"2\"><a:schemeClr val=\"accent1\"/></a:effectRef>"
      "<a:fontRef idx=\"minor\"><a:schemeClr val=\"lt1\"/></a:fontRef></p:style>"
      "<p:txBody><a:bodyPr rtlCol=\"0\" anchor=\"ctr\"/><a:lstStyle/>";
  xml += body;
  xml += "</p:txBody></p:sp>";
  return xml;
}

}  // namespace pelvane
