"""Every real deck, copied and edited, opens in the presentation program and shows the edit."""

import json
import xml.etree.ElementTree as ET
import zipfile

import pytest
from conftest import real_decks
from deck_builder import NS_A, NS_P
from package_lint import check_package
from pelvane import pelvane_native as native

DECKS = real_decks()
BOX = (457200, 457200, 2743200, 914400)
SHAPE_TEXT = "Pelvane inserted shape"
BOX_TEXT = "Pelvane inserted box"
P, A = f"{{{NS_P}}}", f"{{{NS_A}}}"


def entry_names(path):
    with zipfile.ZipFile(path) as archive:
        return archive.namelist()


def listed_slides(path):
    with zipfile.ZipFile(path) as archive:
        return ET.fromstring(archive.read("ppt/presentation.xml")).findall(f"{P}sldIdLst/{P}sldId")


def first_group_box(package, slide_part):
    """The child extent of the slide's first top-level group, so a text box placed there shows
    on the page; None when the slide has no group."""
    with zipfile.ZipFile(package) as archive:
        root = ET.fromstring(archive.read(slide_part))
    group = root.find(f"{P}cSld/{P}spTree/{P}grpSp")
    if group is None:
        return None
    offset = group.find(f"{P}grpSpPr/{A}xfrm/{A}chOff")
    extent = group.find(f"{P}grpSpPr/{A}xfrm/{A}chExt")
    if offset is None or extent is None:
        return BOX
    return (
        int(offset.get("x")),
        int(offset.get("y")),
        int(extent.get("cx")),
        int(extent.get("cy")),
    )


@pytest.mark.reader
@pytest.mark.parametrize("source", DECKS, ids=lambda path: path.name)
def test_copied_and_edited_deck_opens(source, tmp_path):
    copy = tmp_path / f"copy{source.suffix}"
    native.roundtrip_package_json(str(source), str(copy))
    check_package(source, copy, reader=True)

    shape = tmp_path / f"shape{source.suffix}"
    box = tmp_path / f"box{source.suffix}"
    try:
        record = json.loads(
            native.add_slide_auto_shape_with_text_json(
                str(source), str(shape), 0, "rect", *BOX, SHAPE_TEXT
            )
        )
    except RuntimeError as error:
        assert str(error) == "invalid input: slide index 0 was not found"
        assert not listed_slides(source)
        with pytest.raises(RuntimeError, match="^invalid input: slide index 0 was not found$"):
            native.add_slide_text_box_with_text_json(str(source), str(box), 0, *BOX, BOX_TEXT)
        assert not shape.exists() and not box.exists()
        return
    check_package(source, shape, reader=True, expect_text={0: SHAPE_TEXT})

    # The text box goes into the edited deck: a second edit reads the first one's output.
    group = first_group_box(shape, record["slide_part"])
    if group is None:
        native.add_slide_text_box_with_text_json(str(shape), str(box), 0, *BOX, BOX_TEXT)
    else:
        native.add_slide_group_text_box_with_text_json(str(shape), str(box), 0, 0, *group, BOX_TEXT)
    check_package(shape, box, reader=True, expect_text={0: (SHAPE_TEXT, BOX_TEXT)})
    assert entry_names(box) == entry_names(source)
