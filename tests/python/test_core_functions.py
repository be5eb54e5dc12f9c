"""Core functions end to end: the package manifest, its JSON form, the round trip, and
damaged or refused inputs."""

import hashlib
import json
import zipfile

import pelvane.pelvane_native as native
import pytest
from deck_builder import PNG_1X1
from reference_manifest import zipfile_manifest


def json_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def runtime_error(call, *args):
    with pytest.raises(RuntimeError) as caught:
        call(*args)
    assert len(caught.value.args) == 1
    return caught.value.args[0]


@pytest.fixture
def rich_deck(deck):
    return deck(
        slides=3,
        notes=True,
        slide_numbers=[1, 2, 10],
        media={"image1.png": PNG_1X1, "clip.mp4": b"\0" * 300},
        vba=True,
        comment=b"archive comment",
        stored=["ppt/media/image1.png"],
        directories=["ppt/media", "ppt"],
        extra_parts={
            "ppt/embeddings/oleObject1.bin": b"\x01" * 40,
            "ppt/embeddings/oleObject1.bin.rels": "<Relationships/>",
            "ppt/media/image2.xml": "<x/>",
            "PPT/MEDIA/image3.png": PNG_1X1,
            "abc": b"z",
        },
    )


def test_manifest_equals_zipfile_and_hashlib(rich_deck):
    text = native.inspect_package_json(str(rich_deck))
    manifest = json.loads(text)
    assert manifest == zipfile_manifest(rich_deck)
    assert list(manifest) == ["path", "parts"]
    assert all(list(part) == ["name", "size", "sha256", "kind"] for part in manifest["parts"])
    kinds = {part["name"]: part["kind"] for part in manifest["parts"]}
    assert kinds["ppt/media/"] == "media" and kinds["ppt/"] == "binary"
    assert kinds["ppt/vbaProject.bin"] == "vba"
    assert kinds["ppt/embeddings/oleObject1.bin"] == "embedding"
    names = [part["name"] for part in manifest["parts"]]
    assert names.index("ppt/slides/slide10.xml") < names.index("ppt/slides/slide2.xml")
    assert names[0] == "PPT/MEDIA/image3.png"


def test_manifest_of_real_decks(shared_decks):
    decks = sorted(shared_decks.glob("*.ppt[xm]"))
    assert decks
    for path in decks:
        assert json.loads(native.inspect_package_json(str(path))) == zipfile_manifest(path), path


def test_manifest_json_layout(tmp_path):
    folder = tmp_path / 'q"uote \\ é'
    folder.mkdir()
    path = folder / "one.pptx"
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("a.xml", b"x")
    digest = hashlib.sha256(b"x").hexdigest()
    assert native.inspect_package_json(str(path)) == (
        "{\n"
        f'  "path": {json_string(str(path))},\n'
        '  "parts": [\n'
        "    {\n"
        '      "name": "a.xml",\n'
        '      "size": 1,\n'
        f'      "sha256": "{digest}",\n'
        '      "kind": "xml"\n'
        "    }\n"
        "  ]\n"
        "}"
    )

    empty = tmp_path / "empty.pptx"
    zipfile.ZipFile(empty, "w").close()
    assert native.inspect_package_json(str(empty)) == (
        f'{{\n  "path": {json_string(str(empty))},\n  "parts": []\n}}'
    )


def test_inspection_writes_nothing(rich_deck):
    before = sorted(p.name for p in rich_deck.parent.iterdir())
    data = rich_deck.read_bytes()
    native.inspect_package_json(str(rich_deck))
    assert sorted(p.name for p in rich_deck.parent.iterdir()) == before
    assert rich_deck.read_bytes() == data


def test_roundtrip_copies_and_reports_the_output(rich_deck, tmp_path):
    output = tmp_path / "new" / "nested" / "copy.pptx"
    manifest = json.loads(native.roundtrip_package_json(str(rich_deck), str(output)))
    assert output.read_bytes() == rich_deck.read_bytes()
    assert manifest == zipfile_manifest(rich_deck, report_path=output)

    # The path is reported exactly as given.
    relative = native.roundtrip_package_json(str(rich_deck), str(output.parent / "." / "c.pptx"))
    assert json.loads(relative)["path"] == str(output.parent / "." / "c.pptx")


def test_roundtrip_onto_its_own_input_keeps_it(rich_deck):
    data = rich_deck.read_bytes()
    manifest = json.loads(native.roundtrip_package_json(str(rich_deck), str(rich_deck)))
    assert rich_deck.read_bytes() == data
    assert manifest == zipfile_manifest(rich_deck)
    assert sorted(p.name for p in rich_deck.parent.iterdir()) == [rich_deck.name]


def test_nul_in_a_path_is_refused(rich_deck, tmp_path):
    message = "io error: file name contained an unexpected NUL byte"
    assert runtime_error(native.inspect_package_json, str(rich_deck) + "\0") == message
    output = tmp_path / "out.pptx"
    assert runtime_error(native.roundtrip_package_json, str(rich_deck), f"{output}\0x") == message
    assert runtime_error(native.roundtrip_package_json, f"{rich_deck}\0", str(output)) == message
    assert not output.exists()


def _corrupt_entry_data(path, name):
    """Flips the first data byte of the named entry in place."""
    with zipfile.ZipFile(path) as archive:
        info = archive.getinfo(name)
    raw = bytearray(path.read_bytes())
    name_length = int.from_bytes(raw[info.header_offset + 26 : info.header_offset + 28], "little")
    extra_length = int.from_bytes(raw[info.header_offset + 28 : info.header_offset + 30], "little")
    start = info.header_offset + 30 + name_length + extra_length
    raw[start] ^= 0xFF
    path.write_bytes(bytes(raw))


def test_damaged_archives_fail_cleanly(deck, tmp_path):
    not_zip = tmp_path / "text.pptx"
    not_zip.write_text("plain text, not an archive")
    empty = tmp_path / "empty-file.pptx"
    empty.write_bytes(b"")
    truncated = deck("truncated.pptx", slides=2)
    truncated.write_bytes(truncated.read_bytes()[: truncated.stat().st_size // 2])
    for path in (not_zip, empty, truncated):
        assert runtime_error(native.inspect_package_json, str(path)).startswith("zip error: ")
        out = tmp_path / "out" / path.name
        assert runtime_error(native.roundtrip_package_json, str(path), str(out)).startswith(
            "zip error: "
        )

    bad_crc = deck("bad-crc.pptx", media={"image1.png": PNG_1X1}, stored=["ppt/media/image1.png"])
    _corrupt_entry_data(bad_crc, "ppt/media/image1.png")
    with pytest.raises(zipfile.BadZipFile):
        zipfile_manifest(bad_crc)
    assert runtime_error(native.inspect_package_json, str(bad_crc)).startswith("io error: ")

    bad_deflate = deck("bad-deflate.pptx", slides=1)
    _corrupt_entry_data(bad_deflate, "ppt/presentation.xml")
    assert runtime_error(native.inspect_package_json, str(bad_deflate)).startswith(
        ("io error: ", "zip error: ")
    )

    directory = tmp_path / "a-directory.pptx"
    directory.mkdir()
    assert runtime_error(native.inspect_package_json, str(directory)).startswith("io error: ")

    # The module keeps working after every failure above.
    assert json.loads(native.inspect_package_json(str(deck(slides=1))))["parts"]
