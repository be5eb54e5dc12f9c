"""Deleting slides with the parts only they use, and duplicating a slide with the parts that are its own."""

import json
import xml.etree.ElementTree as ET
import zipfile

import pytest
from conftest import real_decks
from deck_builder import CT, NS_P, NS_PKG_RELS, PNG_1X1, png_bytes
from package_lint import check_package, package_problems
from pelvane import pelvane_native as native
from test_slides import EPOCH, PRESENTATION, raw_entries, read, rewrite_zip

TYPES = "[Content_Types].xml"
PRES_RELS = "ppt/_rels/presentation.xml.rels"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
CHART_CT = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml"
CHART_XML = '<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart"/>'
WORKBOOK = "ppt/embeddings/Microsoft_Excel_Worksheet.xlsx"


def slide(n):
    return f"ppt/slides/slide{n}.xml"


def rels_xml(*items):
    """A relationships part: (id, type or its suffix after the standard's base, target[, mode])."""
    body = "".join(
        f'<Relationship Id="{rid}" Type="{kind if "://" in kind else REL + kind}" Target="{target}"'
        + "".join(f' TargetMode="{m}"' for m in mode)
        + "/>"
        for rid, kind, target, *mode in items
    )
    return f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="{NS_PKG_RELS}">{body}</Relationships>'


def targets_of(path, rels_name):
    return {r.get("Id"): r.get("Target") for r in ET.fromstring(read(path, rels_name))}


def listed_slides(path):
    """The slide parts in the order the presentation's slide list names them."""
    rels = targets_of(path, PRES_RELS)
    return [
        f"ppt/{rels[e.get(f'{{{REL[:-1]}}}id')]}"
        for e in ET.fromstring(read(path, PRESENTATION)).find(f"{{{NS_P}}}sldIdLst")
    ]


# ---------------------------------------------------------------------------------------------
# Deleting


def chart_deck(deck, **options):
    """Three slides with notes; slide 1 has a chart with its workbook, an own and a shared picture."""
    return deck(
        slides=3,
        notes=True,
        directories=["ppt/media"],
        media={"shared.png": PNG_1X1, "own.png": png_bytes(rgb=(0, 0, 255))},
        media_rels={0: ["shared.png", "own.png"], 1: ["shared.png"]},
        extra_parts={
            "ppt/charts/chart1.xml": (CHART_XML, CHART_CT),
            WORKBOOK: (
                b"PK\x05\x06" + bytes(18),
                "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
            ),
        },
        extra_rels={
            "ppt/slides/_rels/slide1.xml.rels": [("rId9", REL + "chart", "../charts/chart1.xml")],
            "ppt/charts/_rels/chart1.xml.rels": [
                ("rId1", REL + "package", "../embeddings/Microsoft_Excel_Worksheet.xlsx")
            ],
        },
        **options,
    )


DROPPED = [
    slide(1),
    "ppt/slides/_rels/slide1.xml.rels",
    "ppt/notesSlides/notesSlide1.xml",
    "ppt/notesSlides/_rels/notesSlide1.xml.rels",
    "ppt/media/own.png",
    "ppt/charts/chart1.xml",
    WORKBOOK,
    "ppt/charts/_rels/chart1.xml.rels",
]


def test_a_deleted_slide_takes_only_the_parts_no_other_slide_uses(deck, tmp_path):
    source = chart_deck(deck)
    output = tmp_path / "out" / "deleted.pptx"
    record = json.loads(native.delete_slide_json(str(source), str(output), slide(1)))
    before, after = raw_entries(source), raw_entries(output)
    assert record == {
        "path": str(output),
        "deleted_slide_parts": [slide(1)],
        "deleted_relationship_ids": ["rId2"],
        "survivor_count": 2,
        "part_count": len(before) - len(DROPPED),
        "has_vba": False,
    }
    # The notes master, the layouts, the shared picture and the directory (now an entry) stay.
    assert list(after) == [name for name in before if name not in DROPPED]
    for name, (info, _) in after.items():
        assert (info.date_time, info.external_attr >> 16) == (EPOCH, 0o100644), name
        assert name in (TYPES, PRES_RELS, PRESENTATION) or read(output, name) == read(
            source, name
        ), name
    types = read(output, TYPES).decode()
    assert [name for name in DROPPED if f'"/{name}"' in types] == [] and 'Extension="png"' in types
    assert "rId2" not in targets_of(output, PRES_RELS) and listed_slides(output) == [
        slide(2),
        slide(3),
    ]
    check_package(source, output)


