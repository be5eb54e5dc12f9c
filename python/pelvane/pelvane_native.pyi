# Typed signatures of the native module's functions, in registration order. Every function
# returns pretty-printed JSON text (``update_workbook_cells`` returns the changed workbook as
# bytes) and raises RuntimeError with the engine's message on failure.

from collections.abc import Sequence

__all__: list[str]

def build_info_json() -> str: ...
def inspect_package_json(path: str) -> str: ...
def summarize_presentation_json(path: str) -> str: ...
def summarize_slide_at_index_json(path: str, slide_index: int) -> str: ...
def roundtrip_package_json(input: str, output: str) -> str: ...
def add_blank_slide_json(input: str, output: str) -> str: ...
def add_blank_slide_with_layout_json(input: str, output: str, layout_index: int) -> str: ...
def duplicate_slide_json(input: str, output: str, source_slide_part: str) -> str: ...
def delete_slide_json(input: str, output: str, target_slide_part: str) -> str: ...
def delete_slides_json(
    input: str, output: str, target_slide_parts: Sequence[str],
    ordered_survivor_parts: Sequence[str] | None = None,
) -> str: ...

# Text in slides: search and replace, run, shape and paragraph text.
def replace_slide_text_json(input: str, output: str, search: str, replacement: str) -> str: ...
def replace_slide_text_at_index_json(
    input: str, output: str, slide_index: int, search: str, replacement: str,
) -> str: ...
def replace_slide_text_run_at_index_json(
    input: str, output: str, slide_index: int, run_index: int, replacement: str,
) -> str: ...
def set_slide_shape_text_at_index_json(
    input: str, output: str, slide_index: int, shape_index: int, replacement: str,
) -> str: ...
def set_slide_shape_paragraph_text_at_index_json(
    input: str, output: str, slide_index: int, shape_index: int, paragraph_index: int,
    replacement: str,
) -> str: ...

