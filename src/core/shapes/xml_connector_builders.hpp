// Connectors: straight, elbow and curved lines between a begin and an end point, either end
// optionally glued to a connection site of another shape; alone, or with two new auto shapes
// that it is glued to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/shapes/xml_auto_shape_builders.hpp"

namespace pelvane {

// "Connector" for "line", "bentConnector3" and "curvedConnector3" (byte for byte); any other
// preset is `InvalidInput` "unsupported connector preset geometry: {0}".
Result<std::string_view> connector_preset_geometry(std::string_view preset_geometry);

// Where one end of a connector is glued: a shape id and a connection site index of that shape.
// Neither is checked against the slide.
struct ConnectorEnd {
  std::uint64_t shape_id = 0;
  std::uint64_t site_index = 0;
};

// An end is glued exactly when its shape id is given, to the given site or to site 0; a site
// given without a shape id is ignored.
inline std::optional<ConnectorEnd> connector_end(std::optional<std::uint64_t> shape_id,
                                                 std::optional<std::uint64_t> site_index) {
  if (!shape_id) return std::nullopt;
  return ConnectorEnd{*shape_id, site_index.value_or(0)};
}

// A point of the slide, in EMU.
struct EmuPoint {
  std::uint64_t x = 0;
  std::uint64_t y = 0;
};

struct ConnectorArgs {
  std::string_view preset_geometry;
  EmuPoint from;                      // the begin point
  EmuPoint to;                        // the end point
  std::optional<ConnectorEnd> begin;  // written as `a:stCxn`
  std::optional<ConnectorEnd> end;    // written as `a:endCxn`
};

// The `p:cxnSp` fragment named "Connector {id - 1}": its box spans the two points, flipped
// horizontally when the begin lies right of the end and vertically when it lies below. Fails
// for a preset outside the three connector presets.
Result<std::string> connector_shape_xml(std::uint64_t shape_id, const ConnectorArgs& args);

// Two new auto shapes (no text, no guides) and a connector glued to both.
struct ConnectedShapesArgs {
  AutoShapeArgs begin_shape;
  AutoShapeArgs end_shape;
  ConnectorArgs connector;  // its ends are glued by the builder, to these sites:
  std::uint64_t begin_site_index = 0;
  std::uint64_t end_site_index = 0;
};

// The begin shape (`first_id`), the end shape (`first_id + 1`) and the connector
// (`first_id + 2`, glued to both), in this order. Fails for a preset outside its table.
Result<std::string> connected_connector_with_auto_shapes_xml(std::uint64_t first_id,
                                                             const ConnectedShapesArgs& args);

}  // namespace pelvane
