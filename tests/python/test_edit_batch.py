"""Edit batches from Python: every kind reaching its rewrite, one batch against the same edits
one by one, pruning, the raw copy, failures that write nothing, and a batch on every real deck.
Every package written goes through the shared lint."""

import json
import struct
import xml.etree.ElementTree as ET
import zipfile

import pelvane.pelvane_native as native
import pytest
from conftest import real_decks
from deck_builder import PNG_1X1, group_xml, picture_xml, png_bytes, text_box_xml
from package_lint import check_package

SLIDE1 = "ppt/slides/slide1.xml"
SLIDE1_RELS = "ppt/slides/_rels/slide1.xml.rels"
PRESENTATION = "ppt/presentation.xml"
SUMMARY_KEYS = ["path", "edits", "replacements", "part_count", "has_vba"]


def table_frame_xml(shape_id, rows, cols):
    """A graphic frame holding a rows x cols table whose cells read "r{row}c{col}"."""

    def cell(text):
        return (
            '<a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US"/>'
            f"<a:t>{text}</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc>"
        )

    body = "".join(
        '<a:tr h="370840">' + "".join(cell(f"r{r}c{c}") for c in range(cols)) + "</a:tr>"
        for r in range(rows)
    )
    grid = '<a:gridCol w="1000000"/>' * cols
    return (
        f'<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{shape_id}" name="Table"/>'
        '<p:cNvGraphicFramePr><a:graphicFrameLocks noGrp="1"/></p:cNvGraphicFramePr><p:nvPr/>'
        '</p:nvGraphicFramePr><p:xfrm><a:off x="0" y="0"/><a:ext cx="3000000" cy="1112520"/>'
        "</p:xfrm><a:graphic>"
        '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/table">'
        f"<a:tbl><a:tblPr/><a:tblGrid>{grid}</a:tblGrid>{body}</a:tbl>"
        "</a:graphicData></a:graphic></p:graphicFrame>"
    )


# Slide 0's top-level shapes: 0 text box (id 2, two paragraphs), 1 text box (id 3), 2 group (id
# 4: text boxes 5 and 6, then group 7 holding text box 8), 3 table (id 9, 3x3), 4 and 5 pictures
# sharing rId2 (ids 10, 11), 6 picture alone on rId3 (id 12). Runs over the slide: 0 "Alpha one",
# 1 "Alpha two", 2 "Beta", 3 "Gamma", 4 "Delta", 5 "Epsilon", then the table's.
SLIDE0_SHAPES = (
    text_box_xml(2, ["Alpha one", "Alpha two"])
    + text_box_xml(3, "Beta")
    + group_xml(
        4,
        text_box_xml(5, "Gamma")
        + text_box_xml(6, "Delta")
        + group_xml(7, text_box_xml(8, "Epsilon")),
    )
    + table_frame_xml(9, 3, 3)
    + picture_xml(10, "rId2")
    + picture_xml(11, "rId2")
    + picture_xml(12, "rId3")
)


@pytest.fixture
def batch_deck(deck):
    return deck(
        "batch.pptx",
        slides=2,
        slide_shapes=[SLIDE0_SHAPES, text_box_xml(2, "Second")],
        media={"image1.png": PNG_1X1, "image2.png": png_bytes(rgb=(0, 0, 255))},
    )


def flags(**given):
    """The run or paragraph formatting flags: every set_* flag false unless given."""
    names = ["bold", "italic", "underline", "size", "name"]
    return {**{f"set_{name}": False for name in names}, **given}


