"""Tables from Python: a new table with or without cell texts, and the text of one cell. Every
package written goes through the shared lint."""

import json
import zipfile

import pelvane.pelvane_native as native
import pytest
from conftest import real_decks
from deck_builder import PNG_1X1, group_xml, text_box_xml, title_shape_xml
from package_lint import check_package

SLIDE1 = "ppt/slides/slide1.xml"
BOX = [914400, 914400, 6096000, 1828800]
TABLE_KEYS = [
    "path",
    "slide_index",
    "slide_part",
    "table_index",
    "shape_id",
    "rows",
    "cols",
    "part_count",
    "has_vba",
]
CELL_KEYS = [
    "path",
    "slide_index",
    "table_index",
    "row_index",
    "col_index",
    "replacements",
    "part_count",
    "has_vba",
]

# name: (parameters after input and output, their values, the record's keys)
FUNCTIONS = {
    "add_slide_table_json": (
        ["slide_index", "rows", "cols", "x_emu", "y_emu", "cx_emu", "cy_emu"],
        [0, 2, 3, *BOX],
        TABLE_KEYS,
    ),
    "add_slide_table_with_cell_texts_json": (
        ["slide_index", "rows", "cols", "x_emu", "y_emu", "cx_emu", "cy_emu", "cell_texts_json"],
        [0, 2, 3, *BOX, '[[0, 0, "Region"], [1, 2, "North & South"]]'],
        TABLE_KEYS,
    ),
    "replace_table_cell_text_json": (
        ["slide_index", "table_index", "row_index", "col_index", "replacement"],
        [0, 0, 1, 0, "Omega"],
        CELL_KEYS,
    ),
}


def table_frame_xml(shape_id, rows):
    """A graphic frame holding a table of one column, one row per text (a list of run texts)."""
    cells = "".join(
        '<a:tr h="370840"><a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p>'
        + "".join(f"<a:r><a:t>{text}</a:t></a:r>" for text in runs)
        + "</a:p></a:txBody><a:tcPr/></a:tc></a:tr>"
        for runs in rows
    )
    return (
        f'<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{shape_id}" name="Table {shape_id}"/>'
        '<p:cNvGraphicFramePr/><p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off x="0" y="0"/>'
        '<a:ext cx="4572000" cy="741680"/></p:xfrm><a:graphic>'
        '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/table"><a:tbl>'
        '<a:tblGrid><a:gridCol w="4572000"/></a:tblGrid>'
        f"{cells}</a:tbl></a:graphicData></a:graphic></p:graphicFrame>"
    )


def keyed(text):
    return json.loads(text, object_pairs_hook=lambda pairs: pairs)


def runtime_error(call, *args):
    with pytest.raises(RuntimeError) as caught:
        call(*args)
    return caught.value.args[0]


def slide_xml(path, name=SLIDE1):
    with zipfile.ZipFile(path) as package:
        return package.read(name)


@pytest.fixture
def table_deck(deck):
    """Slide 0: a title, a table whose second row's text is split over two runs, a text box of
    id 41 and a table inside a group. A macro project, a stored medium, a directory entry."""
    return deck(
        slides=2,
        vba=True,
        slide_shapes=[
            title_shape_xml("Tables")
            + table_frame_xml(3, [["Alpha"], ["Be", "ta"]])
            + text_box_xml(41, "Notes")
            + group_xml(4, table_frame_xml(5, [["Grouped"]])),
            None,
        ],
        media={"image1.png": PNG_1X1},
        media_rels={1: ["image1.png"]},
        stored=["ppt/media/image1.png"],
        directories=["ppt/media"],
    )


@pytest.mark.reader
@pytest.mark.parametrize("name", FUNCTIONS)
def test_by_position_and_by_keyword(name, table_deck, tmp_path):
    params, values, keys = FUNCTIONS[name]
    function = getattr(native, name)
    by_position, by_keyword = tmp_path / "position.pptx", tmp_path / "keyword.pptx"
    first = keyed(function(str(table_deck), str(by_position), *values))
    second = keyed(
        function(input=str(table_deck), output=str(by_keyword), **dict(zip(params, values)))
    )
    assert [key for key, _ in first] == keys
    assert first[1:] == second[1:]
    record = dict(first)
    assert record["path"] == str(by_position)
    assert record["part_count"] == len(zipfile.ZipFile(table_deck).namelist())
    assert record["has_vba"] is True
    for key, value in zip(params, values):
        if key in keys:
            assert record[key] == value
    shown = {
        "replace_table_cell_text_json": "Omega",
        "add_slide_table_with_cell_texts_json": ["Region", "North & South"],
    }.get(name, "Alpha")
    if name == "replace_table_cell_text_json":
        assert record["replacements"] == 1
        assert b"<a:r><a:t>Omega</a:t></a:r><a:r><a:t></a:t></a:r>" in slide_xml(by_position)
    else:
        # Two tables before it (one in a group); ids up to 41.
        assert (record["slide_part"], record["table_index"], record["shape_id"]) == (SLIDE1, 2, 42)
        assert b'<p:cNvPr id="42" name="Table 42"/>' in slide_xml(by_position)
    assert slide_xml(by_position) == slide_xml(by_keyword)
    check_package(table_deck, by_position, reader=True, expect_text={0: shown})


