"""Auto shapes and text boxes on the slide, inside groups at every depth and in new groups."""

import json
import xml.etree.ElementTree as ET
import zipfile

import pytest
from deck_builder import NS_A, NS_P, text_box_xml, title_shape_xml
from package_lint import check_package
from pelvane import pelvane_native as native

P = f"{{{NS_P}}}"
SLIDE = "ppt/slides/slide1.xml"


def group_xml(shape_id, children):
    return (
        f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{shape_id}" name="Group {shape_id - 1}"/>'
        '<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off x="100" y="200"/>'
        '<a:ext cx="3000" cy="4000"/><a:chOff x="100" y="200"/><a:chExt cx="3000" cy="4000"/>'
        f"</a:xfrm></p:grpSpPr>{children}</p:grpSp>"
    )


# Top level: title (2), text box (3), group 0 (10) holding [text box 11, group 20 holding
# [text box 21, group 30 holding [text box 31]]], group 1 (40) holding [text box 41]. The
# largest id is 41.
NESTED_SHAPES = (
    title_shape_xml("Nested groups")
    + text_box_xml(3, "top")
    + group_xml(
        10,
        text_box_xml(11, "g0")
        + group_xml(20, text_box_xml(21, "nested") + group_xml(30, text_box_xml(31, "deeper"))),
    )
    + group_xml(40, text_box_xml(41, "g1"))
)
MAX_ID = 41

BOX = {"x_emu": 914400, "y_emu": 457200, "cx_emu": 1828800, "cy_emu": 914400}
IO = ("input", "output", "slide_index")

# name: (parameter names after input, output, slide_index; values; id of the container the
#        new shape goes into (None: the shape tree); new group around the shape)
FUNCTIONS = {
    "add_slide_auto_shape_json": (["preset_geometry", *BOX], ["rect", *BOX.values()], None, False),
    "add_slide_auto_shape_with_text_json": (
        ["preset_geometry", *BOX, "text"],
        ["ellipse", *BOX.values(), "a\nb"],
        None,
        False,
    ),
    "add_slide_auto_shape_with_options_json": (
        ["preset_geometry", *BOX, "text", "adjustment_guides_json"],
        ["roundRect", *BOX.values(), "x", '[["adj", 25000], ["adj2", -5]]'],
        None,
        False,
    ),
    "add_slide_text_box_json": ([*BOX], [*BOX.values()], None, False),
    "add_slide_text_box_with_text_json": ([*BOX, "text"], [*BOX.values(), "box"], None, False),
    "add_slide_group_text_box_with_text_json": (
        ["group_index", *BOX, "text"],
        [1, *BOX.values(), "t"],
        "40",
        False,
    ),
    "add_slide_nested_group_text_box_with_text_json": (
        ["group_index", "nested_group_child_index", *BOX, "text"],
        [0, 1, *BOX.values(), "t"],
        "20",
        False,
    ),
    "add_slide_deeper_nested_group_text_box_with_text_json": (
        ["group_index", "nested_group_child_index", "deeper_group_child_index", *BOX, "text"],
        [0, 1, 1, *BOX.values(), "t"],
        "30",
        False,
    ),
    "add_slide_nested_group_text_box_in_new_group_with_text_json": (
        ["group_index", *BOX, "text"],
        [0, *BOX.values(), "t"],
        "10",
        True,
    ),
    "add_slide_group_auto_shape_with_text_json": (
        ["group_index", "preset_geometry", *BOX, "text"],
        [0, "star4", *BOX.values(), "t"],
        "10",
        False,
    ),
    "add_slide_nested_group_auto_shape_with_text_json": (
        ["group_index", "nested_group_child_index", "preset_geometry", *BOX, "text"],
        [0, 1, "plus", *BOX.values(), "t"],
        "20",
        False,
    ),
    "add_slide_deeper_nested_group_auto_shape_with_text_json": (
        [
            "group_index",
            "nested_group_child_index",
            "deeper_group_child_index",
            "preset_geometry",
            *BOX,
            "text",
        ],
        [0, 1, 1, "homePlate", *BOX.values(), ""],
        "30",
        False,
    ),
    "add_slide_nested_group_auto_shape_in_new_group_with_text_json": (
        ["group_index", "preset_geometry", *BOX, "text"],
        [1, "chevron", *BOX.values(), "t"],
        "40",
        True,
    ),
}


