"""Runs the module's functions on a generated sample deck and prints what they return.

Writes the sample deck, every output package and every JSON result under build/demo/.
Each step names one module function; a step whose function the module lacks fails the demo.
The demo ends with a tally of the functions it called and names those it has no step for:
variants that add a shape it already shows at a target it already shows (an auto shape without
text or with options, a text box without text, text boxes and auto shapes inside groups).
To show a new function, append a ``Step`` to ``STEPS``: its ``args`` gets
the ``Demo`` context and returns the positional arguments of the call.
"""

from __future__ import annotations

import io
import json
import shutil
import sys
import zipfile
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path
from xml.etree import ElementTree

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "fixtures"))

import pelvane.pelvane_native as native  # noqa: E402
from deck_builder import (  # noqa: E402
    CHART_WORKBOOK,
    build_chart_deck,
    build_deck,
    png_bytes,
    text_box_xml,
    title_shape_xml,
)


@dataclass
class Demo:
    """Paths the steps work with; every output goes to ``out``."""

    out: Path
    deck: Path
    image: Path
    outputs: dict[str, Path] = field(default_factory=dict)

    def output(self, name: str) -> str:
        """A fresh output path under build/demo/, remembered under ``name``."""
        path = self.out / name
        self.outputs[name] = path
        return str(path)


@dataclass
class Step:
    function: str
    args: Callable[[Demo], tuple] = lambda demo: ()
    note: str = ""
    # Turns a result that is not JSON text into what is printed.
    show: Callable[[Demo, object], str] | None = None


INCH = 914400  # EMU

# The 3x3 table of teams the demo adds twice (to the deck, and to the input of the edit batch):
# its rows and columns, place and size, and its cell texts.
TEAM_TABLE = (
    3,
    3,
    838200,
    4572000,
    6096000,
    1371600,
    json.dumps(
        [
            [0, 0, "Team"],
            [0, 1, "Lead"],
            [0, 2, "Size"],
            [1, 0, "Design"],
            [1, 1, "Ana"],
            [1, 2, "4"],
            [2, 0, "Build"],
            [2, 1, "Ravi"],
            [2, 2, "7"],
        ]
    ),
)


