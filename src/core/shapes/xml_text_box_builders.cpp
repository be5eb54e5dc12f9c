#include "core/shapes/xml_text_box_builders.hpp"

#include "core/pml/paragraph_writers.hpp"
#include "core/pml/xml_builders.hpp"

namespace pelvane {

Result<std::string> text_box_shape_xml(std::uint64_t shape_id, const TextBoxArgs& args) {
  std::string body =
      args.text ? PELVANE_TRY(replacement_paragraphs_xml(*args.text)) : std::string("<a:p/>");

  std::string xml;
  xml.reserve(480 + body.size());
  append_shape_start(xml, shape_id, "TextBox", "<p:cNvSpPr txBox=\"1\"/>", args.box);
  xml +=
      "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:noFill/></p:spPr>"
      "<p:txBody><a:bodyPr wrap=\"none\"><a:spAutoFit/></a:bodyPr><a:lstStyle/>";
  xml += body;
  xml += "</p:txBody></p:sp>";
  return xml;
}

}  // namespace pelvane
