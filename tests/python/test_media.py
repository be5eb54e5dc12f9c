"""Pictures, image replacement, movies and embedded objects, end to end through the module."""

import json
import xml.etree.ElementTree as ET
import zipfile

import pytest
from deck_builder import NS_A, NS_P, NS_R, group_xml, picture_xml, png_bytes
from package_lint import check_package
from pelvane import pelvane_native as native

P, A, R = f"{{{NS_P}}}", f"{{{NS_A}}}", f"{{{NS_R}}}"
SLIDE, RELS, TYPES = (
    "ppt/slides/slide1.xml",
    "ppt/slides/_rels/slide1.xml.rels",
    "[Content_Types].xml",
)
BOX = (914400, 457200, 1828800, 914400)
PNG_A, PNG_B, PNG_C = (
    png_bytes(1, 1, (1, 2, 3)),
    png_bytes(2, 1, (4, 5, 6)),
    png_bytes(3, 1, (7, 8, 9)),
)

# Slide 0: group 2 holding group 3 holding group 4 holding a picture (5) of image1.png (rId2).
NESTED = group_xml(2, group_xml(3, group_xml(4, picture_xml(5, "rId2"))))
MAX_ID = 5

# name: (index arguments, id of the container the new shape goes into (None: the shape tree),
#        in a new group)
IMAGE_FUNCTIONS = {
    "add_slide_image_json": ((), None, False),
    "add_slide_group_image_json": ((0,), "2", False),
    "add_slide_nested_group_image_json": ((0, 0), "3", False),
    "add_slide_deeper_nested_group_image_json": ((0, 0, 0), "4", False),
    "add_slide_nested_group_image_in_new_group_json": ((0,), "2", True),
}
OBJECT_FUNCTIONS = {
    name.replace("image", "ole_object"): spec for name, spec in IMAGE_FUNCTIONS.items()
}


@pytest.fixture
def nested_deck(deck):
    return deck(
        slides=2,
        slide_shapes={0: NESTED},
        media=[("image1.png", PNG_A)],
        media_rels={0: ["image1.png"]},
    )


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    return str(path)


def entries(path):
    with zipfile.ZipFile(path) as archive:
        return {info.filename: (info, archive.read(info)) for info in archive.infolist()}


def rewrite_package(source, target, drop=(), replace=None):
    """A copy of the package without some entries and with others given new content."""
    with zipfile.ZipFile(source) as src, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            if info.filename not in drop:
                dst.writestr(info, (replace or {}).get(info.filename, src.read(info)))
    return target


def check_edit(source, output, changed=(SLIDE, RELS, TYPES)):
    """The lint, and every entry but the changed ones copied raw, in order, before the new ones."""
    check_package(source, output)
    before, after = entries(source), entries(output)
    assert list(after)[: len(before)] == list(before)
    for name, (info, data) in before.items():
        if name not in changed:
            new_info, new_data = after[name]
            assert new_data == data, name
            assert (
                new_info.compress_type,
                new_info.compress_size,
                new_info.CRC,
                new_info.date_time,
            ) == (info.compress_type, info.compress_size, info.CRC, info.date_time), name
    return list(after)[len(before) :], ET.fromstring(after[SLIDE][1])


def container(root, container_id):
    if container_id is None:
        return root.find(f"{P}cSld/{P}spTree")
    return next(
        g
        for g in root.iter(f"{P}grpSp")
        if g.find(f"{P}nvGrpSpPr/{P}cNvPr").get("id") == container_id
    )


def last_shape(root, container_id, new_group):
    shape = list(container(root, container_id))[-1]
    if new_group:
        assert shape.tag == f"{P}grpSp"
        assert shape.find(f"{P}nvGrpSpPr/{P}cNvPr").attrib == {
            "id": str(MAX_ID + 1),
            "name": f"Group {MAX_ID}",
        }
        (shape,) = list(shape)[2:]
    return shape


def rel_list(data):
    return [
        (r.get("Id"), r.get("Type").rsplit("/", 1)[1], r.get("Target")) for r in ET.fromstring(data)
    ]