# kind: (fields after slide_index 0, replacements, fragments of the new slide 0 (of the
# presentation part for the reorder), fragments gone)
RUN0 = '<a:rPr lang="en-US" dirty="0"'
BLANK_CELL = "<a:p><a:r><a:t></a:t></a:r></a:p>"
KINDS = {
    "reorder_slides": (
        {"slide_indices": [1, 0]},
        1,
        ['<p:sldId id="257" r:id="rId3"/><p:sldId id="256" r:id="rId2"/>'],
        [],
    ),
    "delete_shape": ({"shape_index": 6}, 2, [], ['id="12"', 'r:embed="rId3"']),
    "delete_group_shape_child": (
        {"group_shape_id": 4, "child_shape_id": 6},
        1,
        ['id="5"'],
        ['id="6"', "Delta"],
    ),
    "set_shape_text": (
        {"shape_index": 1, "replacement": "N\nT"},
        1,
        ["<a:p><a:r><a:t>N</a:t></a:r></a:p><a:p><a:r><a:t>T</a:t></a:r></a:p>"],
        ["Beta"],
    ),
    "set_group_shape_child_text": (
        {"group_index": 0, "child_index": 0, "replacement": "G"},
        1,
        ["<a:lstStyle/><a:p><a:r><a:t>G</a:t></a:r></a:p></p:txBody>"],
        ["Gamma"],
    ),
    "set_group_shape_child_paragraph_text": (
        {"group_index": 0, "child_index": 1, "paragraph_index": 0, "replacement": "D2"},
        1,
        [RUN0 + "/><a:t>D2</a:t>"],
        ["Delta"],
    ),
    "set_group_shape_child_run_text": (
        {
            "group_index": 1,
            "child_index": 0,
            "paragraph_index": 0,
            "run_index": 0,
            "replacement": "E2",
        },
        1,
        [RUN0 + "/><a:t>E2</a:t>"],
        ["Epsilon"],
    ),
    "set_paragraph_text": (
        {"shape_index": 0, "paragraph_index": 1, "replacement": "A2"},
        1,
        ["Alpha one", RUN0 + "/><a:t>A2</a:t>"],
        ["Alpha two"],
    ),
    "replace_text_run": (
        {"run_index": 2, "replacement": "B2"},
        1,
        [RUN0 + "/><a:t>B2</a:t>"],
        ["Beta"],
    ),
    "set_text_run_bold": ({"run_index": 0, "bold": True}, 1, [RUN0 + ' b="1"/><a:t>Alpha one'], []),
    "set_text_run_italic": (
        {"run_index": 0, "italic": False},
        1,
        [RUN0 + ' i="0"/><a:t>Alpha one'],
        [],
    ),
    "set_text_run_underline": (
        {"run_index": 0, "underline": True},
        1,
        [RUN0 + ' u="sng"/><a:t>Alpha one'],
        [],
    ),
    "set_text_run_font_size": (
        {"run_index": 0, "size": 2400 * 127},
        1,
        [RUN0 + ' sz="2400"/><a:t>Alpha one'],
        [],
    ),
    "set_text_run_font_name": (
        {"run_index": 0, "name": "Arial"},
        1,
        [RUN0 + '><a:latin typeface="Arial"/></a:rPr><a:t>Alpha one'],
        [],
    ),
    "set_text_run_formatting": (
        {"run_index": 0, **flags(set_bold=True, bold=True), "set_color": True, "color": "FF0000"},
        2,
        [RUN0 + ' b="1"><a:solidFill><a:srgbClr val="FF0000"/></a:solidFill></a:rPr>'],
        [],
    ),
    "append_paragraph_text": (
        {"shape_index": 1, "text": "Add"},
        1,
        ["Beta</a:t></a:r></a:p><a:p><a:r><a:t>Add</a:t></a:r></a:p></p:tx"],
        [],
    ),
    "append_text_run": (
        {"shape_index": 1, "paragraph_index": 0, "text": "Run"},
        1,
        ["Beta</a:t></a:r><a:r><a:t>Run</a:t></a:r></a:p>"],
        [],
    ),
    "insert_paragraph_line_break": (
        {"shape_index": 1, "paragraph_index": 0, "run_slot": 1},
        1,
        ["Beta</a:t></a:r><a:br/></a:p>"],
        [],
    ),
    "set_paragraph_properties": (
        {
            "shape_index": 0,
            "paragraph_index": 0,
            "set_alignment": True,
            "alignment": "ctr",
            "set_level": True,
            "level": 1,
            "spacing": {"space_before": {"kind": "emu", "value": 12700}},
        },
        3,
        [
            '<a:pPr algn="ctr" lvl="1"><a:spcBef><a:spcPts val="100"/></a:spcBef></a:pPr>'
            "<a:r>" + RUN0 + "/><a:t>Alpha one"
        ],
        [],
    ),
    "set_paragraph_font_properties": (
        {
            "shape_index": 0,
            "paragraph_index": 0,
            **flags(set_bold=True, bold=True),
            "set_language": True,
            "language_id": "fr-FR",
        },
        2,
        ['<a:pPr><a:defRPr b="1" lang="fr-FR"/></a:pPr><a:r>' + RUN0 + "/><a:t>Alpha one"],
        [],
    ),
    "set_shape_geometry": (
        {"shape_index": 1, "x_emu": 1, "y_emu": 2, "cx_emu": 3, "cy_emu": 4},
        1,
        [
            (
                'TextBox 2"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm>'
                '<a:off x="1" y="2"/><a:ext cx="3" cy="4"/>'
            )
        ],
        [],
    ),
    "set_group_shape_child_geometry": (
        {"group_index": 0, "child_index": 1, "x_emu": 5, "y_emu": 6, "cx_emu": 7, "cy_emu": 8},
        1,
        [
            (
                'TextBox 5"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm>'
                '<a:off x="5" y="6"/><a:ext cx="7" cy="8"/>'
            )
        ],
        [],
    ),
    "set_text_frame_properties": (
        {
            "shape_index": 1,
            "properties": {"set_word_wrap": True, "word_wrap": "none", "margins": {"lIns": 0}},
        },
        2,
        [
            (
                '<a:bodyPr wrap="none" rtlCol="0" lIns="0"><a:spAutoFit/></a:bodyPr><a:lstStyle/><a:p>'
                "<a:r>"
            )
            + RUN0
            + "/><a:t>Beta"
        ],
        [],
    ),
    "replace_table_cell_text": (
        {"table_index": 0, "row_index": 1, "col_index": 2, "replacement": "X & Y"},
        1,
        [
            (
                "r1c1</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc><a:tc><a:txBody>"
                '<a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US"/>'
                "<a:t>X &amp; Y</a:t>"
            )
        ],
        ["r1c2"],
    ),
    "set_table_cell_merge": (
        {
            "table_index": 0,
            "row_min": 0,
            "row_max": 0,
            "col_min": 0,
            "col_max": 1,
            "kind": "merge",
            "paragraphs": ["M"],
        },
        4,
        [
            '<a:tc gridSpan="2"><a:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>M</a:t></a:r></a:p>'
            '</a:txBody><a:tcPr/></a:tc><a:tc hMerge="1"><a:txBody><a:bodyPr/><a:lstStyle/>'
            + BLANK_CELL
        ],
        ["r0c0", "r0c1"],
    ),
    "set_table_style_flags": (
        {"table_index": 0, "flags": {"firstRow": True, "bandRow": True}},
        1,
        ['<a:tbl><a:tblPr firstRow="1" bandRow="1"/><a:tblGrid>'],
        [],
    ),
    "insert_table_row": (
        {"table_index": 0, "row_index": 1},
        1,
        [
            "r0c2</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc></a:tr>"
            '<a:tr h="370840"><a:tc><a:txBody><a:bodyPr/><a:lstStyle/>' + BLANK_CELL
        ],
        [],
    ),
    "delete_table_row": (
        {"table_index": 0, "row_index": 0},
        1,
        [
            (
                '</a:tblGrid><a:tr h="370840"><a:tc><a:txBody><a:bodyPr/><a:lstStyle/>'
                '<a:p><a:r><a:rPr lang="en-US"/><a:t>r1c0'
            )
        ],
        ["r0c0", "r0c1", "r0c2"],
    ),
    "insert_table_column": (
        {"table_index": 0, "col_index": 3},
        4,
        [
            '<a:gridCol w="1000000"/>' * 4 + "</a:tblGrid>",
            "r2c2</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc><a:tc><a:txBody>"
            "<a:bodyPr/><a:lstStyle/>" + BLANK_CELL,
        ],
        [],
    ),
    "delete_table_column": (
        {"table_index": 0, "col_index": 0},
        4,
        ["<a:tblGrid>" + '<a:gridCol w="1000000"/>' * 2 + "</a:tblGrid>"],
        ["r0c0", "r1c0", "r2c0"],
    ),
}