@pytest.mark.parametrize("order", [None, [slide(n) for n in (7, 1, 3, 6, 4, 5)]])
def test_deleted_parts_and_ids_are_sorted_and_survivors_take_the_order(deck, tmp_path, order):
    source = deck(slides=10)
    output = tmp_path / "deleted.pptx"
    targets = [slide(n) for n in (9, 2, 10, 8)]
    arguments = (targets,) if order is None else (targets, order)
    record = json.loads(native.delete_slides_json(str(source), str(output), *arguments))
    assert record["deleted_slide_parts"] == [slide(10), slide(2), slide(8), slide(9)]
    assert record["deleted_relationship_ids"] == ["rId10", "rId11", "rId3", "rId9"]
    assert listed_slides(output) == (order or [slide(n) for n in (1, 3, 4, 5, 6, 7)])
    check_package(source, output)


def changed(name, old, new):
    return lambda path, tmp_path: rewrite_zip(
        path, tmp_path / "in.pptx", {name: read(path, name).replace(old, new)}
    )


def ghost_relationship(path, tmp_path):
    text = read(path, PRES_RELS).replace(
        b"</Relationships>",
        f'<Relationship Id="rId99" Type="{REL}slide" '
        'Target="slides/ghost.xml"/></Relationships>'.encode(),
    )
    return rewrite_zip(
        path, tmp_path / "in.pptx", {PRES_RELS: text, "ppt/slides/ghost.xml": read(path, slide(1))}
    )


def relationships_cut_inside(path, tmp_path):
    text = read(path, PRES_RELS)
    end = text.index(b"/>", text.index(b'Id="rId2"'))
    return rewrite_zip(path, tmp_path / "in.pptx", {PRES_RELS: text[:end] + b">"})


ALL = [slide(1), slide(2), slide(3)]
# targets, survivor order, change to the three-slide deck, message; in the order of the checks
DELETE_FAILURES = {
    "no targets": ([], None, None, "invalid input: no target slide parts specified for deletion"),
    "target twice, no input": (
        [slide(2), slide(1), slide(2)],
        None,
        "missing",
        "invalid input: duplicate target slide part specified for deletion: ppt/slides/slide2.xml",
    ),
    "first missing target": (
        [slide(1), slide(7), "/" + slide(2)],
        None,
        None,
        "invalid input: target slide part ppt/slides/slide7.xml was not found in the presentation",
    ),
    "every slide": (
        ALL,
        None,
        None,
        "invalid input: cannot delete all slides; presentation must contain at least one slide",
    ),
    "no presentation relationships": (
        [slide(1)],
        None,
        lambda p, t: rewrite_zip(p, t / "in.pptx", {PRES_RELS: None}),
        "zip error: specified file not found in archive",
    ),
    "no slide relationship": (
        [slide(2)],
        None,
        changed(PRES_RELS, b"slides/slide2.xml", b"slides/other.xml"),
        "invalid input: presentation relationship for slide part ppt/slides/slide2.xml was not found",
    ),
    "order count before names": (
        [slide(1)],
        [slide(1)],
        None,
        "invalid input: ordered survivor parts count (1) does not match surviving slides count (2)",
    ),
    "deleted and repeated survivor": (
        [slide(1)],
        [slide(1), slide(1)],
        None,
        "invalid input: deleted slide part ppt/slides/slide1.xml cannot be included in ordered survivors",
    ),
    "repeated survivor": (
        [slide(1)],
        [slide(3), slide(3)],
        None,
        "invalid input: duplicate survivor slide part in ordered survivors: ppt/slides/slide3.xml",
    ),
    "unknown survivor": (
        [slide(1)],
        [slide(2), "ppt/slides/Slide3.xml"],
        None,
        "invalid input: survivor slide part ppt/slides/Slide3.xml was not found in the presentation",
    ),
    # A slide relationship to a part the slide list does not hold cannot take a survivor's place.
    "unlisted survivor": (
        [slide(1)],
        ["ppt/slides/ghost.xml", slide(3)],
        ghost_relationship,
        "invalid input: survivor slide part ppt/slides/ghost.xml was not found in the presentation",
    ),
    "relationships end inside a removed one": (
        [slide(1)],
        None,
        relationships_cut_inside,
        "xml text decode error: unexpected EOF while removing relationship",
    ),
}