# ---- Pictures ----


@pytest.mark.parametrize("name", IMAGE_FUNCTIONS)
def test_picture_at_its_target(name, nested_deck, tmp_path):
    indexes, container_id, new_group = IMAGE_FUNCTIONS[name]
    out = tmp_path / "out.pptx"
    record = json.loads(
        getattr(native, name)(
            str(nested_deck), str(out), 0, *indexes, write(tmp_path / "b.png", PNG_B), *BOX
        )
    )
    shape_id = MAX_ID + (2 if new_group else 1)
    assert record == {
        "path": str(out),
        "slide_index": 0,
        "slide_part": SLIDE,
        "relationship_id": "rId3",
        "image_part": "ppt/media/image2.png",
        "shape_id": shape_id,
        "part_count": len(entries(nested_deck)) + 1,
        "has_vba": False,
    }
    added, root = check_edit(nested_deck, out)
    assert added == ["ppt/media/image2.png"]
    pic = last_shape(root, container_id, new_group)
    assert pic.find(f"{P}nvPicPr/{P}cNvPr").attrib == {
        "id": str(shape_id),
        "name": f"Picture {shape_id - 1}",
    }
    assert pic.find(f"{P}blipFill/{A}blip").get(f"{R}embed") == "rId3"


@pytest.mark.parametrize(
    "file_name, data, image_part, relationship_id",
    [
        ("a.png", PNG_A, "ppt/media/image1.png", "rId2"),  # the slide's own relationship
        ("b.PNG", PNG_B, "ppt/media/image2.png", "rId3"),  # first of two equal parts; slide 1's
        ("c.png", PNG_C, "ppt/media/image4.png", "rId3"),  # photo.png is no candidate
        ("d.png", b"jpeg bytes", "ppt/media/image4.png", "rId3"),  # nor is image4.jpeg
        ("d.jpeg", b"jpeg bytes", "ppt/media/image1.jpg", "rId3"),
    ],
)
def test_identical_image_parts_are_used_again(
    file_name, data, image_part, relationship_id, deck, tmp_path
):
    media = [
        ("image1.png", PNG_A),
        ("image2.png", PNG_B),
        ("image3.png", PNG_B),
        ("photo.png", PNG_C),
        ("image4.jpeg", b"jpeg bytes"),
    ]
    source = deck(slides=2, media=media, media_rels={0: ["image1.png"], 1: ["image2.png"]})
    out = tmp_path / "out.pptx"
    record = json.loads(
        native.add_slide_image_json(
            str(source), str(out), 0, write(tmp_path / file_name, data), *BOX
        )
    )
    reused = image_part.rsplit("/", 1)[1] in dict(media)
    assert (record["image_part"], record["relationship_id"]) == (image_part, relationship_id)
    assert record["part_count"] == len(entries(source)) + (0 if reused else 1)
    added, _ = check_edit(source, out)
    assert added == ([] if reused else [image_part])


def test_same_image_twice_stored_once(nested_deck, tmp_path):
    image = write(tmp_path / "b.png", PNG_B)
    first, second = tmp_path / "1.pptx", tmp_path / "2.pptx"
    one = json.loads(native.add_slide_image_json(str(nested_deck), str(first), 0, image, *BOX))
    two = json.loads(native.add_slide_group_image_json(str(first), str(second), 0, 0, image, *BOX))
    assert (two["image_part"], two["relationship_id"], two["part_count"]) == (
        one["image_part"],
        one["relationship_id"],
        one["part_count"],
    )
    _, root = check_edit(first, second, changed=(SLIDE,))
    assert [b.get(f"{R}embed") for b in root.iter(f"{A}blip")] == ["rId2", "rId3", "rId3"]


def test_one_png_default_whatever_its_case(nested_deck, tmp_path):
    types = entries(nested_deck)[TYPES][1].replace(b'Extension="png"', b'Extension="PNG"')
    source = rewrite_package(nested_deck, tmp_path / "in.pptx", replace={TYPES: types})
    out = tmp_path / "out.pptx"
    native.add_slide_image_json(str(source), str(out), 0, write(tmp_path / "b.png", PNG_B), *BOX)
    assert entries(out)[TYPES][1] == types