STEPS: list[Step] = [
    Step("build_info_json", note="build profile and version"),
    Step("inspect_package_json", lambda d: (str(d.deck),), "manifest of the sample deck"),
    Step(
        "roundtrip_package_json",
        lambda d: (str(d.deck), d.output("roundtrip.pptx")),
        "unchanged copy of the sample deck, with its manifest",
    ),
    Step(
        "summarize_presentation_json",
        lambda d: (str(d.deck),),
        "every slide of the sample deck: texts, shapes through groups, tables, notes",
    ),
    Step(
        "summarize_slide_at_index_json",
        lambda d: (str(d.deck), 2),
        "slide 3 of the sample deck alone",
    ),
    # Slides and placeholders, each step editing the previous step's output: a blank slide on
    # the layout of the first slide, a blank slide on layout 2, then placeholders on that slide;
    # last, the placeholders of layout 1 on slide 3 of the sample deck.
    Step(
        "add_blank_slide_json",
        lambda d: (str(d.deck), d.output("slides-1-blank.pptx")),
        "a fourth slide on the layout of the first, with its empty placeholders",
    ),
    Step(
        "add_blank_slide_with_layout_json",
        lambda d: (str(d.outputs["slides-1-blank.pptx"]), d.output("slides-2-layout.pptx"), 1),
        "a fifth slide on layout 2 (Title and Content), the second in natural order",
    ),
    Step(
        "add_slide_placeholder_shape_json",
        lambda d: (
            str(d.outputs["slides-2-layout.pptx"]),
            d.output("slides-3-placeholder.pptx"),
            4,
            "body",
            "vert",
            None,
            "13",
        ),
        "a vertical text placeholder on slide 5",
    ),
    Step(
        "add_slide_placeholder_shapes_json",
        lambda d: (
            str(d.outputs["slides-3-placeholder.pptx"]),
            d.output("slides-4-placeholders.pptx"),
            4,
            (
                '[{"placeholder_type": "dt", "placeholder_size": "half", "placeholder_idx": "10"},'
                ' {"placeholder_type": "sldNum", "placeholder_size": "quarter", "placeholder_idx": "12"}]'
            ),
        ),
        "a date and a slide-number placeholder on slide 5, from JSON",
    ),
    Step(
        "add_slide_layout_placeholders_json",
        lambda d: (str(d.deck), d.output("slides-5-layout-placeholders.pptx"), 2, 0),
        "the placeholders of layout 1 (Title Slide) on slide 3",
    ),
    # Copying and deleting slides: slide 1 copied with its notes; slide 2 deleted with the two
    # pictures only it shows; then two slides of the copy's deck deleted, the rest reordered.
    Step(
        "duplicate_slide_json",
        lambda d: (str(d.deck), d.output("slides-6-duplicate.pptx"), "ppt/slides/slide1.xml"),
        "slide 1 copied as slide 4, with a copy of its notes slide",
    ),
    Step(
        "delete_slide_json",
        lambda d: (str(d.deck), d.output("slides-7-deleted.pptx"), "ppt/slides/slide2.xml"),
        "slide 2 deleted, and the two pictures no other slide shows with it",
    ),
    Step(
        "delete_slides_json",
        lambda d: (
            str(d.outputs["slides-6-duplicate.pptx"]),
            d.output("slides-8-deleted-reordered.pptx"),
            ["ppt/slides/slide1.xml", "ppt/slides/slide3.xml"],
            ["ppt/slides/slide4.xml", "ppt/slides/slide2.xml"],
        ),
        "slides 1 and 3 of the copy's deck deleted, the copy put before slide 2",
    ),
    # Shapes, each step editing the previous step's output: a titled rectangle on slide 1, an
    # ellipse inside the group of slide 3, a text box on slide 1.
    Step(
        "add_slide_auto_shape_with_text_json",
        lambda d: (
            str(d.deck),
            d.output("shapes-1-rectangle.pptx"),
            0,
            "rect",
            7315200,
            4572000,
            3657600,
            1371600,
            "Target: +12%",
        ),
        "a rectangle with a title on slide 1",
    ),
    Step(
        "add_slide_group_auto_shape_with_text_json",
        lambda d: (
            str(d.outputs["shapes-1-rectangle.pptx"]),
            d.output("shapes-2-ellipse.pptx"),
            2,
            0,
            "ellipse",
            8229600,
            1828800,
            1828800,
            1828800,
            "Owner",
        ),
        "an ellipse inside the group of slide 3",
    ),
    Step(
        "add_slide_text_box_with_text_json",
        lambda d: (
            str(d.outputs["shapes-2-ellipse.pptx"]),
            d.output("shapes-3-text-box.pptx"),
            0,
            838200,
            5943600,
            6096000,
            457200,
            "Source: finance, Q3",
        ),
        "a text box on slide 1",
    ),
    # A diagram, each step editing the previous step's output: connectors, an empty group and
    # freeforms on slide 1; on slide 3 groups nested three deep inside its group, connectors and
    # freeforms at every depth, then shapes of each depth gathered into new groups.
    Step(
        "add_slide_connector_json",
        lambda d: (*diagram(d, 1), 0, "line", 838200, 6400800, 11353800, 6400800),
        "a line under the text of slide 1",
    ),
    Step(
        "add_slide_connected_connector_json",
        lambda d: (
            *diagram(d, 2),
            0,
            "bentConnector3",
            6096000,
            1371600,
            6096000,
            1825625,
            2,
            2,
            3,
            0,
        ),
        "an elbow connector from the title (id 2) to the text box (id 3)",
    ),
    Step(
        "add_slide_connected_connector_with_auto_shapes_json",
        lambda d: (
            *diagram(d, 3),
            0,
            "rect",
            7315200,
            4572000,
            1371600,
            685800,
            "ellipse",
            9601200,
            5486400,
            1371600,
            685800,
            "curvedConnector3",
            8001000,
            5257800,
            9601200,
            5829300,
            2,
            1,
        ),
        "a rectangle and an ellipse joined by a curved connector",
    ),
    Step("add_slide_group_shape_json", lambda d: (*diagram(d, 4), 0), "an empty group on slide 1"),
    Step(
        "add_slide_freeform_shape_json",
        lambda d: (*diagram(d, 5), 0, 838200, 5029200, 914400, 914400, 100, 100, TRIANGLE),
        "a triangle drawn as a freeform",
    ),
    Step(
        "add_slide_freeform_shape_with_text_json",
        lambda d: (*diagram(d, 6), 0, 2057400, 5029200, 914400, 914400, 100, 100, TRIANGLE, "Go"),
        "a freeform triangle with a text",
    ),
    Step(
        "add_slide_nested_group_shape_json",
        lambda d: (*diagram(d, 7), 2, 0),
        "an empty group inside the group of slide 3 (its child 1)",
    ),
    Step(
        "add_slide_group_shape_to_nested_group_json",
        lambda d: (*diagram(d, 8), 2, 0, 1),
        "an empty group inside that one (child 0 of it)",
    ),
    Step(
        "add_slide_group_shape_to_deeper_nested_group_json",
        lambda d: (*diagram(d, 9), 2, 0, 1, 0),
        "an empty group three levels down",
    ),
    Step(
        "add_slide_group_connector_json",
        lambda d: (*diagram(d, 10), 2, 0, "line", 838200, 6248400, 6096000, 6248400),
        "a line inside the group of slide 3",
    ),
    Step(
        "add_slide_connected_group_connector_json",
        lambda d: (
            *diagram(d, 11),
            2,
            0,
            "line",
            6096000,
            6248400,
            11353800,
            6248400,
            3,
            None,
            None,
            None,
        ),
        "a line inside the group, its begin glued to the plan (id 3)",
    ),
    Step(
        "add_slide_connected_group_connector_with_auto_shapes_json",
        lambda d: (
            *diagram(d, 12),
            2,
            0,
            "roundRect",
            7315200,
            2286000,
            1371600,
            685800,
            "diamond",
            9601200,
            3200400,
            1371600,
            685800,
            "bentConnector3",
            8686800,
            2628900,
            9601200,
            3543300,
            3,
            1,
        ),
        "two shapes and their elbow connector inside the group",
    ),
    Step(
        "add_slide_nested_group_connector_json",
        lambda d: (*diagram(d, 13), 2, 0, 1, "line", 0, 0, 914400, 914400),
        "a line in the nested group",
    ),
    Step(
        "add_slide_deeper_nested_group_connector_json",
        lambda d: (*diagram(d, 14), 2, 0, 1, 0, "curvedConnector3", 914400, 0, 0, 914400),
        "a curved connector in the deeper group",
    ),
    Step(
        "add_slide_nested_group_connector_in_new_group_json",
        lambda d: (*diagram(d, 15), 2, 0, "line", 0, 457200, 914400, 457200),
        "a line wrapped in a new group inside the group",
    ),
    Step(
        "add_slide_group_freeform_shape_with_text_json",
        lambda d: (*diagram(d, 16), 2, 0, 838200, 5486400, 914400, 457200, 100, 100, TRIANGLE, "A"),
        "a freeform inside the group",
    ),
    Step(
        "add_slide_nested_group_freeform_shape_with_text_json",
        lambda d: (*diagram(d, 17), 2, 0, 1, 0, 0, 914400, 914400, 100, 100, TRIANGLE, "B"),
        "a freeform in the nested group",
    ),
    Step(
        "add_slide_deeper_nested_group_freeform_shape_with_text_json",
        lambda d: (
            *diagram(d, 18),
            2,
            0,
            1,
            0,
            -457200,
            0,
            914400,
            914400,
            100,
            100,
            TRIANGLE,
            "C",
        ),
        "a freeform in the deeper group, left of its frame",
    ),
    Step(
        "add_slide_nested_group_freeform_shape_in_new_group_with_text_json",
        lambda d: (
            *diagram(d, 19),
            2,
            0,
            1828800,
            5486400,
            914400,
            457200,
            100,
            100,
            TRIANGLE,
            "D",
        ),
        "a freeform wrapped in a new group inside the group",
    ),
    Step(
        "group_slide_existing_deeper_nested_group_children_json",
        lambda d: (*diagram(d, 20), 2, 0, 1, 0, [2, 1]),
        "the deeper group's freeform and connector gathered into a new group",
    ),
    Step(
        "group_slide_existing_nested_group_children_json",
        lambda d: (*diagram(d, 21), 2, 0, 1, [1, 2]),
        "the nested group's connector and freeform gathered into a new group",
    ),
    Step(
        "group_slide_existing_group_children_json",
        lambda d: (*diagram(d, 22), 2, 0, [2, 3]),
        "the two lines of the group gathered into a new group",
    ),
    Step(
        "update_workbook_cells",
        lambda d: (
            chart_workbook(d),
            "Sheet1",
            '[["B1", "s", "Revenue"], ["B2", "n", "14"], ["A5", "s", "Q4"], ["B5", "n", "11.5"]]',
        ),
        "new data for the chart of a generated chart deck: its embedded workbook's cells",
        lambda d, result: show_workbook_cells(d, result, ["B1", "B2", "A5", "B5"]),
    ),
    # Text, each step editing the previous step's output: a word on every slide, the text of
    # one slide's shape, of one paragraph and of one run.
    Step(
        "replace_slide_text_json",
        lambda d: (str(d.deck), d.output("text-1-replaced.pptx"), "Revenue", "Turnover"),
        "search and replace on every slide",
    ),
    Step(
        "replace_slide_text_at_index_json",
        lambda d: (
            str(d.outputs["text-1-replaced.pptx"]),
            d.output("text-2-replaced-on-3.pptx"),
            2,
            "Ship",
            "Release",
        ),
        "search and replace on slide 3 only",
    ),
    Step(
        "set_slide_shape_text_at_index_json",
        lambda d: (
            str(d.outputs["text-2-replaced-on-3.pptx"]),
            d.output("text-3-shape.pptx"),
            0,
            0,
            "Quarterly review\nThird quarter",
        ),
        "the whole text of the title of slide 1, two paragraphs",
    ),
    Step(
        "set_slide_shape_paragraph_text_at_index_json",
        lambda d: (
            str(d.outputs["text-3-shape.pptx"]),
            d.output("text-4-paragraph.pptx"),
            0,
            1,
            1,
            "Costs fell by 4%",
        ),
        "the second paragraph of the text box of slide 1, its formatting kept",
    ),
    Step(
        "replace_slide_text_run_at_index_json",
        lambda d: (
            str(d.outputs["text-4-paragraph.pptx"]),
            d.output("text-5-run.pptx"),
            2,
            2,
            "Measure weekly",
        ),
        "the third run of slide 3",
    ),
    # Tables: a table with its texts on slide 2, then one of its cells changed.
    Step(
        "add_slide_table_with_cell_texts_json",
        lambda d: (
            str(d.deck),
            d.output("table-1-added.pptx"),
            1,
            *TEAM_TABLE,
        ),
        "a 3x3 table with its cell texts on slide 2",
    ),
    Step(
        "replace_table_cell_text_json",
        lambda d: (
            str(d.outputs["table-1-added.pptx"]),
            d.output("table-2-cell.pptx"),
            1,
            0,
            2,
            2,
            "9",
        ),
        "the size of the build team in that table",
    ),
    Step(
        "add_slide_table_json",
        lambda d: (
            str(d.deck),
            d.output("table-3-empty.pptx"),
            0,
            2,
            4,
            838200,
            4572000,
            6096000,
            914400,
        ),
        "an empty 2x4 table on slide 1",
    ),
    # An edit batch: the shapes' output gains a table on slide 2, beside its two pictures; then
    # one batch of every kind of edit, and its output reopened.
    Step(
        "add_slide_table_with_cell_texts_json",
        lambda d: (
            str(d.outputs["shapes-3-text-box.pptx"]),
            d.output("batch-input.pptx"),
            1,
            *TEAM_TABLE,
        ),
        "the table the batch edits, on slide 2 beside its two pictures",
    ),
    Step(
        "apply_edit_batch_json",
        lambda d: (str(d.outputs["batch-input.pptx"]), d.output("batch.pptx"), EDIT_BATCH),
        "30 edits, one of each kind, on three slides, written once",
    ),
    Step(
        "summarize_presentation_json",
        lambda d: (str(d.outputs["batch.pptx"]),),
        "the batch's output, reopened",
    ),
    # Media on a deck with groups three levels deep, each step editing the previous output.
    Step(
        "add_slide_image_json",
        lambda d: (*media(d, 1), 0, str(d.image), 7315200, 457200, 1828800, 1828800),
        "the generated picture on slide 1 of a deck with nested groups",
    ),
    Step(
        "add_slide_group_image_json",
        lambda d: (*media(d, 2), 0, 0, str(d.image), 8229600, 1828800, 914400, 914400),
        "the same picture inside the top-level group: stored once",
    ),
    Step(
        "add_slide_nested_group_image_json",
        lambda d: (*media(d, 3), 0, 0, 1, str(d.image), 8229600, 2743200, 914400, 914400),
        "inside the group nested in it",
    ),
    Step(
        "add_slide_deeper_nested_group_image_json",
        lambda d: (*media(d, 4), 0, 0, 1, 0, str(d.image), 8229600, 3657600, 914400, 914400),
        "one level deeper",
    ),
    Step(
        "add_slide_nested_group_image_in_new_group_json",
        lambda d: (*media(d, 5), 0, 0, str(d.image), 8229600, 4572000, 914400, 914400),
        "in a new group inside the top-level group",
    ),
    Step(
        "replace_slide_image_at_index_json",
        lambda d: (*media(d, 6), 1, "rId2", sample(d, "new.png")),
        "new bytes for the picture of slide 2",
    ),
    Step(
        "replace_slide_image_json",
        lambda d: (*media(d, 7), "rId2", sample(d, "new.png")),
        "the same for rId2 on every slide",
    ),
    Step(
        "add_slide_movie_json",
        lambda d: (
            *media(d, 8),
            1,
            sample(d, "clip.mp4"),
            str(d.image),
            6096000,
            1828800,
            3657600,
            2743200,
            "video/mp4",
        ),
        "a movie with a poster frame on slide 2",
    ),
    Step(
        "add_slide_ole_object_json",
        lambda d: (
            *media(d, 9),
            0,
            *attachment(d, 838200, 4572000),
        ),
        "an attached file shown as the built-in icon on slide 1",
    ),
    Step(
        "add_slide_group_ole_object_json",
        lambda d: (
            *media(d, 10),
            0,
            0,
            *attachment(d, 838200, 5486400, icon=str(d.image)),
        ),
        "the file again inside the top-level group, the picture as its icon",
    ),
    Step(
        "add_slide_nested_group_ole_object_json",
        lambda d: (
            *media(d, 11),
            0,
            0,
            1,
            *attachment(d, 1752600, 5486400),
        ),
        "inside the nested group",
    ),
    Step(
        "add_slide_deeper_nested_group_ole_object_json",
        lambda d: (
            *media(d, 12),
            0,
            0,
            1,
            0,
            *attachment(d, 2667000, 5486400),
        ),
        "one level deeper",
    ),
    Step(
        "add_slide_nested_group_ole_object_in_new_group_json",
        lambda d: (
            *media(d, 13),
            0,
            0,
            *attachment(d, 3581400, 5486400),
        ),
        "in a new group inside the top-level group",
    ),
]