@pytest.fixture
def nested_deck(deck):
    return deck(slides=2, slide_shapes={0: NESTED_SHAPES})


def read_entries(path):
    with zipfile.ZipFile(path) as archive:
        return {info.filename: (info, archive.read(info)) for info in archive.infolist()}


def check_output_package(source, output):
    """The package passes the lint, only the slide changed, unchanged entries were copied raw."""
    check_package(source, output)
    before, after = read_entries(source), read_entries(output)
    assert list(after) == list(before)
    for name, (info, data) in after.items():
        if name != SLIDE:
            old_info, old_data = before[name]
            assert data == old_data, name
            assert (info.compress_type, info.compress_size, info.CRC, info.date_time) == (
                old_info.compress_type,
                old_info.compress_size,
                old_info.CRC,
                old_info.date_time,
            ), name
    return before[SLIDE][1].decode(), after[SLIDE][1].decode()


def call(name, source, output, slide_index=0, by_keyword=False):
    params, values, _, _ = FUNCTIONS[name]
    if by_keyword:
        kwargs = dict(zip([*IO, *params], [str(source), str(output), slide_index, *values]))
        return getattr(native, name)(**dict(reversed(list(kwargs.items()))))
    return getattr(native, name)(str(source), str(output), slide_index, *values)


def container_of(root, container_id):
    """The shape tree, or the group whose cNvPr has the given id."""
    if container_id is None:
        return root.find(f"{P}cSld/{P}spTree")
    for group in root.iter(f"{P}grpSp"):
        if group.find(f"{P}nvGrpSpPr/{P}cNvPr").get("id") == container_id:
            return group
    raise AssertionError(f"group {container_id} not found")


def test_text_signatures_list_the_parameters_in_order():
    for name, (params, _, _, _) in FUNCTIONS.items():
        assert getattr(native, name).__text_signature__ == f"({', '.join([*IO, *params])})"


@pytest.mark.parametrize("name", FUNCTIONS)
def test_adds_the_shape_at_its_target(name, nested_deck, tmp_path):
    _, values, container_id, new_group = FUNCTIONS[name]
    out_positional = tmp_path / "pos" / "out.pptx"
    out_keyword = tmp_path / "kw" / "out.pptx"
    record = json.loads(call(name, nested_deck, out_positional))
    assert json.loads(call(name, nested_deck, out_keyword, by_keyword=True)) == {
        **record,
        "path": str(out_keyword),
    }
    assert out_positional.read_bytes() == out_keyword.read_bytes()

    shape_id = MAX_ID + (2 if new_group else 1)
    expected = {"path": str(out_positional), "slide_index": 0, "slide_part": SLIDE}
    if "auto_shape" in name:
        expected["preset_geometry"] = values[FUNCTIONS[name][0].index("preset_geometry")]
    expected |= {
        "shape_id": shape_id,
        "part_count": len(read_entries(nested_deck)),
        "has_vba": False,
    }
    assert list(record) == list(expected) and record == expected

    old, new = check_output_package(nested_deck, out_positional)
    # The slide gained exactly one fragment, inserted just before the container's closing tag.
    start = next(i for i, (a, b) in enumerate(zip(old, new)) if a != b)
    if new[start - 1] == "<":
        start -= 1
    fragment = new[start : start + len(new) - len(old)]
    assert new[:start] + new[start + len(fragment) :] == old
    assert old[start:].startswith("</p:spTree>" if container_id is None else "</p:grpSp>")
    assert fragment.startswith("<p:grpSp>" if new_group else "<p:sp>")

    root = ET.fromstring(new)
    last = list(container_of(root, container_id))[-1]
    if new_group:
        assert last.tag == f"{P}grpSp"
        assert last.find(f"{P}nvGrpSpPr/{P}cNvPr").attrib == {
            "id": str(shape_id - 1),
            "name": f"Group {MAX_ID}",
        }
        (last,) = last.findall(f"{P}sp")
    assert last.tag == f"{P}sp"
    assert last.find(f"{P}nvSpPr/{P}cNvPr").get("id") == str(shape_id)
    # The container's own transform is left as it was.
    if container_id is not None:
        off = container_of(root, container_id).find(f"{P}grpSpPr/{{{NS_A}}}xfrm/{{{NS_A}}}off")
        assert off.attrib == {"x": "100", "y": "200"}


