#include "core/shapes/connector_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_connector_builders.hpp"

namespace pelvane {

namespace {

ConnectorAddSummary connector_record(std::string_view output, std::string_view preset_geometry,
                                     const Edited<std::uint64_t>& edited) {
  ConnectorAddSummary record;
  record.preset_geometry = std::string(preset_geometry);
  return shape_record(output, edited, std::move(record));
}

}  // namespace

Result<ConnectorAddSummary> add_slide_connector_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view preset_geometry, std::uint64_t begin_x_emu,
    std::uint64_t begin_y_emu, std::uint64_t end_x_emu, std::uint64_t end_y_emu,
    std::optional<std::uint64_t> begin_shape_id, std::optional<std::uint64_t> begin_cxn_pt_idx,
    std::optional<std::uint64_t> end_shape_id, std::optional<std::uint64_t> end_cxn_pt_idx) {
  const ConnectorArgs args{preset_geometry,
                           {begin_x_emu, begin_y_emu},
                           {end_x_emu, end_y_emu},
                           connector_end(begin_shape_id, begin_cxn_pt_idx),
                           connector_end(end_shape_id, end_cxn_pt_idx)};
  // A refused preset touches nothing on disk.
  PELVANE_TRY(connector_preset_geometry(args.preset_geometry));
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return connector_shape_xml(shape_id, args); }));
  return connector_record(output, args.preset_geometry, edited);
}

Result<ConnectorAddSummary> add_slide_connected_connector_with_auto_shapes_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view begin_preset_geometry,
    std::uint64_t begin_x_emu, std::uint64_t begin_y_emu, std::uint64_t begin_cx_emu,
    std::uint64_t begin_cy_emu, std::string_view end_preset_geometry, std::uint64_t end_x_emu,
    std::uint64_t end_y_emu, std::uint64_t end_cx_emu, std::uint64_t end_cy_emu,
    std::string_view connector_preset_geometry, std::uint64_t connector_begin_x_emu,
    std::uint64_t connector_begin_y_emu, std::uint64_t connector_end_x_emu,
    std::uint64_t connector_end_y_emu, std::uint64_t begin_cxn_pt_idx,
    std::uint64_t end_cxn_pt_idx) {
  // The two shapes carry no text and no guides.
  const ConnectedShapesArgs args{
      AutoShapeArgs{begin_preset_geometry,
                    {begin_x_emu, begin_y_emu, begin_cx_emu, begin_cy_emu},
                    std::nullopt,
                    {}},
      AutoShapeArgs{
          end_preset_geometry, {end_x_emu, end_y_emu, end_cx_emu, end_cy_emu}, std::nullopt, {}},
      ConnectorArgs{connector_preset_geometry,
                    {connector_begin_x_emu, connector_begin_y_emu},
                    {connector_end_x_emu, connector_end_y_emu},
                    std::nullopt,
                    std::nullopt},
      begin_cxn_pt_idx, end_cxn_pt_idx};
  PELVANE_TRY(auto_shape_display_name(args.begin_shape.preset_geometry));
  PELVANE_TRY(auto_shape_display_name(args.end_shape.preset_geometry));
  // Qualified: the parameter of the same name hides the check.
  PELVANE_TRY(pelvane::connector_preset_geometry(args.connector.preset_geometry));
  constexpr std::uint64_t kIds = 3;  // the begin shape, the end shape, the connector
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t first_id) {
        return connected_connector_with_auto_shapes_xml(first_id, args);
      },
      kIds));
  return connector_record(output, args.connector.preset_geometry, edited);
}

}  // namespace pelvane
