"""Connectors, empty groups, gathered groups and freeform shapes on the slide and in groups."""

import itertools
import json
import xml.etree.ElementTree as ET
import zipfile

import pytest
import test_auto_shapes
from package_lint import check_package
from pelvane import pelvane_native as native
from test_auto_shapes import IO, MAX_ID, SLIDE, P, check_output_package, container_of

# The shape tests' deck of nested groups, a fixture the tests here ask for by name.
nested_deck = test_auto_shapes.nested_deck

POINTS = {"begin_x_emu": 500, "begin_y_emu": 900, "end_x_emu": 100, "end_y_emu": 200}
GLUE = {"begin_shape_id": 3, "begin_cxn_pt_idx": None, "end_shape_id": None, "end_cxn_pt_idx": 2}
CONNECTED = {
    "begin_preset_geometry": "rect",
    "begin_x_emu": 0,
    "begin_y_emu": 0,
    "begin_cx_emu": 10,
    "begin_cy_emu": 10,
    "end_preset_geometry": "ellipse",
    "end_x_emu": 50,
    "end_y_emu": 50,
    "end_cx_emu": 10,
    "end_cy_emu": 10,
    "connector_preset_geometry": "curvedConnector3",
    "connector_begin_x_emu": 10,
    "connector_begin_y_emu": 5,
    "connector_end_x_emu": 50,
    "connector_end_y_emu": 55,
    "begin_cxn_pt_idx": 3,
    "end_cxn_pt_idx": 1,
}
PATH = '[{"type": "move_to", "x": 0, "y": 0}, {"type": "line_to", "x": 100, "y": -50}, {"type": "close"}]'
FREEFORM = {
    "x_emu": -100,
    "y_emu": 200,
    "cx_emu": 300,
    "cy_emu": 400,
    "path_w": 100,
    "path_h": 100,
    "operations_json": PATH,
}
G0, G1 = {"group_index": 0}, {"group_index": 1}
NESTED = {"group_index": 0, "nested_group_child_index": 1}
DEEPER = {**NESTED, "deeper_group_child_index": 1}

# name: (arguments after input, output, slide_index; id of the receiving group (None: the shape
#        tree); what its new last children are, by tag, last one first; ids the call takes)
# Groups of the nested deck: 10 (top-level 0) > 20 (its child 1) > 30 (child 1 of 20); 40 is
# top-level group 1.
FUNCTIONS = {
    "add_slide_connector_json": ({"preset_geometry": "line", **POINTS}, None, ["cxnSp"], 1),
    "add_slide_connected_connector_json": (
        {"preset_geometry": "bentConnector3", **POINTS, **GLUE},
        None,
        ["cxnSp"],
        1,
    ),
    "add_slide_connected_connector_with_auto_shapes_json": (
        CONNECTED,
        None,
        ["cxnSp", "sp", "sp"],
        3,
    ),
    "add_slide_group_connector_json": (
        {**G1, "preset_geometry": "line", **POINTS},
        "40",
        ["cxnSp"],
        1,
    ),
    "add_slide_connected_group_connector_json": (
        {**G0, "preset_geometry": "line", **POINTS, **GLUE},
        "10",
        ["cxnSp"],
        1,
    ),
    "add_slide_connected_group_connector_with_auto_shapes_json": (
        {**G1, **CONNECTED},
        "40",
        ["cxnSp", "sp", "sp"],
        3,
    ),
    "add_slide_nested_group_connector_json": (
        {**NESTED, "preset_geometry": "curvedConnector3", **POINTS},
        "20",
        ["cxnSp"],
        1,
    ),
    "add_slide_deeper_nested_group_connector_json": (
        {**DEEPER, "preset_geometry": "line", **POINTS},
        "30",
        ["cxnSp"],
        1,
    ),
    "add_slide_nested_group_connector_in_new_group_json": (
        {**G0, "preset_geometry": "line", **POINTS},
        "10",
        ["grpSp/cxnSp"],
        2,
    ),
    "add_slide_group_shape_json": ({}, None, ["grpSp"], 1),
    "add_slide_nested_group_shape_json": (G1, "40", ["grpSp"], 1),
    "add_slide_group_shape_to_nested_group_json": (NESTED, "20", ["grpSp"], 1),
    "add_slide_group_shape_to_deeper_nested_group_json": (DEEPER, "30", ["grpSp"], 1),
    "group_slide_existing_group_children_json": (
        {**G0, "child_indices": [1, 0]},
        "10",
        ["grpSp"],
        1,
    ),
    "group_slide_existing_nested_group_children_json": (
        {**NESTED, "child_indices": (0,)},
        "20",
        ["grpSp"],
        1,
    ),
    "group_slide_existing_deeper_nested_group_children_json": (
        {**DEEPER, "child_indices": range(1)},
        "30",
        ["grpSp"],
        1,
    ),
    "add_slide_freeform_shape_json": (FREEFORM, None, ["sp"], 1),
    "add_slide_freeform_shape_with_text_json": ({**FREEFORM, "text": "f"}, None, ["sp"], 1),
    "add_slide_group_freeform_shape_with_text_json": (
        {**G1, **FREEFORM, "text": "f"},
        "40",
        ["sp"],
        1,
    ),
    "add_slide_nested_group_freeform_shape_with_text_json": (
        {**NESTED, **FREEFORM, "text": "f"},
        "20",
        ["sp"],
        1,
    ),
    "add_slide_deeper_nested_group_freeform_shape_with_text_json": (
        {**DEEPER, **FREEFORM, "text": "f"},
        "30",
        ["sp"],
        1,
    ),
    "add_slide_nested_group_freeform_shape_in_new_group_with_text_json": (
        {**G1, **FREEFORM, "text": "f"},
        "40",
        ["grpSp/sp"],
        2,
    ),
}


