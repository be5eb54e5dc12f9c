#include "core/shapes/xml_auto_shape_builders.hpp"

#include <algorithm>
#include <array>

#include "core/pml/paragraph_writers.hpp"
#include "core/pml/xml_builders.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

struct PresetEntry {
  std::string_view preset;
  std::string_view display_name;
};

// Shorter names first, then byte order: the order the lookup searches in.
constexpr bool preset_before(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) return left.size() < right.size();
  return left < right;
}

// The shape presets of DrawingML without the line and connector presets. Presets without a
// display name of their own are shown as "Auto Shape".
constexpr std::array<PresetEntry, 177> kPresets{{
    {"arc", "Arc"},
    {"can", "Can"},
    {"pie", "Auto Shape"},
    {"sun", "Auto Shape"},
    {"cube", "Cube"},
    {"moon", "Auto Shape"},
    {"plus", "Cross"},
    {"rect", "Rectangle"},
    {"wave", "Auto Shape"},
    {"bevel", "Auto Shape"},
    {"chord", "Auto Shape"},
    {"cloud", "Cloud"},
    {"donut", "Donut"},
    {"frame", "Auto Shape"},
    {"gear6", "Auto Shape"},
    {"gear9", "Auto Shape"},
    {"heart", "Heart"},
    {"star4", "Auto Shape"},
    {"star5", "5-Point Star"},
    {"star6", "Auto Shape"},
    {"star7", "Auto Shape"},
    {"star8", "Auto Shape"},
    {"chartX", "Auto Shape"},
    {"corner", "Auto Shape"},
    {"funnel", "Auto Shape"},
    {"plaque", "Plaque"},
    {"ribbon", "Auto Shape"},
    {"star10", "Auto Shape"},
    {"star12", "Auto Shape"},
    {"star16", "Auto Shape"},
    {"star24", "Auto Shape"},
    {"star32", "Auto Shape"},
    {"chevron", "Chevron"},
    {"decagon", "Auto Shape"},
    {"diamond", "Diamond"},
    {"ellipse", "Oval"},
    {"hexagon", "Hexagon"},
    {"lineInv", "Auto Shape"},
    {"octagon", "Octagon"},
    {"ribbon2", "Auto Shape"},
    {"upArrow", "Up Arrow"},
    {"blockArc", "Block Arc"},
    {"callout1", "Auto Shape"},
    {"callout2", "Auto Shape"},
    {"callout3", "Auto Shape"},
    {"heptagon", "Auto Shape"},
    {"mathPlus", "Auto Shape"},
    {"pentagon", "Auto Shape"},
    {"pieWedge", "Auto Shape"},
    {"teardrop", "Auto Shape"},
    {"triangle", "Triangle"},
    {"bentArrow", "Auto Shape"},
    {"bracePair", "Auto Shape"},
    {"chartPlus", "Auto Shape"},
    {"chartStar", "Auto Shape"},
    {"dodecagon", "Auto Shape"},
    {"downArrow", "Down Arrow"},
    {"halfFrame", "Auto Shape"},
    {"homePlate", "Pentagon"},
    {"leftArrow", "Left Arrow"},
    {"leftBrace", "Auto Shape"},
    {"mathEqual", "Auto Shape"},
    {"mathMinus", "Auto Shape"},
    {"noSmoking", "No Symbol"},
    {"quadArrow", "Auto Shape"},
    {"roundRect", "Rounded Rectangle"},
    {"snip1Rect", "Auto Shape"},
    {"trapezoid", "Trapezoid"},
    {"cornerTabs", "Auto Shape"},
    {"diagStripe", "Auto Shape"},
    {"doubleWave", "Auto Shape"},
    {"mathDivide", "Auto Shape"},
    {"plaqueTabs", "Auto Shape"},
    {"rightArrow", "Right Arrow"},
    {"rightBrace", "Auto Shape"},
    {"round1Rect", "Auto Shape"},
    {"rtTriangle", "Right Triangle"},
    {"smileyFace", "Smiley Face"},
    {"squareTabs", "Auto Shape"},
    {"uturnArrow", "Auto Shape"},
    {"bentUpArrow", "Auto Shape"},
    {"bracketPair", "Auto Shape"},
    {"flowChartOr", "Auto Shape"},
    {"leftBracket", "Auto Shape"},
    {"leftUpArrow", "Auto Shape"},
    {"swooshArrow", "Auto Shape"},
    {"upDownArrow", "Auto Shape"},
    {"cloudCallout", "Auto Shape"},
    {"foldedCorner", "Auto Shape"},
    {"mathMultiply", "Auto Shape"},
    {"mathNotEqual", "Auto Shape"},
    {"rightBracket", "Auto Shape"},
    {"circularArrow", "Auto Shape"},
    {"curvedUpArrow", "Auto Shape"},
    {"ellipseRibbon", "Auto Shape"},
    {"flowChartSort", "Auto Shape"},
    {"lightningBolt", "Auto Shape"},
    {"parallelogram", "Parallelogram"},
    {"snip2DiagRect", "Auto Shape"},
    {"snip2SameRect", "Auto Shape"},
    {"snipRoundRect", "Auto Shape"},
    {"accentCallout1", "Auto Shape"},
    {"accentCallout2", "Auto Shape"},
    {"accentCallout3", "Auto Shape"},
    {"borderCallout1", "Auto Shape"},
    {"borderCallout2", "Line Callout 2"},
    {"borderCallout3", "Auto Shape"},
    {"ellipseRibbon2", "Auto Shape"},
    {"flowChartDelay", "Auto Shape"},
    {"flowChartMerge", "Auto Shape"},
    {"irregularSeal1", "Auto Shape"},
    {"irregularSeal2", "Auto Shape"},
    {"leftRightArrow", "Auto Shape"},
    {"round2DiagRect", "Auto Shape"},
    {"round2SameRect", "Auto Shape"},
    {"upArrowCallout", "Auto Shape"},
    {"verticalScroll", "Auto Shape"},
    {"actionButtonEnd", "Auto Shape"},
    {"curvedDownArrow", "Auto Shape"},
    {"curvedLeftArrow", "Auto Shape"},
    {"leftRightRibbon", "Left Right Ribbon"},
    {"actionButtonHelp", "Auto Shape"},
    {"actionButtonHome", "Auto Shape"},
    {"curvedRightArrow", "Auto Shape"},
    {"downArrowCallout", "Auto Shape"},
    {"flowChartCollate", "Auto Shape"},
    {"flowChartDisplay", "Auto Shape"},
    {"flowChartExtract", "Auto Shape"},
    {"flowChartProcess", "Flowchart Process"},
    {"horizontalScroll", "Auto Shape"},
    {"leftArrowCallout", "Auto Shape"},
    {"leftRightUpArrow", "Auto Shape"},
    {"quadArrowCallout", "Auto Shape"},
    {"wedgeRectCallout", "Auto Shape"},
    {"actionButtonBlank", "Auto Shape"},
    {"actionButtonMovie", "Auto Shape"},
    {"actionButtonSound", "Auto Shape"},
    {"flowChartDecision", "Flowchart Decision"},
    {"flowChartDocument", "Flowchart Document"},
    {"leftCircularArrow", "Auto Shape"},
    {"notchedRightArrow", "Auto Shape"},
    {"rightArrowCallout", "Auto Shape"},
    {"stripedRightArrow", "Auto Shape"},
    {"actionButtonReturn", "Auto Shape"},
    {"flowChartConnector", "Auto Shape"},
    {"upDownArrowCallout", "Auto Shape"},
    {"flowChartTerminator", "Auto Shape"},
    {"wedgeEllipseCallout", "Auto Shape"},
    {"accentBorderCallout1", "Auto Shape"},
    {"accentBorderCallout2", "Auto Shape"},
    {"accentBorderCallout3", "Auto Shape"},
    {"actionButtonDocument", "Auto Shape"},
    {"flowChartInputOutput", "Flowchart Data"},
    {"flowChartManualInput", "Auto Shape"},
    {"flowChartPreparation", "Auto Shape"},
    {"flowChartPunchedCard", "Auto Shape"},
    {"flowChartPunchedTape", "Auto Shape"},
    {"actionButtonBeginning", "Auto Shape"},
    {"flowChartMagneticDisk", "Auto Shape"},
    {"flowChartMagneticDrum", "Auto Shape"},
    {"flowChartMagneticTape", "Auto Shape"},
    {"leftRightArrowCallout", "Auto Shape"},
    {"nonIsoscelesTrapezoid", "Auto Shape"},
    {"wedgeRoundRectCallout", "Auto Shape"},
    {"flowChartMultidocument", "Auto Shape"},
    {"flowChartOnlineStorage", "Auto Shape"},
    {"leftRightCircularArrow", "Auto Shape"},
    {"actionButtonForwardNext", "Auto Shape"},
    {"actionButtonInformation", "Auto Shape"},
    {"flowChartOfflineStorage", "Flowchart Offline Storage"},
    {"actionButtonBackPrevious", "Auto Shape"},
    {"flowChartInternalStorage", "Auto Shape"},
    {"flowChartManualOperation", "Auto Shape"},
    {"flowChartSummingJunction", "Auto Shape"},
    {"flowChartAlternateProcess", "Auto Shape"},
    {"flowChartOffpageConnector", "Auto Shape"},
    {"flowChartPredefinedProcess", "Auto Shape"},
}};

