// Media fragments written byte for byte, and where a movie's timing node goes.
#include <gtest/gtest.h>
#include <string>
#include <string_view>

#include "core/media/xml_media_builders.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kFrame =
    "<p:spPr><a:xfrm><a:off x=\"1\" y=\"2\"/><a:ext cx=\"18446744073709551615\" cy=\"0\"/>"
    "</a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr></p:pic>";
const EmuBox kBox{1, 2, 18446744073709551615ull, 0};

std::string blip(std::string_view id) {
  return "<p:blipFill><a:blip r:embed=\"" + std::string(id) +
         "\"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>" + std::string(kFrame);
}

TEST(MediaFragments, Picture) {
  EXPECT_EQ(picture_xml(8, "rId3", kBox),
            "<p:pic><p:nvPicPr><p:cNvPr id=\"8\" name=\"Picture 7\"/><p:cNvPicPr><a:picLocks "
            "noChangeAspect=\"1\"/></p:cNvPicPr><p:nvPr/></p:nvPicPr>" +
                blip("rId3"));
}

TEST(MediaFragments, MoviePictureAndTiming) {
  const MovieArgs args{"rId5", "rId4", "rId6", "A&B <\"x\"> 'q'.mp4", kBox};
  EXPECT_EQ(movie_picture_xml(5, args),
            "<p:pic><p:nvPicPr><p:cNvPr id=\"5\" name=\"A&amp;B &lt;&quot;x&quot;&gt; "
            "'q'.mp4\"><a:hlinkClick r:id=\"\" action=\"ppaction://media\"/></p:cNvPr>"
            "<p:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></p:cNvPicPr><p:nvPr><a:videoFile "
            "r:link=\"rId5\"/><p:extLst><p:ext uri=\"{DAA4B4D4-6D71-4841-9C94-3DE7FCFB9230}\">"
            "<p14:media xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\" "
            "r:embed=\"rId4\"/></p:ext></p:extLst></p:nvPr></p:nvPicPr>" +
                blip("rId6"));
  EXPECT_EQ(video_timing_node_xml(8, 5),
            "<p:video><p:cMediaNode vol=\"80000\"><p:cTn id=\"8\" fill=\"hold\" display=\"0\">"
            "<p:stCondLst><p:cond delay=\"indefinite\"/></p:stCondLst></p:cTn><p:tgtEl><p:spTgt "
            "spid=\"5\"/></p:tgtEl></p:cMediaNode></p:video>");
  EXPECT_EQ(new_timing_tree_xml(5),
            "<p:timing><p:tnLst><p:par><p:cTn id=\"1\" dur=\"indefinite\" restart=\"never\" "
            "nodeType=\"tmRoot\"><p:childTnLst>" +
                video_timing_node_xml(2, 5) +
                "</p:childTnLst></p:cTn></p:par></p:tnLst></p:timing>");
}

TEST(MediaFragments, ObjectFrameAndItsIcon) {
  const OleObjectArgs args{"rId8", "rId9", "Pkg&<>\"'", kBox, 0, 0};
  EXPECT_EQ(ole_object_shape_xml(6, args).value(),
            "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"6\" name=\"Object 5\"/>"
            "<p:cNvGraphicFramePr><a:graphicFrameLocks noGrp=\"1\"/></p:cNvGraphicFramePr>"
            "<p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off x=\"1\" y=\"2\"/><a:ext "
            "cx=\"18446744073709551615\" cy=\"0\"/></p:xfrm><a:graphic><a:graphicData "
            "uri=\"http://schemas.openxmlformats.org/presentationml/2006/ole\"><p:oleObj "
            "showAsIcon=\"1\" r:id=\"rId8\" imgW=\"0\" imgH=\"0\" "
            "progId=\"Pkg&amp;&lt;&gt;&quot;'\"><p:embed/><p:pic><p:nvPicPr><p:cNvPr id=\"0\" "
            "name=\"\"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr>" +
                blip("rId9") + "</p:oleObj></a:graphicData></a:graphic></p:graphicFrame>");
  EXPECT_TRUE(ole_object_shape_xml(0, {"rId1", "rId2", "Package", kBox, 3, 4})
                  ->starts_with("<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"0\" "
                                "name=\"Object 0\"/>"));
  EXPECT_EQ(ole_object_shape_xml(1, {"rId1", "rId2", "bell\a", kBox, 0, 0}).error().to_string(),
            "invalid input: text contains a character that XML cannot hold: U+0007");
}

TEST(MovieTiming, WhereTheVideoNodeGoes) {
  const std::string node7 = video_timing_node_xml(7, 3);
  const std::string tree = new_timing_tree_xml(3);
  const std::string ext = "<p:extLst><p:ext uri=\"{X}\"><p14:x/></p:ext></p:extLst>";
  // A timing tree whose nodes 1 to 6 sit in nested child lists.
  const std::string timing =
      "<p:timing><p:tnLst><p:par><p:cTn id=\"1\"><p:childTnLst><p:seq><p:cTn id=\"+5\">"
      "<p:childTnLst><p:par><p:cTn id=\"6\"/></p:par>";
  const std::string timing_end =
      "</p:childTnLst></p:cTn></p:seq></p:childTnLst></p:cTn>"
      "</p:par></p:tnLst></p:timing>";
  const std::pair<std::string, std::string> rows[] = {
      {"<p:sld><p:cSld/></p:sld>", "<p:sld><p:cSld/>" + tree + "</p:sld>"},
      {"<p:sld><p:cSld/><p:transition/></p:sld>",
       "<p:sld><p:cSld/><p:transition/>" + tree + "</p:sld>"},
      {"<p:sld><p:cSld/>" + ext + "</p:sld>", "<p:sld><p:cSld/>" + tree + ext + "</p:sld>"},
      {"<p:sld><p:cSld/><p:extLst/> <!-- c --></p:sld>",
       "<p:sld><p:cSld/>" + tree + "<p:extLst/> <!-- c --></p:sld>"},
      {"<p:sld><p:cSld/>" + timing + timing_end + "</p:sld>",
       "<p:sld><p:cSld/>" + timing + node7 + timing_end + "</p:sld>"},
      // Ids that are not unsigned decimals do not count.
      {"<p:cTn id=\"x\"/><p:cTn id=\"-1\"/><p:cTn id=\"18446744073709551616\"/><p:cTn id=\"\"/>"
       "<p:timing><p:childTnLst><p:cTn id=\"6\"/></p:childTnLst>",
       "<p:cTn id=\"x\"/><p:cTn id=\"-1\"/><p:cTn id=\"18446744073709551616\"/><p:cTn id=\"\"/>"
       "<p:timing><p:childTnLst><p:cTn id=\"6\"/>" +
           node7 + "</p:childTnLst>"},
      // A timing tree without a child list gets no node.
      {"<p:sld><p:timing><p:tnLst/></p:timing></p:sld>",
       "<p:sld><p:timing><p:tnLst/></p:timing></p:sld>"},
  };
  for (const auto& [slide, expected] : rows)
    EXPECT_EQ(add_video_timing_xml(slide, 3).value(), expected) << slide;
  EXPECT_EQ(add_video_timing_xml("<p:sld><p:cSld/>", 3).error().to_string(),
            "invalid input: slide XML is missing </p:sld>");
}

}  // namespace
}  // namespace pelvane