@pytest.mark.parametrize("case", DELETE_FAILURES)
def test_deletion_failures_write_nothing(deck, tmp_path, case):
    targets, order, change, message = DELETE_FAILURES[case]
    source = deck(slides=3)
    source = (
        tmp_path / "absent.pptx"
        if change == "missing"
        else change(source, tmp_path)
        if change
        else source
    )
    original = source.read_bytes() if source.exists() else None
    output = tmp_path / "new" / "out.pptx"
    with pytest.raises(RuntimeError) as raised:
        native.delete_slides_json(str(source), str(output), targets, order)
    assert str(raised.value) == message
    assert output.parent.is_dir() and not output.exists()
    assert (source.read_bytes() if source.exists() else None) == original


# ---------------------------------------------------------------------------------------------
# Duplicating


def copy_deck(deck, tmp_path, slide_rels, source=2, parts=None, **options):
    """A deck whose slide `source` has exactly the relationships `slide_rels`."""
    built = deck(
        **{"slides": 3, "notes": True, "media": {"image1.png": PNG_1X1}, **options},
        extra_parts=parts,
    )
    name = f"ppt/slides/_rels/slide{source}.xml.rels"
    return rewrite_zip(
        built, tmp_path / "in.pptx", {name: None if slide_rels is None else rels_xml(*slide_rels)}
    )


XML = "application/vnd.openxmlformats-officedocument."
DRAWING = (
    '<c:userShapes xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" '
    f'xmlns:r="{REL[:-1]}"><c:x r:embed="rId1"/></c:userShapes>'
)
RICH_PARTS = {
    "ppt/charts/chart1.xml": (CHART_XML, CHART_CT),
    "ppt/charts/chart2.xml": (CHART_XML, CHART_CT),
    WORKBOOK: b"PK\x05\x06" + bytes(18),
    "ppt/charts/style1.xml": "<s/>",
    "ppt/charts/colors1.xml": ("<c/>", "application/vnd.ms-office.chartcolorstyle+xml"),
    "ppt/drawings/drawing1.xml": (DRAWING, XML + "drawingml.chartshapes+xml"),
    "ppt/drawings/_rels/drawing1.xml.rels": rels_xml(("rId1", "image", "../media/image1.png")),
    "ppt/charts/_rels/chart1.xml.rels": rels_xml(
        ("rId1", "package", "../embeddings/Microsoft_Excel_Worksheet.xlsx"),
        ("rId2", "http://schemas.microsoft.com/office/2011/relationships/chartStyle", "style1.xml"),
        (
            "rId3",
            "http://schemas.microsoft.com/office/2011/relationships/chartColorStyle",
            "colors1.xml",
        ),
        ("rId4", "chartUserShapes", "../drawings/drawing1.xml"),
    ),
    "ppt/comments/comment1.xml": "<cm/>",
    "ppt/embeddings/oleObject12.bin": b"ole",
}
RICH_RELS = [
    ("rId1", "slideLayout", "../slideLayouts/slideLayout2.xml"),
    ("rId2", "chart", "../charts/chart1.xml"),
    ("rId3", "notesSlide", "../notesSlides/notesSlide2.xml"),
    ("rId4", "comments", "../comments/comment1.xml"),
    ("rId5", "oleObject", "../embeddings/oleObject12.bin"),
    ("rId6", "image", "../media/image1.png"),
    ("rId7", "hyperlink", "http://example.com/", "External"),
]