def edit(kind):
    fields = KINDS[kind][0]
    return (
        {"type": kind, **fields}
        if kind == "reorder_slides"
        else {"type": kind, "slide_index": 0, **fields}
    )


def shape_text(slide, text):
    return {"type": "set_shape_text", "slide_index": slide, "shape_index": 0, "replacement": text}


def delete(slide, index):
    return {"type": "delete_shape", "slide_index": slide, "shape_index": index}


def part(path, name):
    with zipfile.ZipFile(path) as package:
        return package.read(name).decode()


def run_batch(input_path, output_path, edits):
    text = native.apply_edit_batch_json(str(input_path), str(output_path), json.dumps(edits))
    record = json.loads(text, object_pairs_hook=lambda pairs: pairs)
    assert [key for key, _ in record] == SUMMARY_KEYS
    record = dict(record)
    assert record["path"] == str(output_path)
    assert record["edits"] == len(edits)
    return record


def raw_entries(path):
    """Every entry as stored: name -> (method, CRC, date_time, compressed bytes)."""
    data = path.read_bytes()
    entries = {}
    with zipfile.ZipFile(path) as package:
        for info in package.infolist():
            name_length, extra_length = struct.unpack(
                "<HH", data[info.header_offset + 26 : info.header_offset + 30]
            )
            start = info.header_offset + 30 + name_length + extra_length
            entries[info.filename] = (
                info.compress_type,
                info.CRC,
                info.date_time,
                data[start : start + info.compress_size],
            )
    return entries