static_assert(std::is_sorted(kPresets.begin(), kPresets.end(),
                             [](const PresetEntry& a, const PresetEntry& b) {
                               return preset_before(a.preset, b.preset);
                             }));

// Sorted by length first, so the ends of the table bound the lengths worth looking up.
constexpr std::size_t kShortestPreset = kPresets.front().preset.size();
constexpr std::size_t kLongestPreset = kPresets.back().preset.size();

}  // namespace

Result<std::string_view> auto_shape_display_name(std::string_view preset_geometry) {
  if (preset_geometry.size() >= kShortestPreset && preset_geometry.size() <= kLongestPreset) {
    auto found = std::lower_bound(kPresets.begin(), kPresets.end(), preset_geometry,
                                  [](const PresetEntry& entry, std::string_view name) {
                                    return preset_before(entry.preset, name);
                                  });
    if (found != kPresets.end() && found->preset == preset_geometry) return found->display_name;
  }
  std::string message = "unsupported auto shape preset geometry: ";
  message += preset_geometry;
  return fail(PelvaneError::invalid_input(std::move(message)));
}

std::string adjustment_guides_xml(std::span<const AdjustmentGuide> guides) {
  std::string xml;
  for (const AdjustmentGuide& guide : guides) {
    xml += "<a:gd name=\"";
    xml += xml_attr(guide.name);
    xml += "\" fmla=\"val ";
    xml += std::to_string(guide.value);
    xml += "\"/>";
  }
  return xml;
}