# ---- Image replacement ----


@pytest.fixture
def replacement_deck(deck):
    media = [("image1.png", PNG_A), ("image2.png", PNG_B), ("clip.mp4", b"movie")]
    return deck(
        slides=4,
        media=media,
        stored=["ppt/media/image1.png"],
        directories=["ppt/extra"],
        media_rels={0: ["image1.png"], 1: ["image1.png"], 2: ["image2.png"], 3: ["clip.mp4"]},
    )


@pytest.mark.parametrize(
    "slide_index, relationship_id, replaced",
    [
        (
            None,
            "rId2",
            ["ppt/media/image1.png", "ppt/media/image2.png"],
        ),  # archive order, each once
        (2, "rId2", ["ppt/media/image2.png"]),
        (1, "rId2", ["ppt/media/image1.png"]),  # shared with slide 0
        (3, "rId2", []),  # a video relationship
        (9, "rId2", []),  # past the last slide
        (None, "rId7", []),
    ],
)
def test_replace_images(slide_index, relationship_id, replaced, replacement_deck, tmp_path):
    out = tmp_path / "out.pptx"
    new_image = write(tmp_path / "new.jpg", b"\xff\xd8 not checked")
    if slide_index is None:
        result = native.replace_slide_image_json(
            str(replacement_deck), str(out), relationship_id, new_image
        )
    else:
        result = native.replace_slide_image_at_index_json(
            str(replacement_deck), str(out), slide_index, relationship_id, new_image
        )
    before, after = entries(replacement_deck), entries(out)
    assert json.loads(result) == {
        "path": str(out),
        "relationship_id": relationship_id,
        "replacements": len(replaced),
        "replaced_parts": replaced,
        "part_count": len(before),
        "has_vba": False,
    }
    check_package(replacement_deck, out)
    assert list(after) == list(before)
    for name, (info, data) in after.items():
        old_info, old_data = before[name]
        assert data == (b"\xff\xd8 not checked" if name in replaced else old_data), name
        assert (info.compress_type, info.is_dir(), info.date_time) == (
            old_info.compress_type,
            old_info.is_dir(),
            (1980, 1, 1, 0, 0, 0),
        ), name
        assert info.external_attr >> 16 & 0o777 == (0o755 if info.is_dir() else 0o644), name


# ---- Movies ----


def test_movie_with_its_poster_and_timing(nested_deck, tmp_path):
    movie = write(tmp_path / "clips" / "Intro Clip.MP4", b"\0movie")
    poster = write(tmp_path / "poster.png", PNG_B)
    first, second = tmp_path / "1.pptx", tmp_path / "2.pptx"
    record = json.loads(
        native.add_slide_movie_json(
            str(nested_deck), str(first), 0, movie, poster, *BOX, "video/mp4"
        )
    )
    assert record == {
        "path": str(first),
        "slide_index": 0,
        "slide_part": SLIDE,
        "media_relationship_id": "rId3",
        "video_relationship_id": "rId4",
        "poster_relationship_id": "rId5",
        "media_part": "ppt/media/media1.mp4",
        "poster_part": "ppt/media/image2.png",
        "shape_id": 6,
        "part_count": len(entries(nested_deck)) + 2,
        "has_vba": False,
    }
    added, root = check_edit(nested_deck, first)
    assert added == ["ppt/media/media1.mp4", "ppt/media/image2.png"]
    after = entries(first)
    assert (
        after["ppt/media/media1.mp4"][1] == b"\0movie" and after["ppt/media/image2.png"][1] == PNG_B
    )
    assert rel_list(after[RELS][1])[-3:] == [
        ("rId3", "media", "../media/media1.mp4"),
        ("rId4", "video", "../media/media1.mp4"),
        ("rId5", "image", "../media/image2.png"),
    ]
    assert b'<Default Extension="mp4" ContentType="video/mp4"/>' in after[TYPES][1]
    pic = list(container(root, None))[-1]
    assert pic.find(f"{P}nvPicPr/{P}cNvPr").attrib == {"id": "6", "name": "Intro Clip.MP4"}
    assert [t.get("spid") for t in root.iter(f"{P}spTgt")] == ["6"]

    # A second movie keeps the mp4 Default as it is; a file name XML cannot carry is not used.
    bell = write(tmp_path / "bell\x07.mp4", b"m")
    native.add_slide_movie_json(str(first), str(second), 0, bell, poster, *BOX, "x/y")
    assert entries(second)[TYPES][1] == after[TYPES][1]
    pic = list(container(check_edit(first, second)[1], None))[-1]
    assert pic.find(f"{P}nvPicPr/{P}cNvPr").attrib == {"id": "7", "name": "Movie 7"}


