"""Presentation and slide summaries from Python: golden JSON on generated decks, failures,
hostile nesting and the real decks."""

import json
import struct
import xml.etree.ElementTree as ElementTree
import zipfile

import pelvane.pelvane_native as native
import pytest
from deck_builder import NS_A, NS_P, NS_R, PNG_1X1, text_box_xml, title_shape_xml

NS_MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"
NS_P14 = "http://schemas.microsoft.com/office/powerpoint/2010/main"
NS_C = "http://schemas.openxmlformats.org/drawingml/2006/chart"
DOC_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
MEDIA_REL = "http://schemas.microsoft.com/office/2007/relationships/media"
TREE_START = (
    '<p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/>'
    "</p:nvGrpSpPr><p:grpSpPr/>"
)


def summarize_slide(path, index):
    return native.summarize_slide_at_index_json(str(path), index)


def rewrite_entries(path, changes):
    """Rewrites the package with some entries replaced (bytes) or removed (None)."""
    with zipfile.ZipFile(path) as archive:
        entries = [(info, archive.read(info)) for info in archive.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for info, data in entries:
            if info.filename in changes:
                data = changes.pop(info.filename)
                if data is None:
                    continue
            archive.writestr(info, data)
        for name, data in changes.items():
            archive.writestr(name, data)


def relationships_as_read(path, rels_name):
    """A slide's relationships as ElementTree reads them, sorted by id then target."""
    with zipfile.ZipFile(path) as archive:
        root = ElementTree.fromstring(archive.read(rels_name))
    rels = [
        {
            "id": rel.get("Id"),
            "relationship_type": rel.get("Type"),
            "target": rel.get("Target"),
            "target_mode": rel.get("TargetMode"),
        }
        for rel in root
    ]
    return sorted(rels, key=lambda rel: (rel["id"].encode(), rel["target"].encode()))


def shape(**fields):
    """A shape summary with the values of a shape that holds nothing, overridden by `fields`."""
    record = {
        "id": None,
        "name": None,
        "kind": "shape",
        "is_placeholder": False,
        "placeholder_type": None,
        "placeholder_idx": None,
        "text": "",
        "paragraphs": [],
        "paragraph_runs": [],
        "paragraph_line_breaks": [],
        "paragraph_fields": [],
        "paragraph_run_bold": [],
        "paragraph_run_italic": [],
        "paragraph_run_underline": [],
        "paragraph_run_font_size": [],
        "paragraph_run_font_name": [],
        "tables": [],
        "relationship_ids": [],
        "has_chart": False,
        "has_picture": False,
        "has_group": False,
        "transform": None,
        "effective_transform": None,
        "children": [],
    }
    assert set(fields) <= set(record), set(fields) - set(record)
    record.update(fields)
    return record


def plain_runs(paragraph_runs, **fields):
    """`shape` for paragraphs of runs without formatting."""
    nulls = [[None] * len(runs) for runs in paragraph_runs]
    paragraphs = ["".join(runs) for runs in paragraph_runs]
    defaults = dict(
        text="\n".join(paragraphs),
        paragraphs=paragraphs,
        paragraph_runs=paragraph_runs,
        paragraph_line_breaks=[[] for _ in paragraph_runs],
        paragraph_fields=[[] for _ in paragraph_runs],
        paragraph_run_bold=nulls,
        paragraph_run_italic=nulls,
        paragraph_run_underline=nulls,
        paragraph_run_font_size=nulls,
        paragraph_run_font_name=nulls,
    )
    defaults.update(fields)
    return shape(**defaults)


def xfrm(x, y, cx, cy, child=None, tag="a:xfrm"):
    inner = f'<a:off x="{x}" y="{y}"/><a:ext cx="{cx}" cy="{cy}"/>'
    if child:
        inner += (
            f'<a:chOff x="{child[0]}" y="{child[1]}"/><a:chExt cx="{child[2]}" cy="{child[3]}"/>'
        )
    return f"<{tag}>{inner}</{tag}>"


def box(x, y, cx, cy):
    return {"x": x, "y": y, "cx": cx, "cy": cy}


def group(shape_id, frame, children):
    return (
        f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{shape_id}" name="Group {shape_id}"/><p:cNvGrpSpPr/>'
        f"<p:nvPr/></p:nvGrpSpPr><p:grpSpPr>{frame}</p:grpSpPr>{children}</p:grpSp>"
    )


def table_frame(shape_id, rows, frame=""):
    cells = "".join(
        '<a:tr h="500">'
        + "".join(
            f"<a:tc><a:txBody><a:bodyPr/><a:p><a:r><a:t>{text}</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc>"
            for text in row
        )
        + "</a:tr>"
        for row in rows
    )
    return (
        f'<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{shape_id}" name="Table {shape_id}"/>'
        f"<p:cNvGraphicFramePr/><p:nvPr/></p:nvGraphicFramePr>{frame}<a:graphic>"
        '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/table"><a:tbl><a:tblPr/>'
        f'<a:tblGrid><a:gridCol w="1000"/></a:tblGrid>{cells}</a:tbl></a:graphicData></a:graphic>'
        "</p:graphicFrame>"
    )


# Slide 1: run formatting, with values absent, odd and present.
FORMATTED_BOX = (
    '<p:sp><p:nvSpPr><p:cNvPr id="3" name="Body"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
    f"<p:spPr>{xfrm(10, 20, 30, 40)}</p:spPr><p:txBody><a:bodyPr/>"
    '<a:p><a:r><a:rPr lang="en-US" b="1" i="0" u="sng" sz="1800"><a:latin typeface="Arial"/></a:rPr>'
    "<a:t>Bold</a:t></a:r><a:r><a:t> plain</a:t></a:r><a:br/>"
    '<a:r><a:rPr b="maybe" u="none" sz="12.5"/><a:t>odd</a:t></a:r>'
    '<a:fld id="{B6F15528-21DE-4FAA-801E-634DDDAF4B2B}" type="slidenum"><a:t>7</a:t></a:fld></a:p>'
    '<a:p/><a:p><a:r><a:rPr i="true"/><a:t>A &amp; B</a:t></a:r></a:p></p:txBody></p:sp>'
)

# Slide 2: a scaled group holding a text box and a table, and a group without a child frame.
GROUPS = group(
    10,
    xfrm(1000, 2000, 4000, 2000, child=(0, 0, 2000, 1000)),
    text_box_xml(11, "Inside", name="Inner", x=500, y=500, cx=1000, cy=1000)
    + table_frame(12, [["A1", "B1"], ["A2"]], frame=xfrm(0, 0, 2000, 1000, tag="p:xfrm")),
) + group(
    20,
    xfrm(100, 200, 300, 400),
    '<p:pic><p:nvPicPr><p:cNvPr id="21" name="Photo"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr>'
    f'<p:blipFill><a:blip r:embed="rId2"/></p:blipFill><p:spPr>{xfrm(10, 20, 30, 40)}</p:spPr>'
    "</p:pic>",
)

# Slide 3 is written whole: frames, a wrapped shape and table, transition and timing.
FRAMES_SLIDE = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
    f'<p:sld xmlns:a="{NS_A}" xmlns:r="{NS_R}" xmlns:p="{NS_P}" xmlns:mc="{NS_MC}" '
    f'xmlns:p14="{NS_P14}" xmlns:c="{NS_C}"><p:cSld>{TREE_START}'
    '<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="2" name="Chart 1"/><p:cNvGraphicFramePr/>'
    f"<p:nvPr/></p:nvGraphicFramePr>{xfrm(1, 2, 3, 4, tag='p:xfrm')}<a:graphic>"
    '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart"><c:chart r:id="rId3"/>'
    "</a:graphicData></a:graphic></p:graphicFrame>"
    '<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="3" name="Object 2"/><p:cNvGraphicFramePr/>'
    f"<p:nvPr/></p:nvGraphicFramePr>{xfrm(9, 9, 9, 9, tag='p:xfrm')}<a:graphic>"
    '<a:graphicData uri="http://schemas.openxmlformats.org/presentationml/2006/ole">'
    '<p:oleObj r:id="rId4" progId="Package"><p:embed/></p:oleObj></a:graphicData></a:graphic>'
    "</p:graphicFrame>"
    '<p:pic><p:nvPicPr><p:cNvPr id="4" name="Movie 3"><a:hlinkClick r:id="" action="ppaction://media"/>'
    '</p:cNvPr><p:cNvPicPr/><p:nvPr><a:videoFile r:link="rId5"/><p:extLst>'
    '<p:ext uri="{DAA4B4D4-6D71-4841-9C94-3DE7FCFB9230}"><p14:media r:embed="rId6"/></p:ext>'
    '</p:extLst></p:nvPr></p:nvPicPr><p:blipFill><a:blip r:embed="rId7"/></p:blipFill>'
    f"<p:spPr>{xfrm(5, 6, 7, 8)}</p:spPr></p:pic>"
    '<mc:AlternateContent><mc:Choice Requires="p14">'
    + text_box_xml(5, "Choice text")
    + "</mc:Choice><mc:Fallback>"
    + table_frame(6, [["Fallback cell"]])
    + "</mc:Fallback></mc:AlternateContent></p:spTree></p:cSld>"
    '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr><p:transition spd="fast"/>'
    '<mc:AlternateContent><mc:Choice Requires="p14"><p:timing><p:tnLst/></p:timing></mc:Choice>'
    "<mc:Fallback/></mc:AlternateContent></p:sld>"
)

