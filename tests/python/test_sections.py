"""Sections, new slide ids and slides reached twice, through every function that changes the slide
list: real decks given two sections, generated decks for the rest."""

import json
import re
import xml.etree.ElementTree as ET

import pytest

from conftest import SHARED_DECKS
from deck_builder import NS_P
from package_lint import check_package
from test_slides import PRESENTATION, read, rewrite_zip

from pelvane import pelvane_native as native

P = f"{{{NS_P}}}"
NS_P14 = "http://schemas.microsoft.com/office/powerpoint/2010/main"
SECTIONS_URI = "{521415D9-36F7-43E2-AB2F-B90AF26B5E84}"
PRES_RELS = "ppt/_rels/presentation.xml.rels"
SLIDE_TYPE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide"
DECKS = [path for path in sorted(SHARED_DECKS.glob("*.ppt[xm]")) if SHARED_DECKS.is_dir()
         and len(re.findall(rb"<p:sldId ", read(path, PRESENTATION))) >= 3]


def slide_ids(path):
    return [int(e.get("id")) for e in ET.fromstring(read(path, PRESENTATION)).find(f"{P}sldIdLst")]


def sections_of(path):
    """[(name, [slide ids])] of the section list; fails unless the sections, read in order, give
    the slide order."""
    root = ET.fromstring(read(path, PRESENTATION))
    ext = root.find(f"{P}extLst/{P}ext[@uri='{SECTIONS_URI}']")
    sections = [(s.get("name"), [int(e.get("id")) for e in s.find(f"{{{NS_P14}}}sldIdLst")])
                for s in ext.iter(f"{{{NS_P14}}}section")]
    assert [i for _, ids in sections for i in ids] == slide_ids(path), sections
    return sections


def with_sections(source, target):
    """The deck with sections A (the first half of its slides) and B (the rest) before any other
    extension of the presentation."""
    ids = slide_ids(source)
    half = len(ids) // 2

    def section(name, members):
        entries = "".join(f'<p14:sldId id="{i}"/>' for i in members)
        return f'<p14:section name="{name}" id="{{0000000{name}-0000-0000-0000-000000000000}}"><p14:sldIdLst>{entries}</p14:sldIdLst></p14:section>'

    ext = (f'<p:ext uri="{SECTIONS_URI}"><p14:sectionLst xmlns:p14="{NS_P14}">{section("A", ids[:half])}'
           f'{section("B", ids[half:])}</p14:sectionLst></p:ext>')
    text = read(source, PRESENTATION).decode()
    text = (text.replace("<p:extLst>", "<p:extLst>" + ext, 1) if "<p:extLst>" in text
            else text.replace("</p:presentation>", f"<p:extLst>{ext}</p:extLst></p:presentation>"))
    return rewrite_zip(source, target, {PRESENTATION: text})


def slide_parts_in_order(path):
    rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(read(path, PRES_RELS))}
    rid = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
    return ["ppt/" + rels[e.get(rid)] for e in ET.fromstring(read(path, PRESENTATION)).find(f"{P}sldIdLst")]


def duplicate_some_slide(source, output):
    """Duplicates the first slide whose relationships all have a copy rule."""
    for part in slide_parts_in_order(source):
        try:
            return native.duplicate_slide_json(str(source), str(output), part)
        except RuntimeError as error:
            assert "without an explicit copy policy" in str(error)
    pytest.skip("no slide of this deck can be duplicated")


def reorder_first_to_end(source, output):
    count = len(slide_ids(source))
    edits = [{"type": "reorder_slides", "slide_indices": [*range(1, count), 0]}]
    return native.apply_edit_batch_json(str(source), str(output), json.dumps(edits))


def without(sections, *ids):
    return [[i for i in members if i not in ids] for members in sections]


# Each function, with the sections it should leave given those before (a, b) and the ids of the
# new slides; None where only the consistency of the result is checked.
FUNCTIONS = {
    "add_blank": (lambda s, o: native.add_blank_slide_json(str(s), str(o)),
                  lambda a, b, new: [a, b + new]),
    "add_with_layout": (lambda s, o: native.add_blank_slide_with_layout_json(str(s), str(o), 0),
                        lambda a, b, new: [a, b + new]),
    "duplicate": (duplicate_some_slide, lambda a, b, new: [a, b + new]),
    "delete_one": (lambda s, o: native.delete_slide_json(str(s), str(o), slide_parts_in_order(s)[1]),
                   lambda a, b, new: without([a, b], (a + b)[1])),
    "delete_many": (lambda s, o: native.delete_slides_json(
        str(s), str(o), [slide_parts_in_order(s)[0], slide_parts_in_order(s)[-1]]),
        lambda a, b, new: without([a, b], a[0], b[-1])),
    "delete_many_in_order": (lambda s, o: native.delete_slides_json(
        str(s), str(o), [slide_parts_in_order(s)[0]], slide_parts_in_order(s)[:0:-1]), None),
    "batch_reorder": (reorder_first_to_end, lambda a, b, new: [a[1:], b + a[:1]]),
}


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("source", DECKS, ids=lambda path: path.name)
def test_sections_follow_every_slide_function_on_real_decks(source, function, tmp_path):
    sectioned = with_sections(source, tmp_path / f"sections{source.suffix}")
    a, b = [ids for _, ids in sections_of(sectioned)]
    output = tmp_path / f"out{source.suffix}"
    run, expected = FUNCTIONS[function]
    run(sectioned, output)
    after = sections_of(output)
    assert [name for name, _ in after] == ["A", "B"]
    if expected:
        new = [i for i in slide_ids(output) if i not in a + b]
        assert [ids for _, ids in after] == expected(a, b, new)
    check_package(sectioned, output)


