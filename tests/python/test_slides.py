"""Blank slides bound to a layout, and placeholder shapes added to a slide."""

import json
import re
import struct
import xml.etree.ElementTree as ET
import zipfile

import pytest
from conftest import real_decks
from deck_builder import NS_P, NS_PKG_RELS
from package_lint import check_package, package_problems
from pelvane import pelvane_native as native

P = f"{{{NS_P}}}"
EPOCH = (1980, 1, 1, 0, 0, 0)
PRESENTATION = "ppt/presentation.xml"


def placeholder(shape_id, name, ph):
    return (
        f'<p:sp><p:nvSpPr><p:cNvPr id="{shape_id}" name="{name}"/><p:cNvSpPr/><p:nvPr>{ph}</p:nvPr>'
        '</p:nvSpPr><p:spPr><a:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/></a:xfrm></p:spPr>'
        "<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Prompt</a:t></a:r></a:p></p:txBody></p:sp>"
    )


# Title, body and the three footer placeholders.
FIVE_PLACEHOLDERS = "".join(
    placeholder(i + 2, f"Layout {i}", f'<p:ph type="{kind}"{idx}/>')
    for i, (kind, idx) in enumerate(
        [("title", ""), ("body", ' idx="1"'), ("dt", ""), ("ftr", ""), ("sldNum", "")]
    )
)
TITLE_AND_BODY = [(2, "Layout 0", {"type": "title"}), (3, "Layout 1", {"type": "body", "idx": "1"})]


def rewrite_zip(source, target, changes):
    """A copy of the package with entries replaced (text or bytes), removed (None) or added."""
    with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
        for info in old.infolist():
            if changes.get(info.filename, b"") is not None:
                new.writestr(info, changes.get(info.filename) or old.read(info))
        for name in changes.keys() - set(old.namelist()):
            new.writestr(name, changes[name])
    return target


def raw_entries(path):
    """name -> (ZipInfo, the entry's bytes as stored)."""
    entries = {}
    with open(path, "rb") as file, zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            file.seek(info.header_offset + 26)
            name_length, extra_length = struct.unpack("<HH", file.read(4))
            file.seek(name_length + extra_length, 1)
            entries[info.filename] = (info, file.read(info.compress_size))
    return entries


def read(path, name):
    with zipfile.ZipFile(path) as archive:
        return archive.read(name)


def shapes_of(path, slide_part):
    """(id, name, ph attributes or None) of each p:sp of the slide's shape tree."""
    tree = ET.fromstring(read(path, slide_part)).find(f"{P}cSld/{P}spTree")
    return [
        (
            int(sp.find(f"{P}nvSpPr/{P}cNvPr").get("id")),
            sp.find(f"{P}nvSpPr/{P}cNvPr").get("name"),
            getattr(sp.find(f"{P}nvSpPr/{P}nvPr/{P}ph"), "attrib", None),
        )
        for sp in tree.findall(f"{P}sp")
    ]