# ---------------------------------------------------------------------------------------------
# Every kind, alone and all together


@pytest.mark.parametrize("kind", KINDS)
def test_each_kind_reaches_its_rewrite(kind, batch_deck, tmp_path):
    out = tmp_path / "out.pptx"
    _, replacements, present, gone = KINDS[kind]
    record = run_batch(batch_deck, out, [edit(kind)])
    assert record["replacements"] == replacements
    xml = part(out, PRESENTATION if kind == "reorder_slides" else SLIDE1)
    for fragment in present:
        assert fragment in xml
    for fragment in gone:
        assert fragment not in xml
    check_package(batch_deck, out)


# The same edits written as arrays: the tag, then the kind's fields in their order.
ARRAY_FORMS = {
    "set_paragraph_properties": [
        "set_paragraph_properties",
        0,
        0,
        0,
        True,
        "ctr",
        True,
        1,
        {"space_before": {"kind": "emu", "value": 12700}},
    ],
    "set_text_frame_properties": [
        "set_text_frame_properties",
        0,
        1,
        {"set_word_wrap": True, "word_wrap": "none", "margins": {"lIns": 0}},
    ],
    "delete_group_shape_child": ["delete_group_shape_child", 0, 4, 6],
    "reorder_slides": ["reorder_slides", [1, 0]],
}


@pytest.mark.parametrize("kind", ARRAY_FORMS)
def test_object_and_array_forms_agree(kind, batch_deck, tmp_path):
    as_object, as_array = tmp_path / "object.pptx", tmp_path / "array.pptx"
    by_object = run_batch(batch_deck, as_object, [edit(kind)])
    by_array = run_batch(batch_deck, as_array, [ARRAY_FORMS[kind]])
    assert {**by_object, "path": None} == {**by_array, "path": None}
    for name in (SLIDE1, PRESENTATION):
        assert part(as_object, name) == part(as_array, name)


# Every kind once, in an order whose edits all apply: the table is changed before its cells are
# merged, so that no row or column cuts through a merge.
ALL_KINDS = [edit(kind) for kind in KINDS if kind != "set_table_cell_merge"] + [
    edit("set_table_cell_merge")
]


def one_by_one_order(edits):
    """The edits in the order one slide applies them: list order, then group children, then
    shapes by descending index; the reorder, which touches no slide, last."""

    def kind(e):
        return e["type"]

    rest = [
        e
        for e in edits
        if kind(e) not in ("delete_shape", "delete_group_shape_child", "reorder_slides")
    ]
    children = [e for e in edits if kind(e) == "delete_group_shape_child"]
    shapes = sorted(
        (e for e in edits if kind(e) == "delete_shape"),
        key=lambda e: e["shape_index"],
        reverse=True,
    )
    return rest + children + shapes + [e for e in edits if kind(e) == "reorder_slides"]


def test_one_batch_equals_its_edits_one_by_one(batch_deck, tmp_path):
    assert len(ALL_KINDS) == 30
    together = tmp_path / "together.pptx"
    run_batch(batch_deck, together, ALL_KINDS)
    check_package(batch_deck, together)

    current = batch_deck
    for step, single in enumerate(one_by_one_order(ALL_KINDS)):
        following = tmp_path / f"step{step}.pptx"
        run_batch(current, following, [single])
        current = following
    for name in (SLIDE1, "ppt/slides/slide2.xml", PRESENTATION, SLIDE1_RELS):
        assert part(together, name) == part(current, name), name