# ---- Embedded objects ----


@pytest.mark.parametrize("name", OBJECT_FUNCTIONS)
def test_object_at_its_target(name, nested_deck, tmp_path):
    indexes, container_id, new_group = OBJECT_FUNCTIONS[name]
    out = tmp_path / "out.pptx"
    # The icon of the last one has the bytes of image1.png and is still stored anew.
    icon = write(tmp_path / "icon.png", PNG_A) if new_group else None
    record = json.loads(
        getattr(native, name)(
            str(nested_deck),
            str(out),
            0,
            *indexes,
            write(tmp_path / "o.bin", b""),
            'Pkg "1"',
            *BOX,
            icon,
            0,
            0,
        )
    )
    shape_id = MAX_ID + (2 if new_group else 1)
    assert record == {
        "path": str(out),
        "slide_index": 0,
        "slide_part": SLIDE,
        "ole_relationship_id": "rId3",
        "icon_relationship_id": "rId4",
        "ole_part": "ppt/embeddings/oleObject1.bin",
        "icon_part": "ppt/media/image2.png",
        "shape_id": shape_id,
        "part_count": len(entries(nested_deck)) + 2,
        "has_vba": False,
    }
    added, root = check_edit(nested_deck, out)
    after = entries(out)
    assert added == ["ppt/embeddings/oleObject1.bin", "ppt/media/image2.png"]
    assert after["ppt/embeddings/oleObject1.bin"][1] == b""
    assert len(after["ppt/media/image2.png"][1]) == (len(PNG_A) if icon else 74)
    assert after[TYPES][1].count(b'Extension="png"') == 1
    assert (
        b'<Override PartName="/ppt/embeddings/oleObject1.bin" ContentType="application/'
        b'vnd.openxmlformats-officedocument.oleObject"/>' in after[TYPES][1]
    )
    frame = last_shape(root, container_id, new_group)
    assert frame.find(f"{P}nvGraphicFramePr/{P}cNvPr").attrib == {
        "id": str(shape_id),
        "name": f"Object {shape_id - 1}",
    }
    ole = frame.find(f"{A}graphic/{A}graphicData/{P}oleObj")
    assert (
        ole.get(f"{R}id"),
        ole.get("progId"),
        ole.find(f"{P}pic/{P}blipFill/{A}blip").get(f"{R}embed"),
    ) == ("rId3", 'Pkg "1"', "rId4")


# ---- A slide without relationships part ----

# The files these calls pass by name.
FILES = {"b.png": PNG_B, "clip.mov": b"m", "p.gif": b"GIF89a", "o.bin": b"x"}