def test_no_cell_texts_is_the_plain_table(table_deck, tmp_path):
    plain, empty = tmp_path / "plain.pptx", tmp_path / "empty.pptx"
    _, values, _ = FUNCTIONS["add_slide_table_json"]
    first = json.loads(native.add_slide_table_json(str(table_deck), str(plain), *values))
    second = json.loads(
        native.add_slide_table_with_cell_texts_json(str(table_deck), str(empty), *values, "[]")
    )
    assert {**first, "path": None} == {**second, "path": None}
    with zipfile.ZipFile(plain) as one, zipfile.ZipFile(empty) as two:
        assert [one.read(n) for n in one.namelist()] == [two.read(n) for n in two.namelist()]


def test_entries_written_as_each_function_writes_them(table_deck, tmp_path):
    """A new table copies the other entries raw; the cell text writes every entry again."""
    added, replaced = tmp_path / "added.pptx", tmp_path / "replaced.pptx"
    native.add_slide_table_json(str(table_deck), str(added), *FUNCTIONS["add_slide_table_json"][1])
    native.replace_table_cell_text_json(
        str(table_deck), str(replaced), *FUNCTIONS["replace_table_cell_text_json"][1]
    )
    with (
        zipfile.ZipFile(table_deck) as before,
        zipfile.ZipFile(added) as raw,
        zipfile.ZipFile(replaced) as again,
    ):
        assert raw.namelist() == again.namelist() == before.namelist()
        for old, copied, written in zip(before.infolist(), raw.infolist(), again.infolist()):
            assert written.date_time == (1980, 1, 1, 0, 0, 0), written.filename
            assert written.compress_type == old.compress_type, written.filename
            if old.filename != SLIDE1:
                assert (copied.date_time, copied.CRC, copied.compress_size) == (
                    old.date_time,
                    old.CRC,
                    old.compress_size,
                ), copied.filename
    check_package(table_deck, replaced)


def test_a_cell_text_past_the_last_slide_copies_the_package(table_deck, tmp_path):
    out = tmp_path / "out.pptx"
    record = json.loads(
        native.replace_table_cell_text_json(str(table_deck), str(out), 2, 0, 0, 0, "x")
    )
    assert record["replacements"] == 0
    with zipfile.ZipFile(table_deck) as before, zipfile.ZipFile(out) as after:
        assert after.namelist() == before.namelist()
        assert [after.read(n) for n in after.namelist()] == [
            before.read(n) for n in before.namelist()
        ]
    check_package(table_deck, out)


# (function, arguments after input and output, message, whether the output's folder may exist)
REFUSALS = [
    (
        "add_slide_table_json",
        [0, 0, 3, *BOX],
        "table rows and columns must be greater than zero",
        False,
    ),
    (
        "add_slide_table_with_cell_texts_json",
        [0, 1, 3, *BOX, '[[0, 2, "ok"], [1, 0, "x"]]'],
        "table cell 1,0 is outside 1x3 table",
        False,
    ),
    ("add_slide_table_json", [0, 100000, 100000, *BOX], "table 100000x100000 is too large", False),
    (
        "add_slide_table_json",
        [0, 2**32, 2**32, *BOX],
        "table 4294967296x4294967296 is too large",
        False,
    ),
    ("add_slide_table_json", [0, 6554, 6554, *BOX], "table 6554x6554 is too large", False),
    (
        "add_slide_table_with_cell_texts_json",
        [0, 1, 1, *BOX, '[[0, 0, "a\\u0001"]]'],
        "text contains a character that XML cannot hold: U+0001",
        False,
    ),
    (
        "replace_table_cell_text_json",
        [0, 0, 0, 0, "a\x1fb"],
        "text contains a character that XML cannot hold: U+001F",
        False,
    ),
    ("add_slide_table_json", [5, 1, 1, *BOX], "slide index 5 was not found", True),
]


@pytest.mark.parametrize(
    "name, args, message, folder_may_exist", REFUSALS, ids=[refusal[2] for refusal in REFUSALS]
)
def test_refusals_write_nothing(name, args, message, folder_may_exist, table_deck, tmp_path):
    before = table_deck.read_bytes()
    out = tmp_path / "never" / "out.pptx"
    assert (
        runtime_error(getattr(native, name), str(table_deck), str(out), *args)
        == f"invalid input: {message}"
    )
    assert not out.exists()
    assert folder_may_exist or not out.parent.exists()
    assert table_deck.read_bytes() == before


DECKS = real_decks()


@pytest.mark.parametrize("path", DECKS, ids=lambda path: path.name)
def test_real_decks(path, tmp_path):
    out = tmp_path / path.name
    if not json.loads(native.summarize_presentation_json(str(path)))["slides"]:
        pytest.skip("a deck without slides")
    texts = json.dumps([[0, 0, "Region"], [1, 3, "Q1 & Q2"], [2, 1, "line\nbreak"]])
    record = json.loads(
        native.add_slide_table_with_cell_texts_json(
            str(path), str(out), 0, 3, 4, 457200, 457200, 6096000, 1371600, texts
        )
    )
    assert (record["rows"], record["cols"]) == (3, 4)
    check_package(path, out)
