"""The package lint and the reader fail on the faults they exist to catch, naming part and rule."""

import re
import zipfile

import pytest
from deck_builder import PNG_1X1, picture_xml, text_box_xml, title_shape_xml
from package_lint import NS_P14, PML_XSD, check_package, validate_against_schema, validate_parts
from reader import read_presentation

needs_schemas = pytest.mark.skipif(
    not PML_XSD.is_file(), reason=f"the schemas are not beside the repository ({PML_XSD.parent})"
)

SLIDE = "ppt/slides/slide1.xml"
TYPES = "[Content_Types].xml"
ALTERNATE = (
    '<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
    '<mc:Choice Requires="p14"><p:sp><p:nvSpPr><p:cNvPr id="9" name="x"/></p:nvSpPr></p:sp>'
    "</mc:Choice><mc:Fallback/></mc:AlternateContent>"
)


@pytest.fixture
def source(deck):
    # Slide 0: title (id 2), picture (id 3, r:embed rId2), text box (id 4).
    return deck(
        slides=2,
        media={"image1.png": PNG_1X1},
        slide_shapes={0: title_shape_xml("t") + picture_xml(3, "rId2") + text_box_xml(4, "box")},
    )


def rewrite(source, output, change):
    """Copies the package with ``change`` applied to its {name: text} entries."""
    with zipfile.ZipFile(source) as archive:
        parts = {n: archive.read(n).decode("latin-1") for n in archive.namelist()}
    change(parts)
    with zipfile.ZipFile(output, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in parts.items():
            for entry in name if isinstance(name, tuple) else (name,):
                archive.writestr(entry, text.encode("latin-1"))
    return output


def edit(name, old, new, count=1):
    def change(parts):
        assert old in parts[name], old
        parts[name] = parts[name].replace(old, new, count)

    return change


def drop(name):
    return lambda parts: parts.pop(name)


def add(name, text):
    return lambda parts: parts.update({name: text})


def swap_name_and_properties(parts):
    parts[SLIDE] = re.sub(r"(<p:nvSpPr>.*?</p:nvSpPr>)(<p:spPr/>)", r"\2\1", parts[SLIDE], count=1)


def twice(parts):
    parts[("ppt/media/image1.png", "ppt/media/image1.png")] = parts.pop("ppt/media/image1.png")


SLIDE_RELS = "ppt/slides/_rels/slide1.xml.rels"
# A connector from the text box (id 4) to an id no shape has.
GLUED = (
    '<p:cxnSp><p:nvCxnSpPr><p:cNvPr id="5" name="c"/><p:cNvCxnSpPr><a:stCxn id="4" idx="0"/>'
    '<a:endCxn id="9" idx="0"/></p:cNvCxnSpPr><p:nvPr/></p:nvCxnSpPr><p:spPr/></p:cxnSp>'
)
IMAGE_REL = (
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/image" Target="../media/image1.png"/>'
)


@pytest.mark.parametrize(
    "change, message",
    [
        (
            edit(SLIDE_RELS, IMAGE_REL, ""),
            'ppt/slides/slide1.xml: relationship ids resolve: r:embed="rId2" names no relationship of this part',
        ),
        (
            swap_name_and_properties,
            (
                "ppt/slides/slide1.xml: schema: validates against pml.xsd in the input but not in the output\n"
                "    ppt/slides/slide1.xml:2: element spPr: Schemas validity error : Element "
                "'{http://schemas.openxmlformats.org/presentationml/2006/main}spPr': This element is not expected."
            ),
        ),
        (
            edit(SLIDE, 'id="4"', 'id="2"'),
            "ppt/slides/slide1.xml: shape ids unique: id 2 is used 2 times",
        ),
        (
            lambda parts: parts.update(
                {SLIDE_RELS: re.sub(r'<Relationship Id="rId1"[^>]*/>', "", parts[SLIDE_RELS])}
            ),
            "ppt/slides/slide1.xml: layout chain: 0 slideLayout relationships, expected 1",
        ),
        (
            drop("ppt/media/image1.png"),
            (
                "ppt/slides/_rels/slide1.xml.rels: relationship targets exist: rId2 targets '../media/image1.png', "
                "which is not in the package"
            ),
        ),
        (edit(SLIDE_RELS, IMAGE_REL, IMAGE_REL.replace("image1.png", "image%31.png")), None),
        (
            edit(SLIDE_RELS, "rId1", "rId2"),
            (
                "ppt/slides/_rels/slide1.xml.rels: relationship ids unique: "
                'Id "rId2" is used 2 times'
            ),
        ),
        (
            edit(TYPES, 'Extension="png"', 'Extension="gif"'),
            "ppt/media/image1.png: content types: no Override for the part and no Default for 'png'",
        ),
        (edit(TYPES, 'Extension="png"', 'Extension="PNG"'), None),
        (
            edit(SLIDE, "</p:sld>", ""),
            "ppt/slides/slide1.xml: well-formed XML: no element found: line 2",
        ),
        (
            edit("ppt/presentation.xml", "</p:sldIdLst>", "</p:sldIdLst><p:sldIdLst/>"),
            "ppt/presentation.xml: slide list: 2 p:sldIdLst elements",
        ),
        (
            lambda parts: [
                parts.pop("ppt/slides/slide2.xml"),
                parts.pop("ppt/slides/_rels/slide2.xml.rels"),
            ],
            "ppt/presentation.xml: slide list: slide 257 (rId",
        ),
        (twice, "ppt/media/image1.png: entry names unique: 2 entries have this name"),
        (add("ppt/notes.", "x"), "ppt/notes.: part names: a part name may not end in '.'"),
        (
            add(
                "ppt/slides/slide9.xml",
                "<p:sld xmlns:p='http://schemas.openxmlformats.org/presentationml/2006/main'/>",
            ),
            "ppt/slides/slide9.xml: schema: does not validate against pml.xsd",
        ),
        (
            edit(SLIDE, "<p:clrMapOvr>", ALTERNATE + "<p:clrMapOvr>"),
            None,
        ),  # not checked against the schema
        (
            edit(SLIDE, "</p:spTree>", GLUED + "</p:spTree>"),
            "ppt/slides/slide1.xml: connections name shapes: a:endCxn names id 9, which no shape of this part has",
        ),
        (
            edit(
                "ppt/presentation.xml",
                "</p:presentation>",
                '<p:extLst><p:ext uri="u"><s:sectionLst xmlns:s="'
                f'{NS_P14}"><s:section><s:sldIdLst><s:sldId id="256"/></s:sldIdLst></s:section></s:sectionLst>'
                "</p:ext></p:extLst></p:presentation>",
            ),
            "ppt/presentation.xml: sections: the sections, read in order, do not give the slide order",
        ),
    ],
    ids=[
        "dropped-relationship",
        "schema-order",
        "duplicate-shape-id",
        "no-layout",
        "missing-target",
        "escaped-target",
        "duplicate-relationship-id",
        "no-content-type",
        "content-type-case",
        "malformed",
        "two-slide-lists",
        "missing-slide",
        "duplicate-entry",
        "trailing-dot",
        "new-part-invalid",
        "alternate-content-skipped",
        "connection-to-no-shape",
        "section-misses-a-slide",
    ],
)
@pytest.mark.filterwarnings("ignore:Duplicate name")
def test_each_rule_names_part_and_rule(change, message, source, tmp_path):
    if message and "schema:" in message and not PML_XSD.is_file():
        pytest.skip(f"the schemas are not beside the repository ({PML_XSD.parent})")
    broken = rewrite(source, tmp_path / "out.pptx", change)
    if message is None:
        check_package(source, broken)
        return
    with pytest.raises(AssertionError) as failure:
        check_package(source, broken)
    assert f"\n  {message}" in str(failure.value)


@needs_schemas
def test_faults_the_input_had_pass(source, tmp_path):
    broken = rewrite(
        source,
        tmp_path / "broken.pptx",
        lambda parts: [
            edit(SLIDE, 'id="4"', 'id="2"')(parts),
            swap_name_and_properties(parts),
            edit(SLIDE_RELS, IMAGE_REL, "")(parts),
        ],
    )
    with pytest.raises(AssertionError, match="3 problem"):
        check_package(None, broken)
    edited = rewrite(broken, tmp_path / "edited.pptx", edit(SLIDE, "<a:t>box", "<a:t>changed"))
    check_package(broken, edited)


def test_schema_check_batches_and_reports_each_document():
    valid = (
        b"<p:sld xmlns:p='http://schemas.openxmlformats.org/presentationml/2006/main'><p:cSld><p:spTree>"
        b"<p:nvGrpSpPr><p:cNvPr id='1' name=''/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>"
        b"</p:spTree></p:cSld></p:sld>"
    )
    results = validate_parts(
        {
            "a.xml": valid,
            "b.xml": b"<p:sld",
            "c.xml": valid.replace(b"<p:cSld>", b"").replace(b"</p:cSld>", b""),
        }
    )
    assert results["a.xml"] is None
    assert results["b.xml"].startswith("b.xml:1: ") and "parser error" in results["b.xml"]
    assert "c.xml:1: element spTree: Schemas validity error" in results["c.xml"]
    assert validate_against_schema(valid) is None


@pytest.mark.reader
def test_reader_reads_pages_and_fails_without_a_pdf(deck, tmp_path):
    path = deck(slides=2, titles=["First words", "Second words"])
    reading = check_package(path, path, reader=True, expect_text={1: "Second words"})
    assert (
        reading.page_count == 2
        and reading.shows(0, "First\n  words")
        and not reading.shows(0, "Second")
    )
    with pytest.raises(AssertionError, match="page 0 does not show 'Second words'"):
        check_package(path, path, expect_text={0: "Second words"})
    with pytest.raises(AssertionError, match="2 pages, expected 3"):
        check_package(path, path, expect_pages=3)
    truncated = tmp_path / "truncated.pptx"
    truncated.write_bytes(path.read_bytes()[:3000])
    with pytest.raises(
        AssertionError, match=r"did not convert .*truncated.pptx \(exit code 0, no PDF written\)"
    ):
        read_presentation(truncated)
