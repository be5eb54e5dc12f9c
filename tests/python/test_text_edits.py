"""Text edits from Python: search and replace over one or every slide, run, shape and paragraph
text. Every package written goes through the shared lint."""

import json
import re
import shutil
import zipfile

import pelvane.pelvane_native as native
import pytest
from conftest import real_decks
from deck_builder import CT, PNG_1X1, group_xml, text_box_xml, title_shape_xml
from package_lint import check_package

SLIDE1 = "ppt/slides/slide1.xml"

# name: (parameters after input and output, their values, the record's keys)
FUNCTIONS = {
    "replace_slide_text_json": (
        ["search", "replacement"],
        ["Alpha", "Omega"],
        ["path", "replacements", "part_count", "has_vba"],
    ),
    "replace_slide_text_at_index_json": (
        ["slide_index", "search", "replacement"],
        [0, "Alpha", "Omega"],
        ["path", "replacements", "part_count", "has_vba"],
    ),
    "replace_slide_text_run_at_index_json": (
        ["slide_index", "run_index", "replacement"],
        [0, 1, "Omega"],
        ["path", "slide_index", "run_index", "replacements", "part_count", "has_vba"],
    ),
    "set_slide_shape_text_at_index_json": (
        ["slide_index", "shape_index", "replacement"],
        [0, 1, "Omega\nPsi"],
        ["path", "slide_index", "shape_index", "replacements", "part_count", "has_vba"],
    ),
    "set_slide_shape_paragraph_text_at_index_json": (
        ["slide_index", "shape_index", "paragraph_index", "replacement"],
        [0, 1, 0, "Omega"],
        [
            "path",
            "slide_index",
            "shape_index",
            "paragraph_index",
            "replacements",
            "part_count",
            "has_vba",
        ],
    ),
}
INDEXED = [name for name in FUNCTIONS if name != "replace_slide_text_json"]


def keyed(text):
    return json.loads(text, object_pairs_hook=lambda pairs: pairs)


def runtime_error(call, *args):
    with pytest.raises(RuntimeError) as caught:
        call(*args)
    return caught.value.args[0]


@pytest.fixture
def text_deck(deck):
    """Slide 0: a title and a text box of two paragraphs; slide 1 (part slide2) a group holding
    a text box. Media stored, a directory entry, a macro project."""
    return deck(
        slides=2,
        vba=True,
        slide_shapes=[
            title_shape_xml("Alpha review") + text_box_xml(3, ["Alpha one & two", "Alpha"]),
            group_xml(4, text_box_xml(5, "Alpha in a group")),
        ],
        media={"image1.png": PNG_1X1},
        media_rels={0: ["image1.png"]},
        stored=["ppt/media/image1.png"],
        directories=["ppt/media"],
    )


@pytest.mark.reader
@pytest.mark.parametrize("name", FUNCTIONS)
def test_by_position_and_by_keyword(name, text_deck, tmp_path):
    params, values, keys = FUNCTIONS[name]
    function = getattr(native, name)
    by_position = tmp_path / "position.pptx"
    by_keyword = tmp_path / "keyword.pptx"
    first = keyed(function(str(text_deck), str(by_position), *values))
    second = keyed(
        function(input=str(text_deck), output=str(by_keyword), **dict(zip(params, values)))
    )
    assert [key for key, _ in first] == keys
    assert dict(first)["path"] == str(by_position)
    assert first[1:] == second[1:]
    assert dict(first)["replacements"] > 0
    assert dict(first)["part_count"] == len(zipfile.ZipFile(text_deck).namelist())
    assert dict(first)["has_vba"] is True
    for key, value in zip(params, values):
        if key in keys:
            assert dict(first)[key] == value
    check_package(text_deck, by_position, expect_text={0: "Omega"})
    with zipfile.ZipFile(by_position) as one, zipfile.ZipFile(by_keyword) as two:
        assert one.read(SLIDE1) == two.read(SLIDE1)


def test_one_slide_or_every_slide(text_deck, tmp_path):
    every, one = tmp_path / "every.pptx", tmp_path / "one.pptx"
    record = json.loads(native.replace_slide_text_json(str(text_deck), str(every), "Alpha", "<Ω>"))
    assert record["replacements"] == 4
    native.replace_slide_text_at_index_json(str(text_deck), str(one), 1, "Alpha", "B")
    with zipfile.ZipFile(every) as package:
        assert b"&lt;\xce\xa9&gt; one &amp; two" in package.read(SLIDE1)
        assert b"&lt;\xce\xa9&gt; in a group" in package.read("ppt/slides/slide2.xml")
    with zipfile.ZipFile(one) as package:
        assert b"Alpha review" in package.read(SLIDE1)
        assert b"B in a group" in package.read("ppt/slides/slide2.xml")
    check_package(text_deck, every)
    check_package(text_deck, one)