# Tables: the text of one cell, a new table with or without cell texts.
def replace_table_cell_text_json(
    input: str, output: str, slide_index: int, table_index: int, row_index: int, col_index: int,
    replacement: str,
) -> str: ...
def add_slide_table_json(
    input: str, output: str, slide_index: int, rows: int, cols: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_table_with_cell_texts_json(
    input: str, output: str, slide_index: int, rows: int, cols: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, cell_texts_json: str,
) -> str: ...

# Embedded workbooks: cells written into a sheet.
def update_workbook_cells(xlsx: bytes, sheet_name: str, cells_json: str) -> bytes: ...

# Media: image replacement, pictures, movies and embedded objects.
def replace_slide_image_json(input: str, output: str, relationship_id: str, image_path: str) -> str: ...
def replace_slide_image_at_index_json(
    input: str, output: str, slide_index: int, relationship_id: str, image_path: str,
) -> str: ...
def add_slide_image_json(
    input: str, output: str, slide_index: int, image_path: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_group_image_json(
    input: str, output: str, slide_index: int, group_index: int, image_path: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_nested_group_image_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    image_path: str, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_deeper_nested_group_image_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, image_path: str, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_nested_group_image_in_new_group_json(
    input: str, output: str, slide_index: int, group_index: int, image_path: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_movie_json(
    input: str, output: str, slide_index: int, movie_path: str, poster_frame_path: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, mime_type: str,
) -> str: ...
def add_slide_ole_object_json(
    input: str, output: str, slide_index: int, object_path: str, prog_id: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, icon_path: str | None,
    icon_cx_emu: int, icon_cy_emu: int,
) -> str: ...
def add_slide_group_ole_object_json(
    input: str, output: str, slide_index: int, group_index: int, object_path: str, prog_id: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, icon_path: str | None,
    icon_cx_emu: int, icon_cy_emu: int,
) -> str: ...
def add_slide_nested_group_ole_object_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    object_path: str, prog_id: str, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
    icon_path: str | None, icon_cx_emu: int, icon_cy_emu: int,
) -> str: ...
def add_slide_deeper_nested_group_ole_object_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, object_path: str, prog_id: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, icon_path: str | None,
    icon_cx_emu: int, icon_cy_emu: int,
) -> str: ...
def add_slide_nested_group_ole_object_in_new_group_json(
    input: str, output: str, slide_index: int, group_index: int, object_path: str, prog_id: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, icon_path: str | None,
    icon_cx_emu: int, icon_cy_emu: int,
) -> str: ...

# Placeholders on a slide (shape functions).
def add_slide_placeholder_shape_json(
    input: str, output: str, slide_index: int, placeholder_type: str, placeholder_orient: str,
    placeholder_size: str | None, placeholder_idx: str | None,
) -> str: ...
def add_slide_placeholder_shapes_json(
    input: str, output: str, slide_index: int, placeholders_json: str,
) -> str: ...
def add_slide_layout_placeholders_json(
    input: str, output: str, slide_index: int, layout_index: int,
) -> str: ...

# Auto shapes on a slide (shape functions).
def add_slide_auto_shape_json(
    input: str, output: str, slide_index: int, preset_geometry: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_auto_shape_with_text_json(
    input: str, output: str, slide_index: int, preset_geometry: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_auto_shape_with_options_json(
    input: str, output: str, slide_index: int, preset_geometry: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str | None,
    adjustment_guides_json: str,
) -> str: ...

# Connectors on a slide (shape functions).
def add_slide_connector_json(
    input: str, output: str, slide_index: int, preset_geometry: str,
    begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
) -> str: ...
def add_slide_connected_connector_json(
    input: str, output: str, slide_index: int, preset_geometry: str,
    begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
    begin_shape_id: int | None, begin_cxn_pt_idx: int | None,
    end_shape_id: int | None, end_cxn_pt_idx: int | None,
) -> str: ...
def add_slide_connected_connector_with_auto_shapes_json(
    input: str, output: str, slide_index: int,
    begin_preset_geometry: str, begin_x_emu: int, begin_y_emu: int, begin_cx_emu: int,
    begin_cy_emu: int, end_preset_geometry: str, end_x_emu: int, end_y_emu: int, end_cx_emu: int,
    end_cy_emu: int, connector_preset_geometry: str, connector_begin_x_emu: int,
    connector_begin_y_emu: int, connector_end_x_emu: int, connector_end_y_emu: int,
    begin_cxn_pt_idx: int, end_cxn_pt_idx: int,
) -> str: ...

# Text boxes.
def add_slide_text_box_json(
    input: str, output: str, slide_index: int, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
) -> str: ...
def add_slide_text_box_with_text_json(
    input: str, output: str, slide_index: int, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
    text: str,
) -> str: ...
def add_slide_group_text_box_with_text_json(
    input: str, output: str, slide_index: int, group_index: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_nested_group_text_box_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_deeper_nested_group_text_box_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_nested_group_text_box_in_new_group_with_text_json(
    input: str, output: str, slide_index: int, group_index: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...

# Auto shapes inside groups.
def add_slide_group_auto_shape_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, preset_geometry: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_nested_group_auto_shape_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    preset_geometry: str, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_deeper_nested_group_auto_shape_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, preset_geometry: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...
def add_slide_nested_group_auto_shape_in_new_group_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, preset_geometry: str,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, text: str,
) -> str: ...

# Connectors inside groups.
def add_slide_group_connector_json(
    input: str, output: str, slide_index: int, group_index: int, preset_geometry: str,
    begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
) -> str: ...
def add_slide_connected_group_connector_json(
    input: str, output: str, slide_index: int, group_index: int, preset_geometry: str,
    begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
    begin_shape_id: int | None, begin_cxn_pt_idx: int | None,
    end_shape_id: int | None, end_cxn_pt_idx: int | None,
) -> str: ...
def add_slide_connected_group_connector_with_auto_shapes_json(
    input: str, output: str, slide_index: int, group_index: int,
    begin_preset_geometry: str, begin_x_emu: int, begin_y_emu: int, begin_cx_emu: int,
    begin_cy_emu: int, end_preset_geometry: str, end_x_emu: int, end_y_emu: int, end_cx_emu: int,
    end_cy_emu: int, connector_preset_geometry: str, connector_begin_x_emu: int,
    connector_begin_y_emu: int, connector_end_x_emu: int, connector_end_y_emu: int,
    begin_cxn_pt_idx: int, end_cxn_pt_idx: int,
) -> str: ...
def add_slide_nested_group_connector_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    preset_geometry: str, begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
) -> str: ...
def add_slide_deeper_nested_group_connector_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, preset_geometry: str,
    begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
) -> str: ...
def add_slide_nested_group_connector_in_new_group_json(
    input: str, output: str, slide_index: int, group_index: int, preset_geometry: str,
    begin_x_emu: int, begin_y_emu: int, end_x_emu: int, end_y_emu: int,
) -> str: ...

# Empty groups and groups gathered from existing children.
def add_slide_group_shape_json(input: str, output: str, slide_index: int) -> str: ...
def add_slide_nested_group_shape_json(
    input: str, output: str, slide_index: int, group_index: int,
) -> str: ...
def add_slide_group_shape_to_nested_group_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
) -> str: ...
def add_slide_group_shape_to_deeper_nested_group_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int,
) -> str: ...
def group_slide_existing_group_children_json(
    input: str, output: str, slide_index: int, group_index: int,
    child_indices: Sequence[int],
) -> str: ...
def group_slide_existing_nested_group_children_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    child_indices: Sequence[int],
) -> str: ...
def group_slide_existing_deeper_nested_group_children_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, child_indices: Sequence[int],
) -> str: ...

# Freeform shapes: signed frame and path frame, then the path steps as JSON.
def add_slide_freeform_shape_json(
    input: str, output: str, slide_index: int, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
    path_w: int, path_h: int, operations_json: str,
) -> str: ...
def add_slide_freeform_shape_with_text_json(
    input: str, output: str, slide_index: int, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
    path_w: int, path_h: int, operations_json: str, text: str,
) -> str: ...
def add_slide_group_freeform_shape_with_text_json(
    input: str, output: str, slide_index: int, group_index: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, path_w: int, path_h: int,
    operations_json: str, text: str,
) -> str: ...
def add_slide_nested_group_freeform_shape_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, path_w: int, path_h: int,
    operations_json: str, text: str,
) -> str: ...
def add_slide_deeper_nested_group_freeform_shape_with_text_json(
    input: str, output: str, slide_index: int, group_index: int, nested_group_child_index: int,
    deeper_group_child_index: int, x_emu: int, y_emu: int, cx_emu: int, cy_emu: int,
    path_w: int, path_h: int, operations_json: str, text: str,
) -> str: ...
def add_slide_nested_group_freeform_shape_in_new_group_with_text_json(
    input: str, output: str, slide_index: int, group_index: int,
    x_emu: int, y_emu: int, cx_emu: int, cy_emu: int, path_w: int, path_h: int,
    operations_json: str, text: str,
) -> str: ...

# Many edits of one package in one pass.
def apply_edit_batch_json(input: str, output: str, edits_json: str) -> str:
    """Apply a JSON list of edit operations to ``input`` and write ``output`` once.

    Either every edit applies or nothing is written. Deletions (``delete_shape``,
    ``delete_group_shape_child``) run after every other edit of their slide, so every edit of
    the list, including one listed after a ``delete_shape``, addresses shapes by their indexes
    before any deletion. At most one ``reorder_slides`` per batch.
    """