def test_a_copy_takes_its_own_chart_notes_comments_and_object(deck, tmp_path):
    source = copy_deck(deck, tmp_path, RICH_RELS, parts=RICH_PARTS)
    output = tmp_path / "out" / "copied.pptx"
    record = json.loads(native.duplicate_slide_json(str(source), str(output), slide(2)))
    before, after = raw_entries(source), raw_entries(output)
    added = [
        "ppt/embeddings/Microsoft_Excel_Worksheet1.xlsx",
        "ppt/charts/style2.xml",
        "ppt/charts/colors2.xml",
        "ppt/drawings/drawing2.xml",
        "ppt/drawings/_rels/drawing2.xml.rels",
        "ppt/charts/_rels/chart3.xml.rels",
        "ppt/charts/chart3.xml",
        "ppt/notesSlides/_rels/notesSlide4.xml.rels",
        "ppt/notesSlides/notesSlide4.xml",
        "ppt/comments/comment2.xml",
        "ppt/embeddings/oleObject1.bin",
        slide(4),
        "ppt/slides/_rels/slide4.xml.rels",
    ]
    assert record == {
        "path": str(output),
        "slide_part": slide(4),
        "relationship_id": "rId10",
        "layout_target": "../slideLayouts/slideLayout2.xml",
        "slide_id": 259,
        "slide_count": 4,
        "part_count": len(before) + len(added),
        "has_vba": False,
    }
    assert list(after) == [*before, *added]
    for name, (info, data) in before.items():  # raw copies, the source slide and its notes included
        if name not in (TYPES, PRES_RELS, PRESENTATION):
            assert (after[name][0].CRC, after[name][0].date_time, after[name][1]) == (
                info.CRC,
                info.date_time,
                data,
            )
    assert read(output, slide(4)) == read(source, slide(2))
    assert read(output, "ppt/drawings/_rels/drawing2.xml.rels") == read(
        source, "ppt/drawings/_rels/drawing1.xml.rels"
    )
    assert targets_of(output, "ppt/slides/_rels/slide4.xml.rels") == {
        "rId1": "../slideLayouts/slideLayout2.xml",
        "rId2": "../charts/chart3.xml",
        "rId3": "../notesSlides/notesSlide4.xml",
        "rId4": "../comments/comment2.xml",
        "rId5": "../embeddings/oleObject1.bin",
        "rId6": "../media/image1.png",
        "rId7": "http://example.com/",
    }
    assert targets_of(output, "ppt/charts/_rels/chart3.xml.rels") == {
        "rId1": "../embeddings/Microsoft_Excel_Worksheet1.xlsx",
        "rId2": "style2.xml",
        "rId3": "colors2.xml",
        "rId4": "../drawings/drawing2.xml",
    }
    assert (
        targets_of(output, "ppt/notesSlides/_rels/notesSlide4.xml.rels")["rId2"]
        == "../slides/slide4.xml"
    )
    override = '<Override PartName="/{}" ContentType="{}"/>'.format
    assert (
        read(output, TYPES)
        .decode()
        .endswith(
            override(slide(4), CT["slide"])
            + f'<Default Extension="xlsx" ContentType="{XML}spreadsheetml.sheet"/>'
            + override("ppt/charts/style2.xml", "application/vnd.ms-office.chartstyle+xml")
            + override("ppt/charts/colors2.xml", "application/vnd.ms-office.chartcolorstyle+xml")
            + override("ppt/drawings/drawing2.xml", XML + "drawingml.chartshapes+xml")
            + override("ppt/charts/chart3.xml", CHART_CT)
            + override("ppt/notesSlides/notesSlide4.xml", CT["notesSlide"])
            + override(
                "ppt/comments/comment2.xml", CT["slide"].replace("slide+xml", "comments+xml")
            )
            + f'<Default Extension="bin" ContentType="{XML}oleObject"/></Types>'
        )
    )
    check_package(source, output)


