"""Splices that find their place by searching a part's text: markup that only looks like a
marker (in a comment, in an attribute value, in a longer attribute name) must not mislead them,
and every output goes through the package checks."""

import json
import xml.etree.ElementTree as ET
import zipfile

import pytest

from deck_builder import NS_P, REL, group_xml, png_bytes, text_box_xml
from package_lint import check_package

from pelvane import pelvane_native as native

P = f"{{{NS_P}}}"
SLIDE, RELS, TYPES = "ppt/slides/slide1.xml", "ppt/slides/_rels/slide1.xml.rels", "[Content_Types].xml"
BOX = (914400, 457200, 1828800, 914400)
PNG = png_bytes(1, 1, (9, 8, 7))
OLE_TYPE = "application/vnd.openxmlformats-officedocument.oleObject"


def auto_shape(src, out, files):
    return native.add_slide_auto_shape_json(src, out, 0, "rect", *BOX)


def image(slide_index, file_name="new.png"):
    return lambda src, out, files: native.add_slide_image_json(
        src, out, slide_index, files[file_name], *BOX)


def group_shape(src, out, files):
    return native.add_slide_group_auto_shape_with_text_json(src, out, 0, 0, "rect", *BOX, "x")


def ole_object(src, out, files):
    return native.add_slide_ole_object_json(src, out, 0, files["o.bin"], "Package", *BOX, None, 0, 0)


def in_element(parent_tag):
    """The new shape is a child of the first element `parent_tag` of slide 1."""
    def check(result, archive):
        parent = ET.fromstring(archive.read(SLIDE)).find(f".//{P}{parent_tag}")
        ids = [e.get("id") for e in parent.iterfind(f"./*/*/{P}cNvPr")]
        assert str(result["shape_id"]) in ids
    return check


def new_id(expected):
    def check(result, archive):
        assert result["shape_id"] == expected
    return check


def one_override(part_name):
    def check(result, archive):
        types = ET.fromstring(archive.read(TYPES))
        assert [o.get("PartName") for o in types].count(part_name) == 1
    return check


def embedded_from(part_name):
    """The picture's relationship is an internal one that names `part_name`."""
    def check(result, archive):
        rels = {r.get("Id"): r for r in ET.fromstring(archive.read(RELS))}
        relationship = rels[result["relationship_id"]]
        assert relationship.get("TargetMode") is None
        assert relationship.get("Target") == part_name
    return check


def text_box_with_cnvpr(shape_id, written):
    """A text box whose `p:cNvPr` start is written as `written` instead of the plain form."""
    return text_box_xml(shape_id, "t").replace(f'<p:cNvPr id="{shape_id}"', written)


# (case, build_deck options, {part: (old, new)} text changes, call, check of the result)
CASES = [
    ("comment after the shape tree", {}, {SLIDE: ("</p:spTree>", "</p:spTree><!-- </p:spTree> -->")},
     auto_shape, in_element("spTree")),
    ("comment inside a group", {"slide_shapes": [group_xml(2, text_box_xml(3, "t") + "<!-- </p:grpSp> -->")]},
     {}, group_shape, in_element("grpSp")),
    ("greater-than in an attribute value",
     {"slide_shapes": [text_box_xml(3, "t") + text_box_with_cnvpr(4, '<p:cNvPr descr="a>b" id="4"')]},
     {}, auto_shape, new_id(5)),
    ("an attribute whose name ends in id",
     {"slide_shapes": [text_box_xml(3, "t") + text_box_with_cnvpr(4, '<p:cNvPr xid="1" id="4"')]},
     {}, auto_shape, new_id(5)),
    ("a Default mentioned in a comment", {},
     {TYPES: ("</Types>", '<!-- <Default Extension="gif" ContentType="image/gif"/> --></Types>')},
     image(0, "new.gif"), None),
    ("an Override written with single quotes", {},
     {TYPES: ("</Types>", f"<Override PartName='/ppt/embeddings/oleObject1.bin' ContentType='{OLE_TYPE}'/></Types>")},
     ole_object, one_override("/ppt/embeddings/oleObject1.bin")),
    ("an identical image below ppt/media", {"slides": 2, "media": {"ppt/media/images/x.png": PNG}},
     {}, image(1), embedded_from("../media/images/x.png")),
    ("an external link with the image's target", {"media": {"image1.png": PNG}, "media_rels": {},
                                                  "extra_rels": {RELS: [("rId7", REL["image"], "../media/image1.png")]}},
     {RELS: ('Target="../media/image1.png"', 'Target="../media/image1.png" TargetMode="External"')},
     image(0), embedded_from("../media/image1.png")),
    ("a relationships part written as one tag", {},
     {RELS: ("__whole__", f'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>')},
     image(0), embedded_from("../media/image1.png")),
]


def changed(path, changes):
    """The package with each named part's text changed: the first `old` becomes `new` (the whole
    part when `old` is "__whole__")."""
    with zipfile.ZipFile(path) as archive:
        parts = {info.filename: archive.read(info) for info in archive.infolist()}
    for name, (old, new) in changes.items():
        text = parts[name].decode()
        assert old == "__whole__" or old in text, (name, old)
        parts[name] = (new if old == "__whole__" else text.replace(old, new, 1)).encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in parts.items():
            archive.writestr(name, data)
    return path


@pytest.mark.parametrize("case, options, changes, call, check", CASES, ids=[c[0] for c in CASES])
def test_markup_lookalikes_do_not_mislead_a_splice(deck, tmp_path, case, options, changes, call, check):
    source = changed(deck(**options), changes)
    files = {}
    for name, data in (("new.png", PNG), ("new.gif", b"GIF89a"), ("o.bin", b"object")):
        files[name] = str(tmp_path / name)
        (tmp_path / name).write_bytes(data)
    output = tmp_path / "out.pptx"
    result = json.loads(call(str(source), str(output), files))
    check_package(source, output)
    if check:
        with zipfile.ZipFile(output) as archive:
            check(result, archive)