@pytest.mark.parametrize("name", INDEXED)
def test_a_slide_index_past_the_end_writes_nothing(name, text_deck, tmp_path):
    _, values, _ = FUNCTIONS[name]
    out = tmp_path / "never" / "out.pptx"
    message = runtime_error(getattr(native, name), str(text_deck), str(out), 2, *values[1:])
    assert message == "invalid input: slide index 2 was not found"
    assert not out.exists()


@pytest.mark.parametrize("name", FUNCTIONS)
def test_text_xml_cannot_hold_is_refused_and_nothing_written(name, text_deck, tmp_path):
    _, values, _ = FUNCTIONS[name]
    out = tmp_path / "out.pptx"
    message = runtime_error(getattr(native, name), str(text_deck), str(out), *values[:-1], "a\x1fb")
    assert message == "invalid input: text contains a character that XML cannot hold: U+001F"
    assert not out.exists()


@pytest.mark.parametrize("slide_index", [None, 1])
def test_an_empty_search_changes_no_slide(slide_index, text_deck, tmp_path):
    out = tmp_path / "out.pptx"
    if slide_index is None:
        record = native.replace_slide_text_json(str(text_deck), str(out), "", "x")
    else:
        record = native.replace_slide_text_at_index_json(
            str(text_deck), str(out), slide_index, "", "x"
        )
    assert json.loads(record)["replacements"] == 0
    with zipfile.ZipFile(text_deck) as before, zipfile.ZipFile(out) as after:
        assert [after.read(n) for n in after.namelist()] == [
            before.read(n) for n in before.namelist()
        ]
    check_package(text_deck, out)


def test_every_slide_part_is_searched_listed_or_not(deck, tmp_path):
    base = deck(slides=1, titles=["Alpha"])
    with zipfile.ZipFile(base) as package:
        slide_xml = package.read(SLIDE1)
    extra = {
        name: (slide_xml, CT["slide"])
        for name in ("ppt/slides/slide7.xml", "ppt/slides/slideA.xml", "ppt/slides/slide1.XML")
    }
    source = deck(slides=1, titles=["Alpha"], extra_parts=extra)
    out = tmp_path / "out.pptx"
    record = json.loads(native.replace_slide_text_json(str(source), str(out), "Alpha", "Beta"))
    assert record["replacements"] == 2
    with zipfile.ZipFile(out) as package:
        assert b"Beta" in package.read(SLIDE1) and b"Beta" in package.read("ppt/slides/slide7.xml")
        assert package.read("ppt/slides/slideA.xml") == slide_xml
        assert package.read("ppt/slides/slide1.XML") == slide_xml
    check_package(source, out)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_entries_keep_order_and_method_with_fixed_time_and_mode(name, text_deck, tmp_path):
    _, values, _ = FUNCTIONS[name]
    out = tmp_path / "out.pptx"
    getattr(native, name)(str(text_deck), str(out), *values)
    with zipfile.ZipFile(text_deck) as before, zipfile.ZipFile(out) as after:
        assert after.namelist() == before.namelist()
        assert any(info.compress_type == zipfile.ZIP_STORED for info in after.infolist())
        for old, new in zip(before.infolist(), after.infolist()):
            assert new.date_time == (1980, 1, 1, 0, 0, 0), new.filename
            assert new.compress_type == old.compress_type, new.filename
            assert new.external_attr >> 16 == (0o40755 if new.is_dir() else 0o100644), new.filename
    check_package(text_deck, out)


def test_the_input_may_be_the_output(text_deck, tmp_path):
    original = tmp_path / "original.pptx"
    shutil.copyfile(text_deck, original)
    record = json.loads(
        native.replace_slide_text_json(str(text_deck), str(text_deck), "Alpha", "Beta")
    )
    assert record["replacements"] == 4
    check_package(original, text_deck)


def _word_on_slides(path):
    with zipfile.ZipFile(path) as package:
        for name in package.namelist():
            if re.fullmatch(r"ppt/slides/slide\d+\.xml", name):
                for text in re.findall(rb"<a:t>([^<]*)</a:t>", package.read(name)):
                    words = re.findall(r"[A-Za-z]{3,}", text.decode())
                    if words:
                        return words[0]
    return None


def _slide_count(path):
    return len(json.loads(native.summarize_presentation_json(str(path)))["slides"])


DECKS = real_decks()


@pytest.mark.parametrize("path", DECKS, ids=lambda path: path.name)
def test_real_decks(path, tmp_path):
    out = tmp_path / path.name
    word = _word_on_slides(path)
    if word is not None:
        record = json.loads(native.replace_slide_text_json(str(path), str(out), word, "Zq"))
        assert record["replacements"] > 0
        check_package(path, out)
    if _slide_count(path) == 0:
        return
    for call, args in (
        (native.set_slide_shape_text_at_index_json, (0, 0, "Shape\ntext")),
        (native.set_slide_shape_paragraph_text_at_index_json, (0, 0, 0, "Paragraph")),
        (native.replace_slide_text_run_at_index_json, (0, 0, "Run")),
    ):
        json.loads(call(str(path), str(out), *args))
        check_package(path, out)