def batch_edit(kind: str, slide: int | None, /, **fields) -> dict:
    return {"type": kind, **({} if slide is None else {"slide_index": slide}), **fields}


UNSET = {
    "set_bold": False,
    "set_italic": False,
    "set_underline": False,
    "set_size": False,
    "set_name": False,
}
# Slide 1: its title (shape 0, run 0) and text box (shape 1, runs 1 and 2). Slide 3: the group
# holding the plan (id 3) and the oval (id 5). Slide 2: the title, two pictures, the table.
EDIT_BATCH = json.dumps(
    [
        batch_edit("replace_text_run", 0, run_index=1, replacement="Revenue grew 12%"),
        batch_edit("set_text_run_bold", 0, run_index=1, bold=True),
        batch_edit("set_text_run_italic", 0, run_index=2, italic=True),
        batch_edit("set_text_run_underline", 0, run_index=2, underline=True),
        batch_edit("set_text_run_font_size", 0, run_index=1, size=2800 * 127),
        batch_edit("set_text_run_font_name", 0, run_index=1, name="Georgia"),
        batch_edit(
            "set_text_run_formatting",
            0,
            run_index=0,
            **{**UNSET, "set_bold": True},
            bold=True,
            set_color=True,
            color="1F4E79",
        ),
        batch_edit(
            "set_paragraph_text",
            0,
            shape_index=1,
            paragraph_index=1,
            replacement="Costs fell by 4%",
        ),
        batch_edit("append_paragraph_text", 0, shape_index=1, text="Margin up two points"),
        batch_edit("append_text_run", 0, shape_index=1, paragraph_index=0, text=" year on year"),
        batch_edit("insert_paragraph_line_break", 0, shape_index=1, paragraph_index=2, run_slot=0),
        batch_edit(
            "set_paragraph_properties",
            0,
            shape_index=1,
            paragraph_index=0,
            set_alignment=True,
            alignment="l",
            set_level=False,
            level=0,
            spacing={"space_after": {"kind": "emu", "value": 76200}},
        ),
        batch_edit(
            "set_paragraph_font_properties",
            0,
            shape_index=1,
            paragraph_index=2,
            **{**UNSET, "set_size": True},
            size=2000 * 127,
            set_color=True,
            color="404040",
        ),
        batch_edit(
            "set_text_frame_properties",
            0,
            shape_index=1,
            properties={
                "set_vertical_anchor": True,
                "vertical_anchor": "t",
                "set_auto_size": True,
                "auto_size": "normAutofit",
            },
        ),
        batch_edit(
            "set_shape_geometry",
            0,
            shape_index=1,
            x_emu=838200,
            y_emu=1825625,
            cx_emu=6096000,
            cy_emu=2286000,
        ),
        batch_edit(
            "set_shape_text", 0, shape_index=0, replacement="Quarterly review\nFourth quarter"
        ),
        batch_edit(
            "set_group_shape_child_text",
            2,
            group_index=0,
            child_index=0,
            replacement="Hire\nShip\nMeasure",
        ),
        batch_edit(
            "set_group_shape_child_paragraph_text",
            2,
            group_index=0,
            child_index=0,
            paragraph_index=1,
            replacement="Ship in May",
        ),
        batch_edit(
            "set_group_shape_child_run_text",
            2,
            group_index=0,
            child_index=0,
            paragraph_index=2,
            run_index=0,
            replacement="Measure weekly",
        ),
        batch_edit(
            "set_group_shape_child_geometry",
            2,
            group_index=0,
            child_index=0,
            x_emu=838200,
            y_emu=1825625,
            cx_emu=4572000,
            cy_emu=2286000,
        ),
        batch_edit("delete_group_shape_child", 2, group_shape_id=4, child_shape_id=5),
        batch_edit(
            "replace_table_cell_text", 1, table_index=0, row_index=2, col_index=2, replacement="8"
        ),
        batch_edit(
            "set_table_style_flags", 1, table_index=0, flags={"firstRow": True, "bandRow": True}
        ),
        batch_edit("insert_table_column", 1, table_index=0, col_index=3),
        batch_edit("delete_table_column", 1, table_index=0, col_index=1),
        batch_edit("insert_table_row", 1, table_index=0, row_index=3),
        batch_edit("delete_table_row", 1, table_index=0, row_index=1),
        batch_edit(
            "set_table_cell_merge",
            1,
            table_index=0,
            row_min=2,
            row_max=2,
            col_min=0,
            col_max=2,
            kind="merge",
            paragraphs=["Total: 8"],
        ),
        # The first picture goes, and with it the relationship only it used.
        batch_edit("delete_shape", 1, shape_index=1),
        batch_edit("reorder_slides", None, slide_indices=[0, 2, 1]),
    ]
)