def record_keys(name):
    preset = ["preset_geometry"] if "connector" in name else []
    return ["path", "slide_index", "slide_part", *preset, "shape_id", "part_count", "has_vba"]


def cnvpr_id(element):
    return next(element.iter(f"{P}cNvPr")).get("id")


@pytest.mark.parametrize("name", FUNCTIONS)
def test_adds_at_its_target(name, nested_deck, tmp_path):
    kwargs, container_id, new_children, ids = FUNCTIONS[name]
    positional, keyword = tmp_path / "pos" / "out.pptx", tmp_path / "kw" / "out.pptx"
    function = getattr(native, name)
    assert list(kwargs) == list(function.__text_signature__[1:-1].split(", ")[len(IO) :])
    record = json.loads(function(str(nested_deck), str(positional), 0, *kwargs.values()))
    by_keyword = dict(
        reversed(
            [
                *kwargs.items(),
                ("slide_index", 0),
                ("output", str(keyword)),
                ("input", str(nested_deck)),
            ]
        )
    )
    assert json.loads(function(**by_keyword)) == {**record, "path": str(keyword)}
    assert positional.read_bytes() == keyword.read_bytes()

    shape_id = MAX_ID + ids
    assert list(record) == record_keys(name)
    assert (record["path"], record["slide_part"], record["shape_id"]) == (
        str(positional),
        SLIDE,
        shape_id,
    )
    old, new = check_output_package(nested_deck, positional)  # the lint, and only the slide changed

    container = container_of(ET.fromstring(new), container_id)
    last = list(container)[-len(new_children) :][::-1]
    for offset, (element, tag) in enumerate(zip(last, new_children)):
        outer, _, inner = tag.partition("/")
        assert element.tag == f"{P}{outer}"
        assert cnvpr_id(element) == str(shape_id - offset - (1 if inner else 0))
        if inner:
            (child,) = list(element)[2:]
            assert (child.tag, cnvpr_id(child)) == (f"{P}{inner}", str(shape_id))
    if container_id is not None:
        old_frame = container_of(ET.fromstring(old), container_id).find(f"{P}grpSpPr")
        assert ET.tostring(container.find(f"{P}grpSpPr")) == ET.tostring(old_frame)


def raises(function, *args):
    with pytest.raises(Exception) as raised:
        function(*args)
    return raised.value


BOX = (1, 2, 3, 4)