LAYOUT = ("rId1", "slideLayout", "../slideLayouts/slideLayout2.xml")
CHARTS = {f"ppt/charts/chart{n}.xml": (CHART_XML, CHART_CT) for n in (2, 3)}
COPY_RELS = "ppt/slides/_rels/slide{}.xml.rels".format
# source slide's relationships, parts, options, source number, new parts, the copy's targets (None: the
# source's relationships byte for byte), layout target, the lint's findings (the copy repeats the source's)
COPIES = {
    "two relationships to one chart": (
        [
            LAYOUT,
            ("rId2", "chart", "../charts/chart3.xml"),
            ("rId3", "chart", "../charts/chart3.xml"),
        ],
        CHARTS,
        {},
        2,
        ["ppt/charts/chart1.xml", "ppt/charts/chart4.xml"],
        {"rId1": LAYOUT[2], "rId2": "../charts/chart1.xml", "rId3": "../charts/chart4.xml"},
        LAYOUT[2],
        [],
    ),
    # TargetMode in another letter case than the schema's: external here, internal to the lint.
    "shared only, external in any case": (
        [
            LAYOUT,
            ("rId2", "image", "../media/image1.png"),
            ("rId3", "tags", "http://x/", "EXTERNAL"),
        ],
        {},
        {},
        2,
        [],
        None,
        LAYOUT[2],
        [(COPY_RELS(4), "relationship targets exist")],
    ),
    "after the largest slide number": (
        [LAYOUT],
        {},
        {"slide_numbers": [1, 2, 7]},
        7,
        [],
        None,
        LAYOUT[2],
        [],
    ),
    "layout from rId10 before rId2": (
        [
            ("rId2", "slideLayout", "../slideLayouts/slideLayout1.xml"),
            ("rId10", "slideLayout", LAYOUT[2]),
        ],
        {},
        {},
        2,
        [],
        None,
        LAYOUT[2],
        [(slide(4), "layout chain")],
    ),
}


@pytest.mark.parametrize("case", COPIES)
def test_copies_number_their_parts_and_share_the_rest(deck, tmp_path, case):
    slide_rels, parts, options, number, new_parts, targets, layout, problems = COPIES[case]
    source = copy_deck(deck, tmp_path, slide_rels, source=number, parts=parts, **options)
    output = tmp_path / "copied.pptx"
    record = json.loads(native.duplicate_slide_json(str(source), str(output), slide(number)))
    copy = 8 if options else 4
    assert (record["slide_part"], record["layout_target"]) == (slide(copy), layout)
    assert zipfile.ZipFile(output).namelist()[-len(new_parts) - 2 :] == [
        *new_parts,
        slide(copy),
        COPY_RELS(copy),
    ]
    if targets:
        assert targets_of(output, COPY_RELS(copy)) == targets
    else:
        assert read(output, COPY_RELS(copy)) == read(source, COPY_RELS(number))
    assert [(p.part, p.rule) for p in package_problems(source, output)] == problems


def types_changed(change):
    return lambda path, tmp_path: rewrite_zip(
        path, tmp_path / "in2.pptx", {TYPES: change(read(path, TYPES))}
    )


MISSING = {
    "chart": "ppt/charts/chart9.xml",
    "notesSlide": "ppt/notesSlides/notesSlide9.xml",
    "comments": "ppt/comments/comment9.xml",
    "oleObject": "ppt/embeddings/oleObject9.bin",
}
WHAT = {
    "chart": "chart part",
    "notesSlide": "notes slide part",
    "comments": "comment part",
    "oleObject": "OLE part",
}
# source part, source slide's relationships (None: no relationships part), change, message
DUPLICATE_FAILURES = {
    "leading slash": (
        "/" + slide(2),
        [LAYOUT],
        None,
        "invalid input: source slide part /ppt/slides/slide2.xml was not found in the presentation",
    ),
    "no relationships part": (
        slide(2),
        None,
        None,
        "invalid input: source slide part ppt/slides/slide2.xml has no slide layout relationship",
    ),
    "layout before policy": (
        slide(2),
        [("rId2", "tags", "../tags/tag1.xml")],
        None,
        "invalid input: source slide part ppt/slides/slide2.xml has no slide layout relationship",
    ),
    "tags": (
        slide(2),
        [LAYOUT, ("rId2", "tags", "../tags/tag1.xml", "Internal")],
        None,
        f"invalid input: cannot duplicate slide relationship type {REL}tags without an explicit copy policy",
    ),
    "content types not UTF-8": (
        slide(2),
        [LAYOUT],
        types_changed(lambda t: t.replace(b"<Types", b"\xe2\x28<Types")),
        "xml text decode error: invalid utf-8 sequence of 1 bytes from index {at}",
    ),
    "content types cut in a character": (
        slide(2),
        [LAYOUT],
        types_changed(lambda t: t + b"\xf0\x9f\x98"),
        "xml text decode error: incomplete utf-8 byte sequence from index {at}",
    ),
    "content types unclosed": (
        slide(2),
        [LAYOUT],
        types_changed(lambda t: t.replace(b"</Types>", b"")),
        "invalid input: [Content_Types].xml is missing </Types>",
    ),
    "orphan relationships part": (
        slide(2),
        [LAYOUT],
        lambda path, tmp_path: rewrite_zip(
            path, tmp_path / "in2.pptx", {"ppt/slides/_rels/slide4.xml.rels": rels_xml(LAYOUT)}
        ),
        "zip error: entry name ppt/slides/_rels/slide4.xml.rels is already in the archive",
    ),
    **{
        f"{kind} missing": (
            slide(2),
            [LAYOUT, ("rId2", kind, "../" + MISSING[kind][4:])],
            None,
            f"invalid input: {WHAT[kind]} {MISSING[kind]} was not found",
        )
        for kind in MISSING
    },
}