TRIANGLE = json.dumps(
    [
        {"type": "move_to", "x": 50, "y": 0},
        {"type": "line_to", "x": 100, "y": 100},
        {"type": "line_to", "x": 0, "y": 100},
        {"type": "close"},
    ]
)


def diagram(demo: Demo, number: int) -> tuple[str, str]:
    """Input and output of step ``number`` of the diagram: each edits the previous output."""
    source = demo.deck if number == 1 else demo.outputs[f"diagram-{number - 1:02d}.pptx"]
    return str(source), demo.output(f"diagram-{number:02d}.pptx")


# Files the media steps pass by path; a few bytes stand for a movie and an attachment, as the
# demo shows the package, not playback.
SAMPLES = {
    "new.png": png_bytes(4, 3, (240, 200, 40)),
    "clip.mp4": b"\x00\x00\x00\x18ftypmp42\x00\x00\x00\x00mp42isom" + bytes(64),
    "attachment.bin": b"quarterly figures\n",
}


def sample(demo: Demo, name: str) -> str:
    """Writes the sample file ``name`` beside the outputs and returns its path."""
    path = demo.out / name
    path.write_bytes(SAMPLES[name])
    return str(path)


def attachment(demo: Demo, x: int, y: int, icon: str | None = None) -> tuple:
    """The arguments of an attached file from ``object_path`` on: the sample file as a package,
    an inch square at (``x``, ``y``), shown as ``icon`` (the built-in one when none) an inch
    square."""
    return (sample(demo, "attachment.bin"), "Package", x, y, INCH, INCH, icon, INCH, INCH)