FRAME_RELATIONSHIPS = [
    ("rId3", DOC_REL + "chart", "../charts/chart1.xml", None),
    ("rId4", DOC_REL + "oleObject", "../embeddings/oleObject1.bin", None),
    ("rId5", DOC_REL + "video", "../media/media1.mp4", None),
    ("rId6", MEDIA_REL, "../media/media1.mp4", None),
    ("rId7", DOC_REL + "image", "../media/image2.png", None),
    ("rId8", DOC_REL + "comments", "../comments/comment1.xml", None),
    ("rId10", DOC_REL + "hyperlink", "https://example.com/a?b=1&c=2", "External"),
]

# Slide 5: bytes that are not UTF-8 in a shape name and in a text; no relationships part.
BROKEN_SLIDE = (
    (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        f'<p:sld xmlns:a="{NS_A}" xmlns:r="{NS_R}" xmlns:p="{NS_P}"><p:cSld>{TREE_START}'
        '<p:sp><p:nvSpPr><p:cNvPr id="2" name="Name@@"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr/>'
        "<p:txBody><a:bodyPr/><a:p><a:r><a:t>ok@bad</a:t></a:r></a:p><a:p><a:r><a:t>fine</a:t></a:r>"
        "</a:p></p:txBody></p:sp></p:spTree></p:cSld></p:sld>"
    )
    .encode()
    .replace(b"Name@@", b"Name\xff\xfe")
    .replace(b"ok@bad", b"ok\xffbad")
)