def test_text_forms(nested_deck, tmp_path):
    def body_of(name, *args):
        out = tmp_path / f"{name}-{len(list(tmp_path.iterdir()))}.pptx"
        getattr(native, name)(str(nested_deck), str(out), 1, *args)
        check_package(nested_deck, out)
        with zipfile.ZipFile(out) as archive:
            root = ET.fromstring(archive.read("ppt/slides/slide2.xml"))
        shape = list(root.find(f"{P}cSld/{P}spTree"))[-1]
        return shape, [
            ET.tostring(p, encoding="unicode").split(">", 1)[1] for p in shape.iter(f"{{{NS_A}}}p")
        ]

    box = BOX.values()
    shape, paragraphs = body_of("add_slide_text_box_json", *box)
    assert shape.find(f"{P}nvSpPr/{P}cNvPr").attrib == {"id": "3", "name": "TextBox 2"}
    assert len(paragraphs) == 1 and len(list(shape.iter(f"{{{NS_A}}}r"))) == 0
    shape, _ = body_of("add_slide_text_box_with_text_json", *box, "")
    assert [t.text for t in shape.iter(f"{{{NS_A}}}t")] == [None]
    shape, _ = body_of("add_slide_text_box_with_text_json", *box, "a & <b>\n\n'c\"")
    assert [t.text for t in shape.iter(f"{{{NS_A}}}t")] == ["a & <b>", None, "'c\""]

    shape, _ = body_of("add_slide_auto_shape_json", "ellipse", *box)
    assert shape.find(f"{P}nvSpPr/{P}cNvPr").get("name") == "Oval 2"
    (p,) = shape.iter(f"{{{NS_A}}}p")
    assert p.find(f"{{{NS_A}}}pPr").attrib == {"algn": "ctr"}

    plain = tmp_path / "plain.pptx"
    options = tmp_path / "options.pptx"
    native.add_slide_auto_shape_json(str(nested_deck), str(plain), 0, "rect", *box)
    native.add_slide_auto_shape_with_options_json(
        str(nested_deck), str(options), 0, "rect", *box, None, "[]"
    )
    check_package(nested_deck, plain)
    with zipfile.ZipFile(plain) as a, zipfile.ZipFile(options) as b:
        assert a.read(SLIDE) == b.read(SLIDE)


def test_guides_are_written_in_order_and_escaped(nested_deck, tmp_path):
    out = tmp_path / "out.pptx"
    native.add_slide_auto_shape_with_options_json(
        str(nested_deck),
        str(out),
        0,
        "wedgeRectCallout",
        *BOX.values(),
        None,
        '[["adj1", -20833], ["adj2", 62500], ["a\\"<&b", 1]]',
    )
    _, slide = check_output_package(nested_deck, out)
    guides = ET.fromstring(slide).iter(f"{{{NS_A}}}gd")
    assert [(g.get("name"), g.get("fmla")) for g in guides] == [
        ("adj1", "val -20833"),
        ("adj2", "val 62500"),
        ('a"<&b', "val 1"),
    ]


@pytest.mark.parametrize("preset", ["Rect", "rect ", "line", "", "bentConnector3"])
def test_unsupported_preset_touches_nothing(preset, nested_deck, tmp_path):
    out = tmp_path / "new-dir" / "out.pptx"
    message = f"invalid input: unsupported auto shape preset geometry: {preset}"
    for name in (
        "add_slide_auto_shape_json",
        "add_slide_nested_group_auto_shape_in_new_group_with_text_json",
    ):
        params, values, _, _ = FUNCTIONS[name]
        values = [preset if p == "preset_geometry" else v for p, v in zip(params, values)]
        with pytest.raises(RuntimeError) as raised:
            getattr(native, name)(str(nested_deck), str(out), 0, *values)
        assert str(raised.value) == message
    assert not (tmp_path / "new-dir").exists()


