"""Sections (which the lint checks), new slide ids and slides reached twice, through the functions
that change the slide list: real decks given two sections, generated decks for the rest."""

import json
import random
import re
import xml.etree.ElementTree as ET

import pytest
from conftest import real_decks
from deck_builder import NS_P
from package_lint import check_package
from pelvane import pelvane_native as native
from test_slide_delete_duplicate import PRES_RELS, REL, listed_slides
from test_slides import PRESENTATION, read, rewrite_zip

NS_P14 = "http://schemas.microsoft.com/office/powerpoint/2010/main"
URI = "{521415D9-36F7-43E2-AB2F-B90AF26B5E84}"
DECKS = real_decks(keep=lambda path: len(re.findall(rb"<p:sldId ", read(path, PRESENTATION))) >= 3)


def slide_ids(path):
    return [
        int(e.get("id"))
        for e in ET.fromstring(read(path, PRESENTATION)).find(f"{{{NS_P}}}sldIdLst")
    ]


def with_sections(source, target, cuts=None):
    """The deck with sections A, B, … cut before the slides at `cuts`, by default at half."""
    ids = slide_ids(source)
    starts = [0, *(cuts or [len(ids) // 2]), len(ids)]
    ext = (
        f'<p:ext uri="{URI}"><p14:sectionLst xmlns:p14="{NS_P14}">'
        + "".join(
            f'<p14:section name="{name}" id="{{0000000{name}-0000-0000-0000-000000000000}}"><p14:sldIdLst>'
            + "".join(f'<p14:sldId id="{i}"/>' for i in ids[start:end])
            + "</p14:sldIdLst></p14:section>"
            for name, start, end in zip("ABCDEF", starts, starts[1:])
        )
        + "</p14:sectionLst></p:ext>"
    )
    text = read(source, PRESENTATION).decode()
    text = (
        text.replace("<p:extLst>", "<p:extLst>" + ext, 1)
        if "<p:extLst>" in text
        else text.replace("</p:presentation>", f"<p:extLst>{ext}</p:extLst></p:presentation>")
    )
    return rewrite_zip(source, target, {PRESENTATION: text})


def shuffled(items, source):
    """The items in a random order, seeded by the deck's slide ids."""
    return random.Random(str(slide_ids(source))).sample(list(items), len(items))


FUNCTIONS = {
    "add_blank": native.add_blank_slide_json,
    "add_with_layout": lambda s, o: native.add_blank_slide_with_layout_json(s, o, 0),
    "duplicate": lambda s, o: native.duplicate_slide_json(s, o, listed_slides(s)[0]),
    "delete_one": lambda s, o: native.delete_slide_json(s, o, listed_slides(s)[1]),
    "delete_many": lambda s, o: native.delete_slides_json(
        s, o, listed_slides(s)[:: len(listed_slides(s)) - 1]
    ),
    "delete_many_in_order": lambda s, o: native.delete_slides_json(
        s, o, listed_slides(s)[:1], shuffled(listed_slides(s)[1:], s)
    ),
    "batch_reorder": lambda s, o: native.apply_edit_batch_json(
        s,
        o,
        json.dumps(
            [{"type": "reorder_slides", "slide_indices": shuffled(range(len(slide_ids(s))), s)}]
        ),
    ),
}
READ = ("batch_reorder", "delete_many_in_order")  # the outputs the presentation program opens


@pytest.mark.parametrize(
    "function", [pytest.param(f, marks=pytest.mark.reader) if f in READ else f for f in FUNCTIONS]
)
@pytest.mark.parametrize("source", DECKS, ids=lambda path: path.name)
def test_sections_follow_every_slide_function_on_real_decks(source, function, tmp_path):
    sectioned = with_sections(source, tmp_path / f"sections{source.suffix}")
    output = tmp_path / f"out{source.suffix}"
    FUNCTIONS[function](str(sectioned), str(output))
    # Both sections stay; a new order that keeps each one's slides together may swap them.
    assert sorted(re.findall(rb'<p14:section name="(\w)"', read(output, PRESENTATION))) == [
        b"A",
        b"B",
    ]
    reading = {"reader": True, "expect_pages": len(slide_ids(output))} if function in READ else {}
    check_package(sectioned, output, **reading)


@pytest.mark.parametrize(
    "ids, reached_twice, call, expected",
    [
        ([2147483646, 256, 257], "", "add", 2147483647),
        # Past the largest slide id there is: the smallest id from 256 that no slide uses.
        ([2147483647, 256, 258], "", "duplicate", 257),
        ([18446744073709551615, 257, 300], "", "add", 256),
        # A deleted slide reached twice: both relationships go, and the entry naming either.
        ((), "slides/slide2.xml", "delete", ["ppt/slides/slide1.xml", "ppt/slides/slide3.xml"]),
        # A survivor reached twice: its entry stays whichever of its ids the slide list names.
        (
            (),
            "slides/slide3.xml",
            "delete_in_order",
            ["ppt/slides/slide3.xml", "ppt/slides/slide1.xml"],
        ),
    ],
)
def test_new_slide_ids_and_slides_reached_twice(deck, tmp_path, ids, reached_twice, call, expected):
    built, source, output = deck(slides=3), tmp_path / "in.pptx", tmp_path / "out.pptx"
    text = read(built, PRESENTATION).decode()
    for old, new in zip(slide_ids(built), ids):
        text = text.replace(f'id="{old}"', f'id="{new}"', 1)
    extra = f'<Relationship Id="rId99" Type="{REL}slide" Target="{reached_twice}"/></Relationships>'
    rewrite_zip(
        built,
        source,
        {
            PRESENTATION: text,
            PRES_RELS: read(built, PRES_RELS)
            .decode()
            .replace("</Relationships>", extra if reached_twice else "</Relationships>"),
        },
    )
    if call.startswith("delete"):
        native.delete_slides_json(
            str(source),
            str(output),
            ["ppt/slides/slide2.xml"],
            expected if call == "delete_in_order" else None,
        )
        assert listed_slides(output) == expected
    else:
        record = json.loads(
            native.duplicate_slide_json(str(source), str(output), "ppt/slides/slide1.xml")
            if call == "duplicate"
            else native.add_blank_slide_json(str(source), str(output))
        )
        assert record["slide_id"] == expected and slide_ids(output) == ids + [expected]
    check_package(source, output)  # no relationship or slide-list entry names a part that is gone


@pytest.mark.parametrize(
    "cuts, order, expected",
    [
        # Sections whose slides stay together move with them, an empty one after the one it followed.
        ([2, 2], [2, 3, 1, 0], ["C", 2, 3, "A", 1, 0, "B"]),
        # A section broken apart: the longest run of slides whose sections never fall keeps them.
        ([2], [2, 0, 1, 3], ["A", 2, 0, 1, "B", 3]),
    ],
)
def test_sections_move_with_their_slides(deck, tmp_path, cuts, order, expected):
    source, output = (
        with_sections(deck(slides=4), tmp_path / "in.pptx", cuts),
        tmp_path / "out.pptx",
    )
    native.apply_edit_batch_json(
        str(source), str(output), json.dumps([{"type": "reorder_slides", "slide_indices": order}])
    )
    assert [
        e.get("name") or slide_ids(source).index(int(e.get("id")))
        for e in ET.fromstring(read(output, PRESENTATION)).iter()
        if e.tag in (f"{{{NS_P14}}}section", f"{{{NS_P14}}}sldId")
    ] == expected
    check_package(source, output)