@pytest.mark.reader
@pytest.mark.parametrize("function", ["batch_reorder", "delete_many_in_order"])
@pytest.mark.parametrize("source", DECKS, ids=lambda path: path.name)
def test_a_reader_opens_decks_whose_sections_followed(source, function, tmp_path):
    sectioned = with_sections(source, tmp_path / f"sections{source.suffix}")
    output = tmp_path / f"out{source.suffix}"
    FUNCTIONS[function][0](sectioned, output)
    check_package(sectioned, output, reader=True, expect_pages=len(slide_ids(output)))


def relist(deck, tmp_path, ids=None, extra_rels="", list_tag="p:sldIdLst"):
    """A generated three-slide deck with its slide ids, relationships or slide-list tag changed."""
    source = deck(slides=3)
    text = read(source, PRESENTATION).decode()
    for old, new in zip(slide_ids(source), ids or []):
        text = text.replace(f'id="{old}"', f'id="{new}"', 1)
    if list_tag != "p:sldIdLst":
        prefix = list_tag.split(":")[0]
        text = (text.replace("<p:sldIdLst>", f'<{list_tag} xmlns:{prefix}="{NS_P}">')
                .replace("</p:sldIdLst>", f"</{list_tag}>"))
    rels = read(source, PRES_RELS).decode().replace("</Relationships>", extra_rels + "</Relationships>")
    return rewrite_zip(source, tmp_path / "in.pptx", {PRESENTATION: text, PRES_RELS: rels})


@pytest.mark.parametrize("ids, call, expected", [
    # Past the largest slide id there is, the smallest id from 256 that no slide uses.
    ([2147483647, 256, 258], "add", 257),
    ([2147483647, 256, 258], "duplicate", 257),
    ([18446744073709551615, 257, 300], "add", 256),
    ([2147483646, 256, 257], "add", 2147483647),
])
def test_a_new_slide_takes_an_id_that_fits(deck, tmp_path, ids, call, expected):
    source = relist(deck, tmp_path, ids)
    output = tmp_path / "out.pptx"
    record = json.loads(native.add_blank_slide_json(str(source), str(output)) if call == "add" else
                        native.duplicate_slide_json(str(source), str(output), "ppt/slides/slide1.xml"))
    assert record["slide_id"] == expected and slide_ids(output) == ids + [expected]
    check_package(source, output)


@pytest.mark.parametrize("reached_twice, order, survivors", [
    # The deleted slide: both relationships go, and so does the entry naming either.
    ("slides/slide2.xml", None, ["ppt/slides/slide1.xml", "ppt/slides/slide3.xml"]),
    # A survivor: its entry stays whichever of its ids the slide list uses.
    ("slides/slide3.xml", ["ppt/slides/slide3.xml", "ppt/slides/slide1.xml"],
     ["ppt/slides/slide3.xml", "ppt/slides/slide1.xml"]),
])
def test_slides_reached_twice(deck, tmp_path, reached_twice, order, survivors):
    extra = f'<Relationship Id="rId99" Type="{SLIDE_TYPE}" Target="{reached_twice}"/>'
    source = relist(deck, tmp_path, extra_rels=extra)
    output = tmp_path / "out.pptx"
    record = json.loads(native.delete_slides_json(str(source), str(output), ["ppt/slides/slide2.xml"], order))
    deleted = sorted(r.get("Id") for r in ET.fromstring(read(source, PRES_RELS))
                     if r.get("Target") == "slides/slide2.xml")
    assert record["deleted_relationship_ids"] == deleted
    assert not {r.get("Id") for r in ET.fromstring(read(output, PRES_RELS))} & set(deleted)
    assert slide_parts_in_order(output) == survivors
    check_package(source, output)


def test_a_slide_list_under_another_prefix_is_refused(deck, tmp_path):
    source = relist(deck, tmp_path, list_tag="x:sldIdLst")
    output = tmp_path / "out.pptx"
    with pytest.raises(RuntimeError, match="^invalid input: slide list x:sldIdLst does not use the prefix p:"):
        native.add_blank_slide_json(str(source), str(output))
    assert not output.exists()