@pytest.mark.parametrize(
    "name, args, message",
    [
        ("add_slide_connector_json", ("Line", *BOX), "unsupported connector preset geometry: Line"),
        (
            "add_slide_connector_json",
            ("straightConnector1", *BOX),
            "unsupported connector preset geometry: straightConnector1",
        ),
        (
            "add_slide_connected_group_connector_json",
            (0, "", *BOX, None, None, None, None),
            "unsupported connector preset geometry: ",
        ),
        (
            "add_slide_nested_group_connector_in_new_group_json",
            (0, "rect", *BOX),
            "unsupported connector preset geometry: rect",
        ),
        (
            "add_slide_connected_connector_with_auto_shapes_json",
            ("oval", *BOX, "star", *BOX, "Line", *BOX, 0, 0),
            "unsupported auto shape preset geometry: oval",
        ),
        (
            "add_slide_connected_group_connector_with_auto_shapes_json",
            (7, "rect", *BOX, "star", *BOX, "Line", *BOX, 0, 0),
            "unsupported auto shape preset geometry: star",
        ),
        (
            "add_slide_connected_connector_with_auto_shapes_json",
            ("rect", *BOX, "rect", *BOX, "Line", *BOX, 0, 0),
            "unsupported connector preset geometry: Line",
        ),
    ],
)
def test_preset_refusals_touch_nothing(name, args, message, nested_deck, tmp_path):
    error = raises(
        getattr(native, name), str(nested_deck), str(tmp_path / "new" / "out.pptx"), 9, *args
    )
    assert (type(error), str(error)) == (RuntimeError, "invalid input: " + message)
    assert not (tmp_path / "new").exists()


@pytest.mark.parametrize(
    "name, args, message",
    [
        ("add_slide_group_shape_json", (), "slide index 5 was not found"),
        ("add_slide_group_connector_json", (2, "line", *BOX), "group shape index 2 was not found"),
        (
            "add_slide_nested_group_connector_json",
            (0, 0, "line", *BOX),
            "nested group child index 0 is not a group shape",
        ),
        (
            "add_slide_group_shape_to_deeper_nested_group_json",
            (0, 1, 0),
            "deeper nested group child index 0 is not a group shape",
        ),
        (
            "add_slide_freeform_shape_json",
            (*FREEFORM.values(),)[:-1] + ("[]",),
            "freeform shape requires at least one path operation",
        ),
        (
            "add_slide_group_freeform_shape_with_text_json",
            (5, *FREEFORM.values(), "t"),
            "group shape index 5 was not found",
        ),
        (
            "group_slide_existing_group_children_json",
            (9, []),
            "at least one group child is required",
        ),
        (
            "group_slide_existing_nested_group_children_json",
            (0, 1, [2]),
            "group child index 2 was not found",
        ),
    ],
)
def test_failures_leave_nothing(name, args, message, nested_deck, tmp_path):
    before = nested_deck.read_bytes()
    out = tmp_path / "out.pptx"
    slide_index = 5 if message.startswith("slide index") else 0
    error = raises(getattr(native, name), str(nested_deck), str(out), slide_index, *args)
    assert (type(error), str(error)) == (RuntimeError, "invalid input: " + message)
    assert not out.exists()
    assert nested_deck.read_bytes() == before


@pytest.mark.parametrize(
    "name, args, error_type, text",
    [
        ("add_slide_connector_json", ("line", -1, 0, 0, 0), OverflowError, "begin_x_emu"),
        (
            "add_slide_connected_connector_with_auto_shapes_json",
            ("rect", 0, -1, 0, 0, "rect", *BOX, "line", *BOX, 0, 0),
            OverflowError,
            "begin_y_emu",
        ),
        ("group_slide_existing_group_children_json", (0, "01"), TypeError, "child_indices"),
        ("group_slide_existing_group_children_json", (0, [0, -1]), OverflowError, "child_indices"),
        ("add_slide_freeform_shape_json", (2**63, 0, 0, 0, 0, 0, PATH), OverflowError, "x_emu"),
    ],
)
def test_argument_errors_name_the_parameter(name, args, error_type, text, tmp_path):
    error = raises(
        getattr(native, name), str(tmp_path / "missing.pptx"), str(tmp_path / "out.pptx"), 0, *args
    )
    assert type(error) is error_type
    assert error.__notes__ == [f"while processing '{text}'"]
    if args[-1] == "01":
        assert str(error) == "Can't extract `str` to `Vec`"