@pytest.mark.parametrize(
    "name, args, message",
    [
        ("add_slide_text_box_json", (5, *BOX.values()), "slide index 5 was not found"),
        (
            "add_slide_group_text_box_with_text_json",
            (0, 2, *BOX.values(), "t"),
            "group shape index 2 was not found",
        ),
        (
            "add_slide_nested_group_auto_shape_with_text_json",
            (0, 0, 0, "rect", *BOX.values(), "t"),
            "nested group child index 0 is not a group shape",
        ),
        (
            "add_slide_nested_group_text_box_with_text_json",
            (0, 0, 2, *BOX.values(), "t"),
            "nested group child index 2 was not found",
        ),
        (
            "add_slide_deeper_nested_group_text_box_with_text_json",
            (0, 0, 1, 0, *BOX.values(), "t"),
            "deeper nested group child index 0 is not a group shape",
        ),
        (
            "add_slide_deeper_nested_group_auto_shape_with_text_json",
            (0, 0, 1, 2, "rect", *BOX.values(), "t"),
            "deeper nested group child index 2 was not found",
        ),
        (
            "add_slide_group_auto_shape_with_text_json",
            (1, 0, "rect", *BOX.values(), "t"),
            "group shape index 0 was not found",
        ),
        (
            "add_slide_text_box_with_text_json",
            (0, *BOX.values(), "bell\x07"),
            "text contains a character that XML cannot hold: U+0007",
        ),
    ],
)
def test_refusals_write_no_output(name, args, message, nested_deck, tmp_path):
    out = tmp_path / "out.pptx"
    with pytest.raises(RuntimeError) as raised:
        getattr(native, name)(str(nested_deck), str(out), *args)
    assert str(raised.value) == "invalid input: " + message
    assert not out.exists()


def test_shape_ids(deck, tmp_path):
    empty = deck(slide_shapes=[""])
    out = tmp_path / "a.pptx"
    # The shape tree's own cNvPr (id 1) counts.
    assert (
        json.loads(native.add_slide_text_box_json(str(empty), str(out), 0, 0, 0, 0, 0))["shape_id"]
        == 2
    )
    check_package(empty, out)

    full = deck(slide_shapes=[text_box_xml(18446744073709551614, "x")])
    with pytest.raises(RuntimeError, match="^invalid input: shape id space is exhausted$"):
        native.add_slide_auto_shape_json(str(full), str(tmp_path / "b.pptx"), 0, "rect", 0, 0, 0, 0)
    assert not (tmp_path / "b.pptx").exists()


def test_argument_errors_name_the_parameter(nested_deck, tmp_path):
    out = str(tmp_path / "out.pptx")
    with pytest.raises(OverflowError) as raised:
        native.add_slide_group_auto_shape_with_text_json(
            str(nested_deck), out, 0, 0, "rect", -1, 0, 0, 0, "t"
        )
    assert "while processing 'x_emu'" in raised.value.__notes__
    with pytest.raises(OverflowError) as raised:
        native.add_slide_group_text_box_with_text_json(
            str(nested_deck), out, 0, -1, 0, 0, 0, 0, None
        )
    assert "while processing 'group_index'" in raised.value.__notes__
    # The reader's message reaches the caller whole, position included.
    with pytest.raises(
        RuntimeError, match="^invalid type: map, expected a sequence at line 1 column 0$"
    ):
        native.add_slide_auto_shape_with_options_json(
            str(nested_deck), out, 0, "rect", 0, 0, 0, 0, None, '{"adj": 1}'
        )
    with pytest.raises(TypeError):
        native.add_slide_auto_shape_with_text_json(str(nested_deck), out, 0, "rect", 0, 0, 0, 0)
    assert not (tmp_path / "out.pptx").exists()