def media(demo: Demo, number: int) -> tuple[str, str]:
    """Input and output of media step ``number``: the first edits a deck of its own (slide 1: a
    group holding a text box and a group holding an empty group; slide 2: the picture of rId2),
    each other one the previous output."""
    if number == 1:
        source = demo.out / "media-sample.pptx"
        groups = group_xml(4, text_box_xml(5, "Figures") + group_xml(6, group_xml(7, "")))
        build_deck(
            source,
            slides=2,
            slide_shapes={0: title_shape_xml("Media") + groups},
            media={"image1.png": png_bytes(4, 3, (30, 120, 200))},
            media_rels={1: ["image1.png"]},
        )
    else:
        source = demo.outputs[f"media-{number - 1:02d}.pptx"]
    return str(source), demo.output(f"media-{number:02d}.pptx")


def chart_workbook(demo: Demo) -> bytes:
    """The workbook embedded in a generated chart deck, also kept under build/demo/."""
    deck = build_chart_deck(demo.out / "chart.pptx")
    with zipfile.ZipFile(deck) as package:
        data = package.read(CHART_WORKBOOK)
    (demo.out / "chart-data.xlsx").write_bytes(data)
    return data


def show_workbook_cells(demo: Demo, workbook: bytes, references: list[str]) -> str:
    """Saves the changed workbook and reads the given cells back from its first sheet."""
    saved = Path(demo.output("chart-data-updated.xlsx"))
    saved.write_bytes(workbook)
    main = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
    with zipfile.ZipFile(io.BytesIO(workbook)) as archive:
        strings = [
            "".join(t.text or "" for t in si.iter(main + "t"))
            for si in ElementTree.fromstring(archive.read("xl/sharedStrings.xml")).iter(main + "si")
        ]
        cells = {
            c.get("r"): c
            for c in ElementTree.fromstring(archive.read("xl/worksheets/sheet1.xml")).iter(
                main + "c"
            )
        }
    lines = [f"{len(workbook)} bytes, saved as {saved}"]
    for reference in references:
        value = cells[reference].findtext(main + "v")
        lines.append(
            f"{reference} = {strings[int(value)] if cells[reference].get('t') == 's' else value}"
        )
    return "\n".join(lines)