@pytest.mark.reader
def test_a_batch_of_every_kind_opens_in_the_presentation_program(batch_deck, tmp_path):
    out = tmp_path / "out.pptx"
    run_batch(batch_deck, out, ALL_KINDS)
    # The slides are reversed: the edited slide is now the second page.
    check_package(
        batch_deck, out, reader=True, expect_text={0: "Second", 1: ["Alpha one", "A2", "E2"]}
    )


# ---------------------------------------------------------------------------------------------
# Pruning and raw copies


@pytest.mark.parametrize(
    "indexes, replacements, pruned",
    [
        ([6], 2, {"rId3"}),  # the only picture on rId3
        ([4], 1, set()),  # rId2 is still shown by the other picture
        ([5, 4], 3, {"rId2"}),  # the second deletion frees it
    ],
)
def test_relationships_pruned_when_no_shape_uses_them(
    indexes, replacements, pruned, batch_deck, tmp_path
):
    out = tmp_path / "out.pptx"
    record = run_batch(batch_deck, out, [delete(0, index) for index in indexes])
    assert record["replacements"] == replacements
    ids = {element.get("Id") for element in ET.fromstring(part(out, SLIDE1_RELS))}
    assert ids == {"rId1", "rId2", "rId3"} - pruned
    before, after = raw_entries(batch_deck), raw_entries(out)
    assert list(after) == list(before)  # the media parts stay
    for name in ("[Content_Types].xml", "ppt/media/image1.png", "ppt/media/image2.png"):
        assert after[name] == before[name]
    check_package(batch_deck, out)


def test_an_empty_batch_copies_every_entry_raw(batch_deck, tmp_path):
    out = tmp_path / "copy.pptx"
    record = run_batch(batch_deck, out, [])
    assert (record["edits"], record["replacements"]) == (0, 0)
    assert raw_entries(out) == raw_entries(batch_deck)
    check_package(batch_deck, out)


def test_input_and_output_may_be_one_file(batch_deck, tmp_path):
    original = tmp_path / "original.pptx"
    original.write_bytes(batch_deck.read_bytes())
    run_batch(batch_deck, batch_deck, [edit("replace_text_run")])
    assert "<a:t>B2</a:t>" in part(batch_deck, SLIDE1)
    check_package(original, batch_deck)


# ---------------------------------------------------------------------------------------------
# Failures write nothing

TAGS = list(KINDS)  # in the order the reader lists them


# (edits as JSON text, the message). The deck's slides 0, 1, 2 are the parts slide1, slide2 and
# slide10, edited in the order slide1, slide10, slide2; its first shape is animated.
FAILURES = [
    (
        json.dumps([shape_text(0, "a"), shape_text(2, "c"), delete(1, 9)]),
        "invalid input: shape index 9 was not found",
    ),
    (
        json.dumps(
            [
                {"type": "reorder_slides", "slide_indices": [2, 1, 0]},
                {"type": "reorder_slides", "slide_indices": [0, 1, 2]},
            ]
        ),
        "invalid input: edit batch contains more than one slide reorder",
    ),
    (json.dumps([delete(0, 9), shape_text(3, "d")]), "invalid input: slide index 3 was not found"),
    (
        json.dumps([delete(1, 0), delete(1, 0)]),
        "invalid input: shape index 0 is deleted more than once",
    ),
    (json.dumps([delete(0, 0)]), "invalid input: shape id 2 is the target of an animation"),
    (
        json.dumps([{"type": "reorder_slides", "slide_indices": [0, 0, 1]}]),
        "invalid input: slide order index 0 is duplicated",
    ),
    ("{}", "invalid type: map, expected a sequence at line 1 column 0"),
    (
        '[{"type": "nope"}]',
        "unknown variant `nope`, expected one of "
        + ", ".join(f"`{tag}`" for tag in TAGS)
        + " at line 1 column 16",
    ),
    ('[{"slide_index": 0}]', "missing field `type` at line 1 column 19"),
]


