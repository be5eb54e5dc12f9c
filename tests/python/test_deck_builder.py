"""The fixture builder must write packages that are valid, since every other test trusts them."""

import re
import zipfile

from deck_builder import PNG_1X1, group_xml, picture_xml, text_box_xml
from package_lint import check_package

PML_PARTS = re.compile(
    r"ppt/(presentation|slides/slide\d+|slideLayouts/slideLayout\d+|"
    r"slideMasters/slideMaster\d+|notesSlides/notesSlide\d+|"
    r"notesMasters/notesMaster\d+)\.xml$"
)


def rich_deck(deck):
    return deck(
        slides=4,
        notes={1: "speaker text", 3: "more"},
        layouts=5,
        slide_shapes={
            2: text_box_xml(2, ["a & b", "", "<c>"]),
            3: group_xml(2, text_box_xml(3, "x") + picture_xml(4, "rId2")),
        },
        media={"image1.png": PNG_1X1, "clip.mp4": b"\0" * 64},
        media_rels={0: ["image1.png"], 3: ["image1.png", "clip.mp4"]},
        vba=True,
        comment=b"note",
        stored=["ppt/media/image1.png"],
        directories=["ppt/media"],
        slide_numbers=[1, 2, 10, 3],
        order=[3, 0, 2, 1],
        extra_parts={"customXml/item1.xml": "<root/>"},
    )


def test_the_package_passes_the_lint(deck):
    """Every presentation part validates; content types, relationships and shape ids hold."""
    path = rich_deck(deck)
    with zipfile.ZipFile(path) as archive:
        assert len([n for n in archive.namelist() if PML_PARTS.match(n)]) == 1 + 4 + 5 + 1 + 2 + 1
    check_package(None, path)


def test_package_structure_is_consistent(deck):
    with zipfile.ZipFile(rich_deck(deck)) as archive:
        assert archive.comment == b"note"
        assert archive.getinfo("ppt/media/image1.png").compress_type == zipfile.ZIP_STORED
        assert archive.getinfo("ppt/slides/slide1.xml").compress_type == zipfile.ZIP_DEFLATED
        assert archive.getinfo("ppt/media/").is_dir()
        assert "macroEnabled.main+xml" in archive.read("[Content_Types].xml").decode()
        # Presentation order follows `order`, with part numbers from `slide_numbers`.
        pres = archive.read("ppt/presentation.xml").decode()
        rels = dict(
            re.findall(
                r'Id="(rId\d+)" Type="[^"]+/slide" Target="([^"]+)"',
                archive.read("ppt/_rels/presentation.xml.rels").decode(),
            )
        )
        listed = [rels[rid] for rid in re.findall(r'<p:sldId id="\d+" r:id="(rId\d+)"', pres)]
        assert listed == [
            "slides/slide3.xml",
            "slides/slide1.xml",
            "slides/slide10.xml",
            "slides/slide2.xml",
        ]
        assert "&lt;c&gt;" in archive.read("ppt/slides/slide10.xml").decode()