def group_xml(shape_id: int, children: str) -> str:
    """A group around the given shapes, its child frame equal to its own."""
    frame = '<a:off x="838200" y="1825625"/><a:ext cx="10515600" cy="4351338"/>'
    child_frame = '<a:chOff x="838200" y="1825625"/><a:chExt cx="10515600" cy="4351338"/>'
    return (
        f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{shape_id}" name="Group {shape_id - 1}"/>'
        "<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
        f"<p:grpSpPr><a:xfrm>{frame}{child_frame}</a:xfrm></p:grpSpPr>{children}</p:grpSp>"
    )


def make_sample_deck(out: Path) -> Path:
    shapes = [
        title_shape_xml("Quarterly review") + text_box_xml(3, ["Revenue grew", "Costs fell"]),
        None,  # default: a title and the two pictures related from this slide
        title_shape_xml("Next steps")
        + group_xml(4, text_box_xml(3, ["Hire", "Ship", "Measure"], name="Plan")),
    ]
    return build_deck(
        out / "sample.pptx",
        slides=3,
        titles=["", "Team photo", ""],
        slide_shapes=shapes,
        notes={0: "Open with the headline number"},
        media={
            "image1.png": png_bytes(4, 3, (30, 120, 200)),
            "image2.png": png_bytes(3, 4, (240, 180, 40)),
        },
        media_rels={1: ["image1.png", "image2.png"]},
    )