@pytest.fixture(scope="module")
def summary_deck(tmp_path_factory):
    """Five slides, one per concern above; notes on the fourth."""
    from deck_builder import build_deck

    path = tmp_path_factory.mktemp("summaries") / "summaries.pptx"
    build_deck(
        path,
        slides=5,
        slide_shapes=[
            title_shape_xml("Hello") + FORMATTED_BOX,
            GROUPS,
            None,
            text_box_xml(2, "With notes"),
            None,
        ],
        notes={3: "Speaker words"},
        media={"image1.png": PNG_1X1},
        media_rels={1: ["image1.png"]},
    )
    layout = relationships_as_read(path, "ppt/slides/_rels/slide3.xml.rels")
    rels = "".join(
        f'<Relationship Id="{rel_id}" Type="{rel_type}" Target="{target.replace("&", "&amp;")}"'
        + (f' TargetMode="{mode}"' if mode else "")
        + "/>"
        for rel_id, rel_type, target, mode in [
            (r["id"], r["relationship_type"], r["target"], None) for r in layout
        ]
        + FRAME_RELATIONSHIPS
    )
    rewrite_entries(
        path,
        {
            "ppt/slides/slide3.xml": FRAMES_SLIDE.encode(),
            "ppt/slides/_rels/slide3.xml.rels": f'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">{rels}'
            "</Relationships>".encode(),
            "ppt/slides/slide5.xml": BROKEN_SLIDE,
            "ppt/slides/_rels/slide5.xml.rels": None,
        },
    )
    return path