def test_blank_slide_takes_the_next_number_id_and_relationship_and_copies_the_rest_raw(
    deck, tmp_path
):
    # Slides 1 and 7; slide 1, first in presentation order, has no layout relationship.
    built = deck(
        slides=2,
        slide_numbers=[1, 7],
        slide_layouts=[1, 3],
        layouts=5,
        directories=["ppt/media"],
        layout_shapes={3: FIVE_PLACEHOLDERS},
        stored=[PRESENTATION],
    )
    source = rewrite_zip(
        built,
        tmp_path / "in.pptx",
        {
            "ppt/slides/_rels/slide1.xml.rels": f'<?xml version="1.0"?><Relationships xmlns="{NS_PKG_RELS}"/>'
        },
    )
    output = tmp_path / "out" / "added.pptx"
    record = json.loads(native.add_blank_slide_json(output=str(output), input=str(source)))
    before, after = raw_entries(source), raw_entries(output)
    rid = 1 + max(
        map(int, re.findall(rb'Id="rId(\d+)"', read(source, "ppt/_rels/presentation.xml.rels")))
    )
    assert record == {
        "path": str(output),
        "slide_part": "ppt/slides/slide8.xml",
        "relationship_id": f"rId{rid}",
        "layout_target": "../slideLayouts/slideLayout3.xml",
        "slide_id": 258,
        "slide_count": 3,
        "part_count": len(before) + 2,
        "has_vba": False,
    }
    assert list(after) == [*before, "ppt/slides/slide8.xml", "ppt/slides/_rels/slide8.xml.rels"]
    for name, (info, data) in after.items():
        old_info, old_data = before.get(name, (None, None))
        if name not in before:
            assert (info.compress_type, info.date_time) == (zipfile.ZIP_DEFLATED, EPOCH), name
        elif name in ("[Content_Types].xml", PRESENTATION, "ppt/_rels/presentation.xml.rels"):
            assert (info.compress_type, info.date_time) == (old_info.compress_type, EPOCH), name
        elif name.endswith("/"):
            assert (info.date_time, info.external_attr >> 16) == (EPOCH, 0o40755)
        else:
            assert (info.compress_type, info.CRC, info.date_time, data) == (
                old_info.compress_type,
                old_info.CRC,
                old_info.date_time,
                old_data,
            ), name
    # The layout's title and body, emptied, keep their ids and names; the footers stay behind.
    assert shapes_of(output, "ppt/slides/slide8.xml") == TITLE_AND_BODY
    assert b"Prompt" not in read(output, "ppt/slides/slide8.xml")
    assert [
        entry.get("id") for entry in ET.fromstring(read(output, PRESENTATION)).find(f"{P}sldIdLst")
    ] == ["256", "257", "258"]
    check_package(source, output)


def empty_list(form):
    def change(path, tmp_path):
        text = (
            read(path, PRESENTATION)
            .decode()
            .replace("</p:sldMasterIdLst>", "</p:sldMasterIdLst>" + form)
        )
        return rewrite_zip(path, tmp_path / "in.pptx", {PRESENTATION: text})

    return change


def lost_layout(path, tmp_path):
    rels = read(path, "ppt/slides/_rels/slide1.xml.rels").replace(b"slideLayout2", b"slideLayout99")
    return rewrite_zip(path, tmp_path / "in.pptx", {"ppt/slides/_rels/slide1.xml.rels": rels})


# slides, change, layout index, expected layout target, slide part, shapes
BLANK_SLIDES = {
    "layout index in natural order": (
        1,
        None,
        9,
        "slideLayout10.xml",
        "slide2",
        [(2, "Title 1", {"type": "title"})],
    ),
    "layout part missing": (1, lost_layout, None, "slideLayout99.xml", "slide2", []),
    "slide list written as one tag": (
        0,
        empty_list("<p:sldIdLst/>"),
        4,
        "slideLayout5.xml",
        "slide1",
        [],
    ),
    "no slide list": (0, None, 0, "slideLayout1.xml", "slide1", None),
}


@pytest.mark.parametrize("case", BLANK_SLIDES)
def test_blank_slide_variants(deck, tmp_path, case):
    slides, change, layout_index, target, slide, shapes = BLANK_SLIDES[case]
    source = deck(slides=slides, layouts=11, layout_shapes={5: ""})
    source = change(source, tmp_path) if change else source
    output = tmp_path / "added.pptx"
    if layout_index is None:
        record = json.loads(native.add_blank_slide_json(str(source), str(output)))
    else:
        record = json.loads(
            native.add_blank_slide_with_layout_json(str(source), str(output), layout_index)
        )
    assert (record["layout_target"], record["slide_part"]) == (
        f"../slideLayouts/{target}",
        f"ppt/slides/{slide}.xml",
    )
    assert f'Target="../slideLayouts/{target}"'.encode() in read(
        output, f"ppt/slides/_rels/{slide}.xml.rels"
    )
    if shapes is not None:
        assert shapes_of(output, f"ppt/slides/{slide}.xml") == shapes
    (slide_list,) = ET.fromstring(read(output, PRESENTATION)).findall(f"{P}sldIdLst")
    assert [entry.get("id") for entry in slide_list][-1] == str(record["slide_id"])
    if change is lost_layout:  # the new slide names the input's missing layout too
        assert [(p.part, p.rule) for p in package_problems(source, output)] == [
            (f"ppt/slides/_rels/{slide}.xml.rels", "relationship targets exist")
        ]
    else:
        check_package(source, output)