def main() -> int:
    missing = [step.function for step in STEPS if step.function not in native.__all__]
    if missing:
        print(f"the module lacks functions the demo calls: {', '.join(missing)}", file=sys.stderr)
        return 1
    out = ROOT / "build" / "demo"
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    image = out / "picture.png"
    image.write_bytes(png_bytes(8, 8, (200, 60, 40)))
    demo = Demo(out=out, deck=make_sample_deck(out), image=image)
    print(f"sample deck: {demo.deck}")

    failures = 0
    for number, step in enumerate(STEPS, 1):
        print(f"\n== {step.function}" + (f": {step.note}" if step.note else ""))
        try:
            result = getattr(native, step.function)(*step.args(demo))
        except Exception as error:  # show the failure and go on with the other steps
            failures += 1
            print(f"{type(error).__name__}: {error}")
            continue
        text = (
            step.show(demo, result)
            if step.show
            else result
            if isinstance(result, str)
            else repr(result)
        )
        (out / f"{number:02d}-{step.function}.json").write_text(text, encoding="utf-8")
        if isinstance(result, str):
            json.loads(result)  # every text result is JSON text
        print(text)

    shown = {step.function for step in STEPS}
    untried = [name for name in native.__all__ if name not in shown]
    print(
        f"\nran {len(shown)} of the module's {len(native.__all__)} functions in {len(STEPS)} "
        f"steps, {failures} failed"
    )
    if untried:
        print(f"functions without a demo step: {', '.join(untried)}")
    print(f"outputs are in {out}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