@pytest.mark.parametrize(
    "name, args, fields, added",
    [
        (
            "add_slide_image_json",
            ("b.png", *BOX),
            {"relationship_id": "rId1"},
            ["ppt/media/image2.png"],
        ),
        (
            "add_slide_movie_json",
            ("clip.mov", "p.gif", *BOX, "video/quicktime"),
            {
                "media_relationship_id": "rId1",
                "video_relationship_id": "rId2",
                "poster_relationship_id": "rId3",
            },
            ["ppt/media/media1.mov", "ppt/media/image1.gif"],
        ),
        # With oleObject1.bin and oleObject3.bin in the package.
        (
            "add_slide_ole_object_json",
            ("o.bin", "Package", *BOX, None, 1, 2),
            {"ole_relationship_id": "rId1", "icon_relationship_id": "rId2"},
            ["ppt/embeddings/oleObject2.bin", "ppt/media/image2.png"],
        ),
    ],
)
def test_slide_without_relationships_part(name, args, fields, added, deck, tmp_path):
    source = deck(
        media=[("image1.png", PNG_A)],
        extra_parts={"ppt/embeddings/oleObject1.bin": b"1", "ppt/embeddings/oleObject3.bin": b"3"},
    )
    source = rewrite_package(source, tmp_path / "in.pptx", drop={RELS})
    out = tmp_path / "out.pptx"
    args = [write(tmp_path / arg, FILES[arg]) if arg in FILES else arg for arg in args]
    record = json.loads(getattr(native, name)(str(source), str(out), 0, *args))
    assert {key: record[key] for key in fields} == fields
    assert record["part_count"] == len(entries(source)) + 1 + len(added)
    assert check_edit(source, out)[0] == [RELS, *added]


# ---- Refusals ----


def refusals(tmp_path, deck_path):
    image, missing = write(tmp_path / "b.png", PNG_B), str(tmp_path / "missing.png")
    movie, folder = write(tmp_path / "m.mp4", b"m"), str(tmp_path)
    nowhere = str(tmp_path / "no-package.pptx")
    return [
        (
            "add_slide_image_json",
            (deck_path, 9, "x.webp", *BOX),
            "invalid input: slide index 9 was not found",
        ),
        (
            "add_slide_image_json",
            (deck_path, 0, "photo", *BOX),
            "invalid input: image path has no extension: photo",
        ),
        (
            "add_slide_image_json",
            (deck_path, 0, "x.webp", *BOX),
            "invalid input: unsupported image extension: webp",
        ),
        (
            "add_slide_image_json",
            (deck_path, 0, missing, *BOX),
            "io error: No such file or directory",
        ),
        (
            "add_slide_group_image_json",
            (deck_path, 0, 3, image, *BOX),
            "invalid input: group shape index 3 was not found",
        ),
        (
            "add_slide_deeper_nested_group_image_json",
            (deck_path, 0, 0, 0, 1, image, *BOX),
            "invalid input: deeper nested group child index 1 was not found",
        ),
        (
            "add_slide_movie_json",
            (deck_path, 0, "clip.", image, *BOX, "video/mp4"),
            "invalid input: movie path has no extension: clip.",
        ),
        (
            "add_slide_movie_json",
            (nowhere, 0, movie, "x.webp", *BOX, "video/mp4"),
            "invalid input: unsupported image extension: webp",
        ),
        (
            "add_slide_movie_json",
            (deck_path, 0, movie, image, *BOX, "video\x0b"),
            "invalid input: text contains a character that XML cannot hold: U+000B",
        ),
        (
            "add_slide_movie_json",
            (deck_path, 9, movie, image, *BOX, "video/mp4"),
            "invalid input: slide index 9 was not found",
        ),
        (
            "add_slide_ole_object_json",
            (nowhere, 0, folder, "P", *BOX, None, 0, 0),
            "io error: Is a directory",
        ),
        (
            "add_slide_ole_object_json",
            (deck_path, 0, movie, "P", *BOX, "icon.txt", 0, 0),
            "invalid input: unsupported image extension: txt",
        ),
        (
            "add_slide_ole_object_json",
            (deck_path, 0, movie, "P\x07", *BOX, None, 0, 0),
            "invalid input: text contains a character that XML cannot hold: U+0007",
        ),
        (
            "add_slide_nested_group_ole_object_json",
            (deck_path, 0, 0, 5, movie, "P", *BOX, None, 0, 0),
            "invalid input: nested group child index 5 was not found",
        ),
        (
            "replace_slide_image_json",
            (deck_path, "rId2", missing),
            "io error: No such file or directory",
        ),
    ]