def rewrite_parts(path, change):
    """Writes the package again with each part's bytes passed through change(name, data); a
    part for which it returns None is left out."""
    with zipfile.ZipFile(path) as package:
        entries = [(info, package.read(info)) for info in package.infolist()]
    with zipfile.ZipFile(path, "w") as package:
        for info, data in entries:
            data = change(info.filename, data)
            if data is not None:
                package.writestr(info, data)


@pytest.fixture
def animated_deck(deck):
    """Three slides (parts 1, 2, 10) whose first slide animates its title (shape id 2)."""
    path = deck("animated.pptx", slides=3, slide_numbers=[1, 2, 10])
    timing = (
        b'<p:timing><p:tnLst><p:par><p:cTn id="1" dur="indefinite" nodeType="tmRoot"/>'
        b'</p:par></p:tnLst><p:bldLst><p:bldP spid="2" grpId="0"/></p:bldLst></p:timing>'
    )
    rewrite_parts(
        path,
        lambda name, data: (
            data.replace(b"</p:clrMapOvr>", b"</p:clrMapOvr>" + timing) if name == SLIDE1 else data
        ),
    )
    check_package(None, path)
    return path


@pytest.mark.parametrize("edits_json, message", FAILURES)
def test_failures_write_nothing(edits_json, message, animated_deck, tmp_path):
    existing = tmp_path / "existing.pptx"
    existing.write_bytes(b"not touched")
    fresh = tmp_path / "folder" / "out.pptx"
    for out in (existing, fresh):
        with pytest.raises(RuntimeError) as caught:
            native.apply_edit_batch_json(str(animated_deck), str(out), edits_json)
        assert caught.value.args[0] == message
    assert existing.read_bytes() == b"not touched"
    assert not fresh.parent.exists()


def test_a_reorder_needs_the_presentation_part(deck, tmp_path):
    path = deck(slides=2)
    rewrite_parts(path, lambda name, data: None if name == PRESENTATION else data)
    out = tmp_path / "out.pptx"
    with pytest.raises(RuntimeError) as caught:
        run_batch(path, out, [{"type": "reorder_slides", "slide_indices": [1, 0]}])
    assert caught.value.args[0] == "zip error: specified file not found in archive"
    assert not out.exists()


# ---------------------------------------------------------------------------------------------
# Real decks

DECKS = real_decks()
SHAPES = {"sp", "pic", "cxnSp", "grpSp", "graphicFrame"}


# Edits for any slide: shape 0, paragraph 0 and run 0 (each a no-op where missing), geometry.
TEXT_EDITS = [
    ("set_shape_text", {"replacement": "Shape text"}),
    ("set_paragraph_text", {"paragraph_index": 0, "replacement": "Paragraph"}),
    ("replace_text_run", {"run_index": 0, "replacement": "Run & co"}),
    ("set_text_run_bold", {"run_index": 0, "bold": True}),
    ("set_text_run_italic", {"run_index": 0, "italic": None}),
    ("set_text_run_underline", {"run_index": 0, "underline": False}),
    ("set_text_run_font_size", {"run_index": 0, "size": 1800 * 127}),
    ("set_text_run_font_name", {"run_index": 0, "name": "Arial"}),
    (
        "set_text_run_formatting",
        {
            "run_index": 0,
            **flags(set_size=True, size=2000 * 127),
            "set_color": True,
            "color": "336699",
        },
    ),
    ("append_paragraph_text", {"text": "Appended"}),
    ("append_text_run", {"paragraph_index": 0, "text": " run"}),
    ("insert_paragraph_line_break", {"paragraph_index": 0, "run_slot": 0}),
    (
        "set_paragraph_properties",
        {
            "paragraph_index": 0,
            "set_alignment": True,
            "alignment": "r",
            "set_level": True,
            "level": 1,
            "spacing": {"line_spacing": {"kind": "multiple", "value": 1.5}},
        },
    ),
    (
        "set_paragraph_font_properties",
        {
            "paragraph_index": 0,
            **flags(set_italic=True, italic=True),
            "set_fill_type": True,
            "fill_type": "solid",
        },
    ),
    (
        "set_text_frame_properties",
        {
            "properties": {
                "set_vertical_anchor": True,
                "vertical_anchor": "ctr",
                "set_auto_size": True,
                "auto_size": "normAutofit",
            }
        },
    ),
    ("set_shape_geometry", {"x_emu": 457200, "y_emu": 457200, "cx_emu": 2743200, "cy_emu": 914400}),
]
GROUP_EDITS = [
    ("set_group_shape_child_text", {"replacement": "Child"}),
    ("set_group_shape_child_paragraph_text", {"paragraph_index": 0, "replacement": "Paragraph"}),
    (
        "set_group_shape_child_run_text",
        {"paragraph_index": 0, "run_index": 0, "replacement": "Run"},
    ),
    (
        "set_group_shape_child_geometry",
        {"x_emu": 0, "y_emu": 0, "cx_emu": 914400, "cy_emu": 914400},
    ),
]