# function, arguments after input, output and slide index, the record's own fields, shapes added
PLACEHOLDER_CALLS = {
    "type and idx": (
        "add_slide_placeholder_shape_json",
        ("title", "horz", None, "3"),
        {"placeholder_type": "title", "placeholder_idx": "3", "shape_id": 5},
        [(5, "Title 4", {"type": "title", "idx": "3"})],
    ),
    "defaults omitted": (
        "add_slide_placeholder_shape_json",
        ("obj", "vert", "full", None),
        {"placeholder_type": "obj", "placeholder_idx": None, "shape_id": 5},
        [(5, "Vertical Content Placeholder 4", {"orient": "vert"})],
    ),
    "list": (
        "add_slide_placeholder_shapes_json",
        (
            '[{"placeholder_type": "title"}, {"placeholder_type": "pic", "placeholder_size": "half"}]',
        ),
        {"shape_ids": [5, 6]},
        [
            (5, "Title 4", {"type": "title"}),
            (6, "Picture Placeholder 5", {"type": "pic", "sz": "half"}),
        ],
    ),
    "layout": (
        "add_slide_layout_placeholders_json",
        (0,),
        {"shape_ids": [5, 6]},
        [
            (5, "Title 4", {"type": "title"}),
            (6, "Text Placeholder 5", {"type": "body", "idx": "1"}),
        ],
    ),
    "layout without placeholders": (
        "add_slide_layout_placeholders_json",
        (3,),
        {"shape_ids": []},
        [],
    ),
}


@pytest.mark.parametrize("case", PLACEHOLDER_CALLS)
def test_placeholders_rewrite_every_entry_and_count_the_written_package(deck, tmp_path, case):
    function, args, fields, added = PLACEHOLDER_CALLS[case]
    shapes = placeholder(2, "Title 1", '<p:ph type="ctrTitle"/>') + placeholder(4, "Title 3", "")
    source = deck(
        slides=2,
        slide_shapes={0: shapes},
        layouts=4,
        layout_shapes={1: FIVE_PLACEHOLDERS, 4: ""},
        media={"image1.png": b"\x89PNG"},
        stored=["ppt/media/image1.png"],
        directories=["ppt/media"],
    )
    output = tmp_path / "out.pptx"
    record = json.loads(getattr(native, function)(str(source), str(output), 0, *args))
    manifest = json.loads(native.inspect_package_json(str(output)))
    assert record == {
        "path": str(output),
        "slide_index": 0,
        "slide_part": "ppt/slides/slide1.xml",
        **fields,
        "part_count": len(manifest["parts"]),
        "has_vba": False,
    }
    assert shapes_of(output, "ppt/slides/slide1.xml")[2:] == added
    before, after = raw_entries(source), raw_entries(output)
    assert list(after) == list(before)
    for name, (info, _) in after.items():
        assert (info.compress_type, info.date_time, info.external_attr >> 16) == (
            before[name][0].compress_type,
            EPOCH,
            0o40755 if name.endswith("/") else 0o100644,
        ), name
        assert name == "ppt/slides/slide1.xml" or read(output, name) == read(source, name)
    check_package(source, output)


def without(name):
    return lambda path, tmp_path: rewrite_zip(path, tmp_path / "in.pptx", {name: None})


def replaced(name, old, new):
    return lambda path, tmp_path: rewrite_zip(
        path, tmp_path / "in.pptx", {name: read(path, name).replace(old, new)}
    )