def test_run_formatting_golden_text(summary_deck):
    nothing = [[None]]
    expected = {
        "part": "ppt/slides/slide1.xml",
        "texts": ["Hello", "Bold", "plain", "odd", "7", "A&B"],
        "shapes": [
            plain_runs(
                [["Hello"]], id="2", name="Title 1", is_placeholder=True, placeholder_type="title"
            ),
            shape(
                id="3",
                name="Body",
                text="Bold plain\u000bodd7\n\nA & B",
                paragraphs=["Bold plain\u000bodd7", "", "A & B"],
                paragraph_runs=[["Bold", " plain", "odd"], [], ["A & B"]],
                paragraph_line_breaks=[[2], [], []],
                paragraph_fields=[[{"run_slot": 3, "line_breaks_before": 1, "text": "7"}], [], []],
                paragraph_run_bold=[[True, None, None], [], nothing[0]],
                paragraph_run_italic=[[False, None, None], [], [True]],
                paragraph_run_underline=[[True, None, False], [], nothing[0]],
                paragraph_run_font_size=[[228600, None, None], [], nothing[0]],
                paragraph_run_font_name=[["Arial", None, None], [], nothing[0]],
                transform=box(10, 20, 30, 40),
                effective_transform=box(10, 20, 30, 40),
            ),
        ],
        "tables": [],
        "notes": [],
        "relationships": relationships_as_read(summary_deck, "ppt/slides/_rels/slide1.xml.rels"),
        "image_relationships": [],
        "chart_relationships": [],
        "comment_relationships": [],
        "media_relationships": [],
        "ole_relationships": [],
        "has_transition": False,
        "has_timing": False,
    }
    # Python's own pretty printer writes the same layout: keys in order, two blanks, nulls.
    assert summarize_slide(summary_deck, 0) == json.dumps(expected, indent=2, ensure_ascii=False)


def test_groups_place_children_and_report_their_tables(summary_deck):
    slide = json.loads(summarize_slide(summary_deck, 1))
    table = {"rows": [["A1", "B1"], ["A2"]], "row_count": 2, "col_count": 2}
    inner_box = plain_runs(
        [["Inside"]],
        id="11",
        name="Inner",
        transform=box(500, 500, 1000, 1000),
        effective_transform=box(2000, 3000, 2000, 2000),
    )
    table_shape = plain_runs(
        [["A1"], ["B1"], ["A2"]],
        id="12",
        name="Table 12",
        kind="graphic_frame",
        tables=[table],
        transform=box(0, 0, 2000, 1000),
        effective_transform=box(1000, 2000, 4000, 2000),
    )
    photo = shape(
        id="21",
        name="Photo",
        kind="picture",
        has_picture=True,
        relationship_ids=["rId2"],
        transform=box(10, 20, 30, 40),
        effective_transform=box(110, 220, 30, 40),
    )
    assert slide["shapes"] == [
        plain_runs(
            [["Inside"], ["A1"], ["B1"], ["A2"]],
            id="10",
            name="Group 10",
            kind="group",
            has_group=True,
            tables=[table],
            transform=box(1000, 2000, 4000, 2000),
            effective_transform=box(1000, 2000, 4000, 2000),
            children=[inner_box, table_shape],
        ),
        shape(
            id="20",
            name="Group 20",
            kind="group",
            has_group=True,
            relationship_ids=["rId2"],
            transform=box(100, 200, 300, 400),
            effective_transform=box(100, 200, 300, 400),
            children=[photo],
        ),
    ]
    assert slide["tables"] == [table]
    assert slide["texts"] == ["Inside", "A1", "B1", "A2"]
    assert [rel["id"] for rel in slide["image_relationships"]] == ["rId2"]