@pytest.mark.parametrize("case", DUPLICATE_FAILURES)
def test_duplication_failures_write_nothing(deck, tmp_path, case):
    part, slide_rels, change, message = DUPLICATE_FAILURES[case]
    source = copy_deck(deck, tmp_path, slide_rels)
    source = change(source, tmp_path) if change else source
    original = source.read_bytes()
    types = read(source, TYPES)
    at = next((i for i in range(len(types)) if types[i] >= 0x80), 0)
    output = tmp_path / "new" / "out.pptx"
    with pytest.raises(RuntimeError) as raised:
        native.duplicate_slide_json(str(source), str(output), part)
    assert str(raised.value) == message.format(at=at)
    assert not output.exists() and source.read_bytes() == original


# ---------------------------------------------------------------------------------------------
# Real decks

REFUSED = {
    ("act-props.pptm", "ppt/slides/slide3.xml"): "vmlDrawing",
    ("ph-populated-placeholders.pptx", "ppt/slides/slide8.xml"): "diagramData",
}


@pytest.mark.parametrize("source", real_decks("*.ppt*"), ids=lambda path: path.name)
def test_real_decks_lose_and_copy_each_slide(source, tmp_path):
    slides = [
        s["part"] for s in json.loads(native.summarize_presentation_json(str(source)))["slides"]
    ]
    output = tmp_path / f"out{source.suffix}"
    for part in slides:
        if len(slides) > 1:  # act-props.pptm slide 3 is listed in a custom show
            native.delete_slide_json(str(source), str(output), part)
            check_package(source, output)
        refused = REFUSED.get((source.name, part))
        if refused:
            with pytest.raises(
                RuntimeError,
                match=f"^invalid input: cannot duplicate slide relationship type "
                f"{REL}{refused} without an explicit copy policy$",
            ):
                native.duplicate_slide_json(str(source), str(output), part)
        else:
            native.duplicate_slide_json(str(source), str(output), part)
            check_package(source, output)


@pytest.mark.reader
@pytest.mark.parametrize("source", real_decks("*.ppt*"), ids=lambda path: path.name)
def test_real_decks_without_or_with_a_copy_of_their_first_slide_open(source, tmp_path):
    from reader import read_presentation

    slides = [
        s["part"] for s in json.loads(native.summarize_presentation_json(str(source)))["slides"]
    ]
    if not slides:
        pytest.skip("no slides")
    pages = read_presentation(source).page_count
    copied = tmp_path / f"copied{source.suffix}"
    native.duplicate_slide_json(str(source), str(copied), slides[0])
    check_package(source, copied, reader=True, expect_pages=pages + 1)
    if len(slides) > 1:
        deleted = tmp_path / f"deleted{source.suffix}"
        native.delete_slides_json(str(source), str(deleted), [slides[0]], slides[:0:-1])
        check_package(source, deleted, reader=True, expect_pages=pages - 1)