def local(element):
    return element.tag.rsplit("}", 1)[-1]


def shape_ids(element):
    """The shape ids of the element and of every shape inside it, in document order."""
    ids = (e.get("id") or "" for e in element.iter() if local(e) == "cNvPr")
    return [int(value) for value in ids if value.isdigit()]


def real_deck_edits(xml, slide_count):
    """One edit of every kind that applies to what the slide holds."""
    root = ET.fromstring(xml)
    animated = {int(e.get("spid")) for e in root.iter() if (e.get("spid") or "").isdigit()}
    edits = [
        {"type": kind, "slide_index": 0, "shape_index": 0, **fields} for kind, fields in TEXT_EDITS
    ]
    groups = [e for e in root.iter() if local(e) == "grpSp"]
    if groups:
        edits += [
            {"type": kind, "slide_index": 0, "group_index": 0, "child_index": 0, **fields}
            for kind, fields in GROUP_EDITS
        ]
        children = [e for e in groups[0] if local(e) in SHAPES and shape_ids(e)]
        if children and not set(shape_ids(children[0])) & animated:
            edits.append(
                {
                    "type": "delete_group_shape_child",
                    "slide_index": 0,
                    "group_shape_id": shape_ids(groups[0])[0],
                    "child_shape_id": shape_ids(children[0])[0],
                }
            )
    tables = [e for e in root.iter() if local(e) == "tbl"]
    if tables:
        rows = sum(local(e) == "tr" for e in tables[0])
        columns = sum(local(e) == "gridCol" for e in tables[0].iter())
        # Merges split first, so that no row or column cuts through one; the new row and column
        # go again.
        table_edits = [
            (
                "set_table_cell_merge",
                {
                    "row_min": 0,
                    "row_max": rows - 1,
                    "col_min": 0,
                    "col_max": columns - 1,
                    "kind": "split",
                },
            ),
            ("replace_table_cell_text", {"row_index": 0, "col_index": 0, "replacement": "Cell"}),
            ("set_table_style_flags", {"flags": {"firstRow": True, "bandCol": False}}),
            ("insert_table_row", {"row_index": rows}),
            ("delete_table_row", {"row_index": rows}),
            ("insert_table_column", {"col_index": columns}),
            ("delete_table_column", {"col_index": columns}),
        ]
        edits += [
            {"type": kind, "slide_index": 0, "table_index": 0, **fields}
            for kind, fields in table_edits
        ]
    tree = next(e for e in root.iter() if local(e) == "spTree")
    top_level = [e for e in tree if local(e) in SHAPES]
    if top_level and not set(shape_ids(top_level[-1])) & animated:
        edits.append({"type": "delete_shape", "slide_index": 0, "shape_index": len(top_level) - 1})
    return edits + [{"type": "reorder_slides", "slide_indices": list(range(slide_count))[::-1]}]


@pytest.mark.parametrize("path", DECKS, ids=lambda path: path.name)
def test_real_decks(path, tmp_path):
    out = tmp_path / path.name
    slides = json.loads(native.summarize_presentation_json(str(path)))["slides"]
    if not slides:
        edits = []
    else:
        edits = real_deck_edits(part(path, slides[0]["part"]), len(slides))
    run_batch(path, out, edits)
    check_package(path, out)


def test_an_animated_movie_is_not_deleted(shared_decks, tmp_path):
    deck_path = shared_decks / "shp-movie-props.pptx"
    out = tmp_path / "out" / "movie.pptx"
    with pytest.raises(RuntimeError) as caught:
        native.apply_edit_batch_json(str(deck_path), str(out), json.dumps([delete(0, 0)]))
    assert caught.value.args[0] == "invalid input: shape id 2 is the target of an animation"
    assert not out.parent.exists()