def test_frames_wrapped_content_flags_and_relationship_kinds(summary_deck):
    slide = json.loads(summarize_slide(summary_deck, 2))
    assert slide["shapes"] == [
        shape(
            id="2",
            name="Chart 1",
            kind="graphic_frame",
            relationship_ids=["rId3"],
            has_chart=True,
            transform=box(1, 2, 3, 4),
            effective_transform=box(1, 2, 3, 4),
        ),
        shape(
            id="3",
            name="Object 2",
            kind="ole_object",
            relationship_ids=["rId4"],
            transform=box(9, 9, 9, 9),
            effective_transform=box(9, 9, 9, 9),
        ),
        # The movie's empty click-action id is listed too.
        shape(
            id="4",
            name="Movie 3",
            kind="movie",
            relationship_ids=["", "rId5", "rId6", "rId7"],
            transform=box(5, 6, 7, 8),
            effective_transform=box(5, 6, 7, 8),
        ),
    ]
    # What sits inside mc:AlternateContent is no shape, but its texts and tables are the slide's.
    assert slide["texts"] == ["Choice text", "Fallback cell"]
    assert slide["tables"] == [{"rows": [["Fallback cell"]], "row_count": 1, "col_count": 1}]
    assert slide["has_transition"] is True
    assert slide["has_timing"] is True

    ids = lambda key: [rel["id"] for rel in slide[key]]  # noqa: E731
    assert ids("relationships") == ["rId1", "rId10", "rId3", "rId4", "rId5", "rId6", "rId7", "rId8"]
    assert ids("image_relationships") == ["rId7"]
    assert ids("chart_relationships") == ["rId3"]
    assert ids("comment_relationships") == ["rId8"]
    assert ids("media_relationships") == ["rId5", "rId6"]
    assert ids("ole_relationships") == ["rId4"]
    external = slide["relationships"][1]
    assert external == {
        "id": "rId10",
        "relationship_type": DOC_REL + "hyperlink",
        "target": "https://example.com/a?b=1&c=2",
        "target_mode": "External",
    }
    assert slide["relationships"][0]["target_mode"] is None


def test_notes_come_from_the_notes_slide(summary_deck):
    summary = json.loads(native.summarize_presentation_json(str(summary_deck)))
    assert [slide["notes"] for slide in summary["slides"]] == [[], [], [], ["Speaker words"], []]


def test_invalid_utf8_and_a_missing_relationships_part(summary_deck):
    slide = json.loads(summarize_slide(summary_deck, 4))
    assert slide["shapes"][0]["name"] == "Name\ufffd\ufffd"
    assert slide["shapes"][0]["paragraphs"] == ["ok\ufffdbad", "fine"]
    # The slide's own text reader drops the piece it cannot decode.
    assert slide["texts"] == ["fine"]
    for key in (
        "relationships",
        "image_relationships",
        "chart_relationships",
        "comment_relationships",
        "media_relationships",
        "ole_relationships",
        "notes",
    ):
        assert slide[key] == [], key


def test_presentation_lists_every_slide_in_order(summary_deck, tmp_path, monkeypatch):
    monkeypatch.chdir(summary_deck.parent)
    text = native.summarize_presentation_json(summary_deck.name)
    summary = json.loads(text)
    assert list(summary) == ["path", "slide_count", "slides", "has_vba"]
    assert summary["path"] == summary_deck.name
    assert summary["slide_count"] == 5
    assert summary["has_vba"] is False
    for index, slide in enumerate(summary["slides"]):
        assert slide == json.loads(summarize_slide(summary_deck, index))
        assert slide["part"] == f"ppt/slides/slide{index + 1}.xml"


def test_presentation_order_and_macro_flag(deck):
    path = deck(slides=3, titles=["first", "second", "third"], order=[2, 0, 1], vba=True)
    summary = json.loads(native.summarize_presentation_json(str(path)))
    assert [slide["texts"] for slide in summary["slides"]] == [["third"], ["first"], ["second"]]
    assert summary["has_vba"] is True
    assert json.loads(summarize_slide(path, 0))["part"] == "ppt/slides/slide3.xml"


