#include "core/media/xml_media_builders.hpp"

#include <algorithm>

#include "core/base/decimal.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/pml/xml_builders.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kMediaExtensionNamespace =
    "http://schemas.microsoft.com/office/powerpoint/2010/main";
constexpr std::string_view kOleGraphicDataUri =
    "http://schemas.openxmlformats.org/presentationml/2006/ole";

constexpr std::string_view kTimingOpen = "<p:timing";
constexpr std::string_view kChildListClose = "</p:childTnLst>";
constexpr std::string_view kTimeNodeTag = "p:cTn";
constexpr std::string_view kSlideClose = "</p:sld>";

// The stretched image and the rectangle every media picture ends with.
void append_blip_fill_and_frame(std::string& xml, std::string_view image_relationship_id,
                                const EmuBox& box) {
  xml += "<p:blipFill><a:blip r:embed=\"";
  xml += xml_attr(image_relationship_id);
  xml += "\"/><a:stretch><a:fillRect/></a:stretch></p:blipFill><p:spPr>";
  append_xfrm(xml, box);
  xml += "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr></p:pic>";
}

// The largest `id` of any "p:cTn" start tag in the text that reads as an unsigned decimal; 0
// when none does.
std::uint64_t max_time_node_id(std::string_view xml) {
  std::uint64_t largest = 0;
  for_each_start_tag(xml, kTimeNodeTag, [&](std::string_view tag) {
    if (const auto value = tag_attribute(tag, "id")) {
      if (auto id = parse_u64(*value)) largest = std::max(largest, *id);
    }
  });
  return largest;
}

}  // namespace

std::string picture_xml(std::uint64_t shape_id, std::string_view relationship_id,
                        const EmuBox& box) {
  std::string xml;
  xml.reserve(480);
  xml += "<p:pic><p:nvPicPr>";
  append_new_shape_cnvpr(xml, shape_id, "Picture");
  xml += "<p:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></p:cNvPicPr><p:nvPr/></p:nvPicPr>";
  append_blip_fill_and_frame(xml, relationship_id, box);
  return xml;
}

std::string movie_picture_xml(std::uint64_t shape_id, const MovieArgs& args) {
  std::string xml;
  xml.reserve(900 + args.name.size());
  xml += "<p:pic><p:nvPicPr><p:cNvPr id=\"";
  xml += std::to_string(shape_id);
  xml += "\" name=\"";
  xml += xml_attr(args.name);
  xml +=
      "\"><a:hlinkClick r:id=\"\" action=\"ppaction://media\"/></p:cNvPr><p:cNvPicPr>"
      "<a:picLocks noChangeAspect=\"1\"/></p:cNvPicPr><p:nvPr><a:videoFile r:link=\"";
  xml += xml_attr(args.video_relationship_id);
  xml +=
      "\"/><p:extLst><p:ext uri=\"{DAA4B4D4-6D71-4841-9C94-3DE7FCFB9230}\">"
      "<p14:media xmlns:p14=\"";
  xml += kMediaExtensionNamespace;
  xml += "\" r:embed=\"";
  xml += xml_attr(args.media_relationship_id);
  xml += "\"/></p:ext></p:extLst></p:nvPr></p:nvPicPr>";
  append_blip_fill_and_frame(xml, args.poster_relationship_id, args.box);
  return xml;
}

std::string video_timing_node_xml(std::uint64_t node_id, std::uint64_t shape_id) {
  return "<p:video><p:cMediaNode vol=\"80000\"><p:cTn id=\"" + std::to_string(node_id) +
         "\" fill=\"hold\" display=\"0\"><p:stCondLst><p:cond delay=\"indefinite\"/>"
         "</p:stCondLst></p:cTn><p:tgtEl><p:spTgt spid=\"" +
         std::to_string(shape_id) + "\"/></p:tgtEl></p:cMediaNode></p:video>";
}

std::string new_timing_tree_xml(std::uint64_t shape_id) {
  return "<p:timing><p:tnLst><p:par><p:cTn id=\"1\" dur=\"indefinite\" restart=\"never\" "
         "nodeType=\"tmRoot\"><p:childTnLst>" +
         video_timing_node_xml(2, shape_id) +
         "</p:childTnLst></p:cTn></p:par></p:tnLst></p:timing>";
}

Result<std::string> add_video_timing_xml(std::string_view slide_xml, std::uint64_t shape_id) {
  const std::size_t timing = find_in_markup(slide_xml, kTimingOpen);
  if (timing != std::string_view::npos) {
    const std::size_t child_list_end = find_in_markup(slide_xml, kChildListClose, timing);
    if (child_list_end == std::string_view::npos) return std::string(slide_xml);
    const std::uint64_t node_id = max_time_node_id(slide_xml) + 1;
    return splice_text(slide_xml, child_list_end, 0, video_timing_node_xml(node_id, shape_id));
  }
  const std::size_t close = rfind_in_markup(slide_xml, kSlideClose);
  if (close == std::string_view::npos) {
    return fail(PelvaneError::invalid_input("slide XML is missing </p:sld>"));
  }
  const std::size_t slide_start = find_tag_start(slide_xml, 0, "p:sld").value_or(0);
  const std::size_t offset = before_trailing_ext_list(slide_xml, slide_start, close);
  return splice_text(slide_xml, offset, 0, new_timing_tree_xml(shape_id));
}

Result<std::string> ole_object_shape_xml(std::uint64_t shape_id, const OleObjectArgs& args) {
  PELVANE_TRY_VOID(check_xml_text(args.prog_id));
  const EmuBox& box = args.box;
  std::string xml;
  xml.reserve(1100 + args.prog_id.size());
  xml += "<p:graphicFrame><p:nvGraphicFramePr>";
  append_new_shape_cnvpr(xml, shape_id, "Object");
  xml +=
      "<p:cNvGraphicFramePr><a:graphicFrameLocks noGrp=\"1\"/></p:cNvGraphicFramePr>"
      "<p:nvPr/></p:nvGraphicFramePr><p:xfrm>";
  append_offset_extent(xml, box);
  xml += "</p:xfrm><a:graphic><a:graphicData uri=\"";
  xml += kOleGraphicDataUri;
  xml += "\"><p:oleObj showAsIcon=\"1\" r:id=\"";
  xml += xml_attr(args.ole_relationship_id);
  xml += "\" imgW=\"";
  xml += std::to_string(args.icon_cx);
  xml += "\" imgH=\"";
  xml += std::to_string(args.icon_cy);
  xml += "\" progId=\"";
  xml += xml_attr(args.prog_id);
  xml +=
      "\"><p:embed/><p:pic><p:nvPicPr><p:cNvPr id=\"0\" name=\"\"/><p:cNvPicPr/><p:nvPr/>"
      "</p:nvPicPr>";
  append_blip_fill_and_frame(xml, args.icon_relationship_id, box);
  xml += "</p:oleObj></a:graphicData></a:graphic></p:graphicFrame>";
  return xml;
}

}  // namespace pelvane