@pytest.mark.parametrize(
    "operations, message",
    [
        ("{}", "invalid type: map, expected a sequence at line 1 column 0"),
        (
            '[{"type": "move_to", "x": 1.5, "y": 0}]',
            "invalid type: floating point `1.5`, expected i64 at line 1 column 39",
        ),
        (
            '[{"type": "arc"}]',
            "unknown variant `arc`, expected one of `move_to`, `line_to`, `close` at line 1 column 15",
        ),
    ],
)
def test_path_is_read_before_the_input_is_opened(operations, message, tmp_path):
    error = raises(
        native.add_slide_freeform_shape_with_text_json,
        str(tmp_path / "missing.pptx"),
        str(tmp_path / "new" / "out.pptx"),
        0,
        0,
        0,
        0,
        0,
        0,
        0,
        operations,
        "t",
    )
    assert (type(error), str(error)) == (RuntimeError, message)
    assert not (tmp_path / "new").exists()


def top_level_groups(slide_xml):
    """Groups the engine counts as top-level: those inside no other shape."""
    shapes = {f"{P}{tag}" for tag in ("sp", "pic", "graphicFrame", "grpSp", "cxnSp")}

    def walk(element):
        for child in element:
            if child.tag == f"{P}grpSp":
                yield child
            elif child.tag not in shapes:
                yield from walk(child)

    return sum(1 for _ in walk(ET.fromstring(slide_xml)))


def test_real_decks_take_a_chain_of_edits(shared_decks, tmp_path):
    edited = 0
    for source in sorted(shared_decks.glob("*.ppt[xm]")):
        steps = itertools.count(1)
        current = source

        def step(name, *args):
            nonlocal current
            # Called only within this iteration of the loop.
            out = tmp_path / f"{source.stem}-{next(steps)}{source.suffix}"  # noqa: B023
            record = json.loads(getattr(native, name)(str(current), str(out), 0, *args))
            check_package(current, out)
            current = out
            return record

        try:
            record = step(
                "add_slide_connected_connector_with_auto_shapes_json", *CONNECTED.values()
            )
        except RuntimeError as error:
            assert str(error) == "invalid input: slide index 0 was not found"
            continue
        with zipfile.ZipFile(source) as archive:
            groups_before = top_level_groups(archive.read(record["slide_part"]))
        step("add_slide_freeform_shape_with_text_json", *FREEFORM.values(), "Freeform")
        step("add_slide_group_shape_json")
        for preset in ("rect", "ellipse"):
            step("add_slide_group_auto_shape_with_text_json", groups_before, preset, *BOX, preset)
        step("group_slide_existing_group_children_json", groups_before, [0, 1])
        edited += 1
    assert edited >= 20


@pytest.mark.reader
def test_the_presentation_program_shows_the_result(nested_deck, tmp_path):
    big_frame = {**FREEFORM, "x_emu": 914400, "y_emu": 914400, "cx_emu": 2743200, "cy_emu": 914400}
    chain = [
        ("add_slide_connected_connector_with_auto_shapes_json", CONNECTED.values()),
        (
            "add_slide_deeper_nested_group_freeform_shape_with_text_json",
            [*DEEPER.values(), *big_frame.values(), "Deep freeform"],
        ),
        ("group_slide_existing_nested_group_children_json", [*NESTED.values(), [1, 0]]),
        ("group_slide_existing_group_children_json", [0, [1, 0]]),
    ]
    current = nested_deck
    for number, (name, args) in enumerate(chain):
        output = tmp_path / f"step{number}.pptx"
        getattr(native, name)(str(current), str(output), 0, *args)
        current = output
    check_package(nested_deck, current, reader=True, expect_text={0: "Deep freeform"})