def test_failures(deck, tmp_path):
    path = deck(slides=2)
    with pytest.raises(RuntimeError) as caught:
        summarize_slide(path, 2)
    assert caught.value.args == ("invalid input: slide index 2 was not found",)

    empty = deck(slides=0)
    assert json.loads(native.summarize_presentation_json(str(empty)))["slides"] == []
    with pytest.raises(RuntimeError, match=r"^invalid input: slide index 0 was not found$"):
        summarize_slide(empty, 0)

    with pytest.raises(RuntimeError, match=r"^io error: "):
        native.summarize_presentation_json(str(tmp_path / "missing.pptx"))
    not_zip = tmp_path / "not-a-zip.pptx"
    not_zip.write_bytes(b"plain text")
    with pytest.raises(RuntimeError, match=r"^zip error: "):
        summarize_slide(not_zip, 0)

    # A slide part whose compressed bytes are damaged: a read failure, not a crash.
    damaged = deck(slides=1, titles=[" ".join(str(n * 7919 % 10007) for n in range(800))])
    data = bytearray(damaged.read_bytes())
    with zipfile.ZipFile(damaged) as archive:
        info = archive.getinfo("ppt/slides/slide1.xml")
    start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
    data[start + 20 : start + 60] = bytes(40)
    damaged.write_bytes(bytes(data))
    with pytest.raises(RuntimeError, match=r"^io error: "):
        summarize_slide(damaged, 0)


def test_deeply_nested_groups_do_not_crash(deck):
    # Under 4 MiB of slide: a part past that and past 100 times its stored size is refused unread.
    depth = 90_000
    tree = (
        "<p:grpSp><p:grpSpPr></p:grpSpPr>" * depth + text_box_xml(2, "deep") + "</p:grpSp>" * depth
    )
    path = deck(slides=1, slide_shapes=[tree])
    slide = json.loads(summarize_slide(path, 0))
    levels, node = 1, slide["shapes"][0]
    while node["children"]:
        node = node["children"][0]
        levels += 1
    # Groups nested past the limit are listed without their children; their text still counts.
    assert levels == 257
    assert node["kind"] == "group"
    assert node["paragraphs"] == ["deep"]
    assert slide["texts"] == ["deep"]


def with_entry_comment(package):
    """The package with a comment on its first entry, which sends it to the archive library."""
    size, offset = struct.unpack_from("<II", package, len(package) - 10)
    header = bytearray(package[offset : offset + 46])
    name_and_extra = sum(struct.unpack_from("<HH", header, 28))
    assert struct.unpack_from("<H", header, 32) == (0,)
    struct.pack_into("<H", header, 32, 1)
    end = bytearray(package[-22:])
    struct.pack_into("<I", end, 12, size + 1)
    rest = package[offset + 46 : len(package) - 22]
    return package[:offset] + header + rest[:name_and_extra] + b"c" + rest[name_and_extra:] + end


def test_real_decks_summarise(shared_decks, tmp_path):
    decks = sorted(p for p in shared_decks.iterdir() if p.suffix in (".pptx", ".pptm"))
    assert decks
    for path in decks:
        summary = json.loads(native.summarize_presentation_json(str(path)))
        assert summary["slide_count"] == len(summary["slides"])
        assert summary["has_vba"] == (path.suffix == ".pptm")
        for index, slide in enumerate(summary["slides"]):
            assert json.loads(summarize_slide(path, index)) == slide, (path.name, index)
        with pytest.raises(RuntimeError, match="slide index"):
            summarize_slide(path, summary["slide_count"])
        # Read through the archive library, with an archive stored as its last entry (its end
        # record in the deck's tail), and with zero bytes after its end record, it says the same.
        commented = tmp_path / f"commented{path.suffix}"
        commented.write_bytes(with_entry_comment(path.read_bytes()))
        stored = tmp_path / f"stored{path.suffix}"
        stored.write_bytes(path.read_bytes())
        with zipfile.ZipFile(stored, "a") as archive:
            archive.writestr("ppt/embeddings/package.zip", path.read_bytes(), zipfile.ZIP_STORED)
        padded = tmp_path / f"padded{path.suffix}"
        padded.write_bytes(path.read_bytes() + bytes(100))
        parts = json.loads(native.inspect_package_json(str(path)))["parts"]
        variants = ((commented, []), (stored, ["ppt/embeddings/package.zip"]), (padded, []))
        for variant, more in variants:
            said = json.loads(native.summarize_presentation_json(str(variant)))
            assert said | {"path": str(path)} == summary, path.name
            listed = json.loads(native.inspect_package_json(str(variant)))["parts"]
            assert sorted(p["name"] for p in listed) == sorted([p["name"] for p in parts] + more)
            assert [p for p in listed if p["name"] not in more] == parts, path.name
