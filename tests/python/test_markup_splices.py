"""Splices that find their place by searching a part's text: markup that only looks like a
marker (in a comment, in an attribute value, in a longer attribute name) must not mislead them."""

import json
import xml.etree.ElementTree as ET
import zipfile

import pytest
from deck_builder import NS_P, REL, group_xml, png_bytes, text_box_xml
from package_lint import check_package
from pelvane import pelvane_native as native

P = f"{{{NS_P}}}"
SLIDE, RELS, TYPES = (
    "ppt/slides/slide1.xml",
    "ppt/slides/_rels/slide1.xml.rels",
    "[Content_Types].xml",
)
BOX = (914400, 457200, 1828800, 914400)
PNG = png_bytes(1, 1, (9, 8, 7))
OLE = "/ppt/embeddings/oleObject1.bin"

SHAPE = lambda src, out, f: native.add_slide_auto_shape_json(src, out, 0, "rect", *BOX)  # noqa: E731
GROUP_SHAPE = lambda src, out, f: native.add_slide_group_auto_shape_with_text_json(  # noqa: E731
    src, out, 0, 0, "rect", *BOX, "x"
)
OLE_OBJECT = lambda src, out, f: native.add_slide_ole_object_json(  # noqa: E731
    src, out, 0, f["o.bin"], "Package", *BOX, None, 0, 0
)


def image(slide_index, file_name="new.png"):
    return lambda src, out, f: native.add_slide_image_json(
        src, out, slide_index, f[file_name], *BOX
    )


def child_of(tag):
    """The new shape is a child of the first `tag` element of the slide."""
    return lambda r, z: (
        str(r["shape_id"])
        in [
            e.get("id")
            for e in ET.fromstring(z.read(SLIDE)).find(f".//{P}{tag}").iterfind(f"./*/*/{P}cNvPr")
        ]
    )


def embedded_from(target):
    """The picture's relationship is an internal one to `target`."""

    def check(r, z):
        relationship = {e.get("Id"): e for e in ET.fromstring(z.read(RELS))}[r["relationship_id"]]
        return (relationship.get("Target"), relationship.get("TargetMode")) == (target, None)

    return check


def text_box_with_cnvpr(shape_id, written):
    return text_box_xml(shape_id, "t").replace(f'<p:cNvPr id="{shape_id}"', written)


# (case, build_deck options, {part: (old text, new text or the whole part)}, call, check)
CASES = [
    (
        "comment after the shape tree",
        {},
        {SLIDE: ("</p:spTree>", "</p:spTree><!-- </p:spTree> -->")},
        SHAPE,
        child_of("spTree"),
    ),
    (
        "comment inside a group",
        {"slide_shapes": [group_xml(2, text_box_xml(3, "t") + "<!-- </p:grpSp> -->")]},
        {},
        GROUP_SHAPE,
        child_of("grpSp"),
    ),
    (
        "greater-than in an attribute value",
        {
            "slide_shapes": [
                text_box_xml(3, "t") + text_box_with_cnvpr(4, '<p:cNvPr descr="a>b" id="4"')
            ]
        },
        {},
        SHAPE,
        lambda r, z: r["shape_id"] == 5,
    ),
    (
        "an attribute whose name ends in id",
        {
            "slide_shapes": [
                text_box_xml(3, "t") + text_box_with_cnvpr(4, '<p:cNvPr xid="1" id="4"')
            ]
        },
        {},
        SHAPE,
        lambda r, z: r["shape_id"] == 5,
    ),
    (
        "a Default mentioned in a comment",
        {},
        {
            TYPES: (
                "</Types>",
                '<!-- <Default Extension="gif" ContentType="image/gif"/> --></Types>',
            )
        },
        image(0, "new.gif"),
        None,
    ),
    (
        "an Override written with single quotes",
        {},
        {
            TYPES: (
                "</Types>",
                (
                    f"<Override PartName='{OLE}' "
                    "ContentType='application/vnd.openxmlformats-officedocument.oleObject'/></Types>"
                ),
            )
        },
        OLE_OBJECT,
        lambda r, z: [e.get("PartName") for e in ET.fromstring(z.read(TYPES))].count(OLE) == 1,
    ),
    (
        "an identical image below ppt/media",
        {"slides": 2, "media": {"ppt/media/images/x.png": PNG}},
        {},
        image(1),
        embedded_from("../media/images/x.png"),
    ),
    (
        "an external link with the image's target",
        {
            "media": {"image1.png": PNG},
            "media_rels": {},
            "extra_rels": {RELS: [("rId7", REL["image"], "../media/image1.png")]},
        },
        {
            RELS: (
                'Target="../media/image1.png"',
                'Target="../media/image1.png" TargetMode="External"',
            )
        },
        image(0),
        embedded_from("../media/image1.png"),
    ),
    (
        "a relationships part written as one tag",
        {},
        {
            RELS: (
                None,
                '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>',
            )
        },
        image(0),
        embedded_from("../media/image1.png"),
    ),
]


@pytest.mark.parametrize("case, options, changes, call, check", CASES, ids=[c[0] for c in CASES])
def test_markup_lookalikes_do_not_mislead_a_splice(
    deck, tmp_path, case, options, changes, call, check
):
    source = deck(**options)
    with zipfile.ZipFile(source) as archive:
        parts = {name: archive.read(name) for name in archive.namelist()}
    for name, (old, new) in changes.items():
        assert old is None or old.encode() in parts[name]
        parts[name] = (
            new.encode() if old is None else parts[name].replace(old.encode(), new.encode(), 1)
        )
    with zipfile.ZipFile(source, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in parts.items():
            archive.writestr(name, data)
    files = {name: str(tmp_path / name) for name in ("new.png", "new.gif", "o.bin")}
    for name, data in (("new.png", PNG), ("new.gif", b"GIF89a"), ("o.bin", b"object")):
        (tmp_path / name).write_bytes(data)
    output = tmp_path / "out.pptx"
    result = json.loads(call(str(source), str(output), files))
    check_package(source, output)
    if check:
        with zipfile.ZipFile(output) as archive:
            assert check(result, archive)