Result<std::string> styled_shape_paragraphs(std::optional<std::string_view> text) {
  if (!text) return std::string("<a:p><a:pPr algn=\"ctr\"/></a:p>");
  return replacement_paragraphs_xml(*text);
}

void append_styled_shape_end(std::string& xml, std::string_view paragraphs) {
  xml +=
      "</p:spPr><p:style><a:lnRef idx=\"1\"><a:schemeClr val=\"accent1\"/></a:lnRef>"
      "<a:fillRef idx=\"3\"><a:schemeClr val=\"accent1\"/></a:fillRef>"
      "<a:effectRef idx=\"2\"><a:schemeClr val=\"accent1\"/></a:effectRef>"
      "<a:fontRef idx=\"minor\"><a:schemeClr val=\"lt1\"/></a:fontRef></p:style>"
      "<p:txBody><a:bodyPr rtlCol=\"0\" anchor=\"ctr\"/><a:lstStyle/>";
  xml += paragraphs;
  xml += "</p:txBody></p:sp>";
}

Result<std::string> auto_shape_xml(std::uint64_t shape_id, std::string_view display_name,
                                   const AutoShapeArgs& args) {
  PELVANE_TRY(auto_shape_display_name(args.preset_geometry));
  const std::string body = PELVANE_TRY(styled_shape_paragraphs(args.text));
  // Guide names are caller text too; escaping cannot make every character well-formed.
  for (const AdjustmentGuide& guide : args.adjustment_guides) {
    PELVANE_TRY_VOID(check_xml_text(guide.name));
  }
  std::string guides = adjustment_guides_xml(args.adjustment_guides);

  std::string xml;
  xml.reserve(900 + display_name.size() + guides.size() + body.size());
  append_shape_start(xml, shape_id, display_name, "<p:cNvSpPr/>", args.box);
  xml += "<a:prstGeom prst=\"";
  xml += args.preset_geometry;
  xml += "\"><a:avLst>";
  xml += guides;
  xml += "</a:avLst></a:prstGeom>";
  append_styled_shape_end(xml, body);
  return xml;
}

}  // namespace pelvane
