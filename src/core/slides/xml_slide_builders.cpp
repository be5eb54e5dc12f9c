#include "core/slides/xml_slide_builders.hpp"

#include "core/xml/xml_escape.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

}  // namespace

std::string blank_slide_xml(std::string_view shapes_xml) {
  std::string xml(kDeclaration);
  xml +=
      "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
      "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">\n"
      "  <p:cSld>\n"
      "    <p:spTree>\n"
      "      <p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>\n"
      "      <p:grpSpPr/>\n"
      "      ";
  xml += shapes_xml;
  xml +=
      "\n"
      "    </p:spTree>\n"
      "  </p:cSld>\n"
      "  <p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr>\n"
      "</p:sld>\n";
  return xml;
}

std::string slide_layout_rels_xml(std::string_view layout_target) {
  std::string xml(kDeclaration);
  xml +=
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout\" "
      "Target=\"";
  xml += xml_attr(layout_target);
  xml += "\"/></Relationships>\n";
  return xml;
}

}  // namespace pelvane