def test_refusals_leave_nothing(nested_deck, tmp_path):
    original = nested_deck.read_bytes()
    for name, (source, *args), message in refusals(tmp_path, str(nested_deck)):
        out = tmp_path / "out" / "out.pptx"
        with pytest.raises(RuntimeError) as raised:
            getattr(native, name)(source, str(out), *args)
        assert str(raised.value) == message, name
        assert not out.exists(), name
    assert nested_deck.read_bytes() == original


def test_argument_errors_name_the_first_bad_parameter(nested_deck, tmp_path):
    out = str(tmp_path / "out.pptx")
    with pytest.raises(OverflowError) as raised:
        native.add_slide_ole_object_json(
            str(nested_deck), out, -1, "o", "P", "x", 0, 0, 0, None, 0, 0
        )
    assert "while processing 'slide_index'" in raised.value.__notes__
    with pytest.raises(TypeError) as raised:
        native.add_slide_movie_json(str(nested_deck), out, 0, "m.mp4", None, *BOX, "video/mp4")
    assert "while processing 'poster_frame_path'" in raised.value.__notes__
    assert not (tmp_path / "out.pptx").exists()


# ---- Real decks ----


def ends_with_own_ext_list(deck, tmp_path):
    source = deck()
    slide = entries(source)[SLIDE][1].replace(
        b"</p:sld>",
        b'<p:extLst><p:ext uri="{BB962C8B-B14F-4D97-AF65-F5344CB8AC3E}"/></p:extLst></p:sld>',
    )
    return rewrite_package(source, tmp_path / "ext-list.pptx", replace={SLIDE: slide})


def test_real_decks(shared_decks, deck, tmp_path):
    image, movie = write(tmp_path / "pic.png", PNG_C), write(tmp_path / "clip.mp4", b"\0clip")
    obj = write(tmp_path / "object.bin", b"object")
    steps = [
        lambda src, out: native.add_slide_image_json(src, out, 0, image, *BOX),
        lambda src, out: native.add_slide_image_json(src, out, 0, image, *BOX),
        lambda src, out: native.add_slide_movie_json(src, out, 0, movie, image, *BOX, "video/mp4"),
        lambda src, out: native.add_slide_ole_object_json(
            src, out, 0, obj, "Package", *BOX, None, 0, 0
        ),
    ]
    movie_again = [steps[2]]
    edited = 0
    sources = sorted(shared_decks.glob("*.ppt[xm]")) + [ends_with_own_ext_list(deck, tmp_path)]
    for source in sources:
        current = source
        for number, step in enumerate(
            steps + (movie_again if source.name == "shp-movie-props.pptx" else [])
        ):
            out = tmp_path / f"{source.stem}-{number}{source.suffix}"
            try:
                record = json.loads(step(str(current), str(out)))
            except RuntimeError as error:
                assert str(error) == "invalid input: slide index 0 was not found", source.name
                break
            check_package(current, out)
            if number == 1:
                assert record["part_count"] == len(entries(current)), source.name
            current = out
        else:
            edited += 1
    assert edited >= 20


@pytest.mark.reader
def test_the_presentation_program_opens_the_result(nested_deck, tmp_path):
    image, movie = (
        write(tmp_path / "pic.png", png_bytes(40, 30, (200, 60, 40))),
        write(tmp_path / "m.mp4", b"\0m"),
    )
    chain = [
        ("add_slide_nested_group_image_json", (0, 0, image, *BOX)),
        ("add_slide_movie_json", (movie, image, *BOX, "video/mp4")),
        (
            "add_slide_deeper_nested_group_ole_object_json",
            (0, 0, 0, write(tmp_path / "o.bin", b"x"), "Package", *BOX, None, 914400, 914400),
        ),
    ]
    current = nested_deck
    for number, (name, args) in enumerate(chain):
        output = tmp_path / f"step{number}.pptx"
        getattr(native, name)(str(current), str(output), 0, *args)
        current = output
    replaced = tmp_path / "replaced.pptx"
    native.replace_slide_image_json(
        str(current), str(replaced), "rId3", write(tmp_path / "new.png", PNG_C)
    )
    check_package(nested_deck, replaced, reader=True)