NOT_FOUND = "zip error: specified file not found in archive"
BLANK = ("add_blank_slide_json", ())
# function and arguments after input and output, change to a two-slide deck, message
FAILURES = {
    "no slides": (BLANK, None, "xml text decode error: no slide layout relationship found"),
    "layout index": (
        ("add_blank_slide_with_layout_json", (2,)),
        None,
        "xml text decode error: slide layout index 2 was not found",
    ),
    "no presentation part": (BLANK, without(PRESENTATION), NOT_FOUND),
    "no presentation relationships": (BLANK, without("ppt/_rels/presentation.xml.rels"), NOT_FOUND),
    "no content types": (BLANK, without("[Content_Types].xml"), NOT_FOUND),
    "relationships unclosed": (
        BLANK,
        replaced("ppt/_rels/presentation.xml.rels", b"</Relationships>", b""),
        "xml text decode error: expected closing marker </Relationships>",
    ),
    "content types unclosed": (
        BLANK,
        replaced("[Content_Types].xml", b"</Types>", b""),
        "xml text decode error: expected closing marker </Types>",
    ),
    "no place for a slide list": (
        BLANK,
        lambda path, tmp_path: rewrite_zip(
            path, tmp_path / "in.pptx", {PRESENTATION: f'<p:presentation xmlns:p="{NS_P}"/>'}
        ),
        "xml text decode error: expected closing marker </p:presentation>",
    ),
    "orphan relationships part": (
        BLANK,
        lambda path, tmp_path: rewrite_zip(
            path,
            tmp_path / "in.pptx",
            {"ppt/slides/_rels/slide3.xml.rels": read(path, "ppt/slides/_rels/slide1.xml.rels")},
        ),
        "zip error: entry name ppt/slides/_rels/slide3.xml.rels is already in the archive",
    ),
    "empty placeholder list": (
        ("add_slide_placeholder_shapes_json", (0, "[]")),
        None,
        "invalid input: at least one placeholder shape is required",
    ),
    "slide index before the layout": (
        ("add_slide_layout_placeholders_json", (2, 9)),
        None,
        "invalid input: slide index 2 was not found",
    ),
    "layout before the slide's text": (
        ("add_slide_layout_placeholders_json", (0, 9)),
        replaced("ppt/slides/slide1.xml", b"</p:spTree>", b""),
        "xml text decode error: slide layout index 9 was not found",
    ),
    "no shape tree end": (
        ("add_slide_placeholder_shape_json", (0, "title", "horz", None, None)),
        replaced("ppt/slides/slide1.xml", b"</p:spTree>", b""),
        "invalid input: slide XML is missing </p:spTree>",
    ),
}


@pytest.mark.parametrize("case", FAILURES)
def test_failures_raise_their_text_and_write_nothing(deck, tmp_path, case):
    (function, args), change, message = FAILURES[case]
    source = deck(slides=0 if case == "no slides" else 2, layouts=2)
    source = change(source, tmp_path) if change else source
    original = source.read_bytes()
    output = tmp_path / "new" / "out.pptx"
    with pytest.raises(RuntimeError) as raised:
        getattr(native, function)(str(source), str(output), *args)
    assert str(raised.value) == message
    assert not output.exists() and source.read_bytes() == original
    assert output.parent.exists() == (case != "empty placeholder list")


@pytest.mark.parametrize("source", real_decks("*.ppt*"), ids=lambda path: path.name)
def test_real_decks_take_a_blank_slide_and_each_layout_s_placeholders(source, tmp_path):
    output = tmp_path / "added.pptx"
    try:
        native.add_blank_slide_json(str(source), str(output))
    except RuntimeError as error:  # no slide has a layout: take the first
        assert str(error) == "xml text decode error: no slide layout relationship found"
        native.add_blank_slide_with_layout_json(str(source), str(output), 0)
    check_package(source, output)
    layouts = [
        name
        for name in zipfile.ZipFile(source).namelist()
        if name.startswith("ppt/slideLayouts/slideL")
    ]
    for index in range(
        len(layouts)
        if json.loads(native.summarize_presentation_json(str(source)))["slide_count"]
        else 0
    ):
        native.add_slide_layout_placeholders_json(str(source), str(output), 0, index)
        check_package(source, output)


@pytest.mark.reader
@pytest.mark.parametrize("source", real_decks("*.ppt*"), ids=lambda path: path.name)
def test_real_decks_with_a_blank_slide_or_a_layout_s_placeholders_open(source, tmp_path):
    from reader import read_presentation

    slides = json.loads(native.summarize_presentation_json(str(source)))["slide_count"]
    blank = tmp_path / f"blank{source.suffix}"
    native.add_blank_slide_with_layout_json(str(source), str(blank), 0)
    check_package(
        source,
        blank,
        reader=True,
        expect_pages=read_presentation(source).page_count + 1 if slides else 1,
    )
    if slides:
        placed = tmp_path / f"placed{source.suffix}"
        native.add_slide_layout_placeholders_json(str(source), str(placed), 0, 0)
        check_package(source, placed, reader=True)
