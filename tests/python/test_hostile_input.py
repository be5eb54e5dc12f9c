"""Decks from strangers and careless scripts: decompression bombs, parts that honestly declare
hundreds of megabytes, outputs that are not plain files, the permissions and owner of a replaced
output, and packages naming two entries alike. Every case checks the exact message, that the
input is unchanged and that no temporary file is left beside the output."""

import json
import os
import stat
import subprocess
import sys
import zipfile
from pathlib import Path

import pelvane.pelvane_native as native
import pytest
from deck_builder import PNG_1X1, build_deck, workbook_bytes
from hostile_packages import (
    bomb_deck,
    crowded_names_deck,
    duplicate_entry_deck,
    empty_entry_deck,
    overlapping_deck,
    padded_part,
    read_otherwise_backwards,
    with_unicode_path,
)
from module_calls import SLIDE, parameters
from module_calls import argument as value_for
from package_lint import check_package

BOX = (914400, 457200, 1828800, 914400)


def runtime_error(call, *args):
    with pytest.raises(RuntimeError) as caught:
        call(*args)
    return caught.value.args[0]


def temporaries(*folders):
    return [path for folder in folders for path in folder.iterdir() if path.name.endswith(".tmp")]


def roundtrip(source, output):
    return native.roundtrip_package_json(str(source), str(output))


def edit(source, output):
    return native.add_slide_auto_shape_json(str(source), str(output), 0, "rect", *BOX)


def check_written(operation, source, output, source_bytes):
    if operation is roundtrip:
        assert output.read_bytes() == source_bytes
    else:
        check_package(source, output)


# --- calls in a child process, with their peak memory ------------------------------------

# The child reports the call's error and its own peak resident memory before and after the call.
# The peak is read from /proc, not from getrusage: a child's getrusage peak starts at its
# parent's resident size at the fork, which would hide the call behind the test runner's.
CHILD = """
import json, sys
import pelvane.pelvane_native as native

def peak():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmHWM:"))

name, arguments = sys.argv[1], json.loads(sys.argv[2])
arguments = [open(a["bytes_of"], "rb").read() if isinstance(a, dict) else a for a in arguments]
before = peak()
try:
    getattr(native, name)(*arguments)
    error = None
except RuntimeError as caught:
    error = caught.args[0]
print(json.dumps([error, before, peak()]))
"""


def argument(name, parameter, package, output, files):
    if parameter in ("path", "input"):
        return str(package)
    if parameter == "xlsx":
        return {"bytes_of": str(package)}
    if parameter == "output":
        return str(output)
    return value_for(name, parameter, files)


def run_child(name, package, output, files):
    """Calls `name` on `package` in a child process: its error (None when it succeeded), its peak
    memory before the call, and its peak memory after it, in bytes."""
    arguments = [argument(name, p, package, output, files) for p in parameters(name)]
    run = subprocess.run(
        [sys.executable, "-c", CHILD, name, json.dumps(arguments)],
        capture_output=True,
        text=True,
        cwd=output.parent,
        timeout=120,
    )
    assert run.returncode == 0, run.stderr
    return json.loads(run.stdout)


@pytest.fixture(scope="session")
def call_files(tmp_path_factory):
    files = tmp_path_factory.mktemp("files")
    (files / "image.png").write_bytes(PNG_1X1)
    (files / "movie.mp4").write_bytes(b"movie")
    (files / "object.bin").write_bytes(b"object")
    return files


# --- decompression bombs ------------------------------------------------------------------

BOMB_CALLS = [
    "inspect_package_json",
    "summarize_presentation_json",
    "summarize_slide_at_index_json",
    "add_slide_auto_shape_json",
    "add_slide_text_box_with_text_json",
]


@pytest.fixture(scope="module")
def bombs(tmp_path_factory):
    folder = tmp_path_factory.mktemp("bombs")
    return {
        # 4 GiB of blanks declared as 1,000 bytes.
        "inflates past": bomb_deck(folder / "bomb.pptx"),
        "ends before": bomb_deck(folder / "short.pptx", inflated=600, declared=1000),
    }


@pytest.mark.parametrize("kind", ["inflates past", "ends before"])
@pytest.mark.parametrize("call", BOMB_CALLS)
def test_content_is_held_to_its_declared_size(bombs, call_files, kind, call, tmp_path):
    deck = bombs[kind]
    before = deck.read_bytes()
    output = tmp_path / "out.pptx"
    error, _, peak = run_child(call, deck, output, call_files)
    assert error == "zip error: entry ppt/presentation.xml does not inflate to its declared size"
    assert peak < 100 * 1024 * 1024
    assert deck.read_bytes() == before
    assert not output.exists() and temporaries(tmp_path) == []


# --- parts that honestly declare hundreds of megabytes ------------------------------------

MIB = 1 << 20
REFUSED = "zip error: entry {} inflates more than 100 times its stored size"
PRESENTATION = "ppt/presentation.xml"
SHEET = "xl/worksheets/sheet1.xml"
SLIDE_RELS = "ppt/slides/_rels/slide1.xml.rels"


@pytest.fixture(scope="session")
def padded(tmp_path_factory):
    """Packages one of whose parts honestly inflates to far more than the package holds, each
    half a megabyte at most, written once per session."""
    folder = tmp_path_factory.mktemp("padded")
    deck, book = build_deck(folder / "plain.pptx", slides=2).read_bytes(), workbook_bytes()
    packages = {
        "3 MiB deck": (deck, PRESENTATION, 3),
        "3 MiB workbook": (book, SHEET, 3),
        "512 MiB deck": (deck, PRESENTATION, 512),
        "512 MiB workbook": (book, SHEET, 512),
        "512 MiB slide": (deck, SLIDE, 512),
        "512 MiB slide relationships": (deck, SLIDE_RELS, 512),
    }
    paths = {kind: folder / kind.replace(" ", "-") for kind in packages}
    for kind, (package, part, blanks) in packages.items():
        paths[kind].write_bytes(padded_part(package, part, blanks * MIB))
    # A 7 MB slide of a million empty shapes, compressed several hundred to one.
    paths["million shapes"] = build_deck(
        folder / "shapes.pptx", slides=2, slide_shapes={0: "<p:sp/>" * 1_000_000}
    )
    return paths


def reads_a_package(name):
    return bool({"path", "input", "xlsx"} & set(parameters(name)))


# Every function that reads a package reads its presentation part, except these.
FIRST_LARGE_PART = {
    "update_workbook_cells": SHEET,
    "replace_slide_text_json": SLIDE,
    "replace_slide_image_json": SLIDE_RELS,
}
PADDED = {
    PRESENTATION: "512 MiB deck",
    SLIDE: "512 MiB slide",
    SLIDE_RELS: "512 MiB slide relationships",
    SHEET: "512 MiB workbook",
}


@pytest.mark.parametrize("name", [name for name in native.__all__ if reads_a_package(name)])
def test_a_part_inflating_past_100_times_its_size_is_refused_before_it_is_read(
    padded, call_files, name, tmp_path
):
    part = FIRST_LARGE_PART.get(name, PRESENTATION)
    package = padded[PADDED[part]]
    before = package.read_bytes()
    output = tmp_path / "out.pptx"

    error, _, peak = run_child(name, package, output, call_files)

    assert error == REFUSED.format(part)
    assert peak < 100 * MIB
    assert package.read_bytes() == before
    # The round trip copies the file before it lists the parts, as it copies any file it is given.
    assert (
        output.read_bytes() == before if name == "roundtrip_package_json" else not output.exists()
    )
    assert temporaries(tmp_path) == []


# One call of each family: function, package, the part refused (None: the call succeeds).
FAMILY_CALLS = [
    ("summarize_presentation_json", "3 MiB deck", None),
    ("add_blank_slide_json", "3 MiB deck", None),
    ("add_slide_text_box_json", "3 MiB deck", None),
    ("apply_edit_batch_json", "3 MiB deck", None),
    ("update_workbook_cells", "3 MiB workbook", None),
    ("summarize_presentation_json", "million shapes", SLIDE),
    ("summarize_slide_at_index_json", "million shapes", SLIDE),
    ("add_slide_text_box_json", "million shapes", SLIDE),
    ("apply_edit_batch_json", "million shapes", SLIDE),
]


@pytest.mark.parametrize("name, kind, refused", FAMILY_CALLS)
def test_a_large_part_is_held_once_below_the_limit_and_refused_past_it(
    padded, call_files, name, kind, refused, tmp_path
):
    package = padded[kind]
    output = tmp_path / "out.pptx"

    error, before, peak = run_child(name, package, output, call_files)

    if refused:
        assert (error, output.exists()) == (REFUSED.format(refused), False)
        assert peak < 100 * MIB
    else:
        assert error is None
        # The part is 3 MiB: read once, and at most once more for the text written in its place.
        assert peak - before < 3 * 3 * MIB
        if output.exists():
            check_package(package, output)
    assert temporaries(tmp_path) == []


# --- permissions and owner of an existing output ------------------------------------------


@pytest.mark.parametrize("mode", [0o600, 0o640, 0o755])
@pytest.mark.parametrize("in_place", [False, True], ids=["over-an-output", "in-place"])
@pytest.mark.parametrize("operation", [roundtrip, edit])
def test_a_replaced_file_keeps_its_permissions_and_owner(deck, tmp_path, operation, in_place, mode):
    source = deck(slides=1)
    source_bytes = source.read_bytes()
    output = source if in_place else tmp_path / "out.pptx"
    if not in_place:
        output.write_bytes(b"previous output")
    as_root = os.geteuid() == 0
    if as_root:
        os.chown(output, 4242, 4343)
    output.chmod(mode)
    reference = tmp_path / "reference.pptx"
    reference.write_bytes(source_bytes)

    operation(source, output)

    status = output.stat()
    assert stat.S_IMODE(status.st_mode) == mode
    if as_root:
        assert (status.st_uid, status.st_gid) == (4242, 4343)
    check_written(operation, reference, output, source_bytes)
    if not in_place:
        assert source.read_bytes() == source_bytes
    assert temporaries(tmp_path) == []


# --- outputs that are not plain files -----------------------------------------------------


def make_special(kind, path):
    if kind == "fifo":
        os.mkfifo(path)
    elif kind == "device":
        try:
            os.mknod(path, 0o666 | stat.S_IFCHR, os.makedev(1, 3))  # a private null device
        except PermissionError:
            pytest.skip("making a device needs root")
    else:
        os.mkfifo(path.parent / "fifo")
        path.symlink_to("fifo")


@pytest.mark.parametrize("kind", ["fifo", "device", "link-to-fifo"])
@pytest.mark.parametrize("operation", [roundtrip, edit])
def test_outputs_that_are_not_regular_files_are_refused(deck, tmp_path, operation, kind):
    source = deck(slides=1)
    source_bytes = source.read_bytes()
    folder = tmp_path / "outputs"
    folder.mkdir()
    output = folder / "special"
    make_special(kind, output)
    before = os.stat(output)

    assert (
        runtime_error(operation, source, output)
        == f"io error: output {output} is not a regular file"
    )

    after = os.stat(output)
    assert (stat.S_IFMT(after.st_mode), after.st_rdev, after.st_ino) == (
        stat.S_IFMT(before.st_mode),
        before.st_rdev,
        before.st_ino,
    )
    assert source.read_bytes() == source_bytes
    assert temporaries(folder) == []


@pytest.mark.parametrize("target_exists", [True, False], ids=["link", "dangling-link"])
@pytest.mark.parametrize("operation", [roundtrip, edit])
def test_a_symlink_output_replaces_the_file_it_names(deck, tmp_path, operation, target_exists):
    source = deck(slides=1)
    source_bytes = source.read_bytes()
    real = tmp_path / "real"
    real.mkdir()
    target = real / "target.pptx"
    if target_exists:
        target.write_bytes(b"previous output")
        target.chmod(0o600)
    link = tmp_path / "link.pptx"
    link.symlink_to("real/target.pptx")

    operation(source, link)

    assert link.is_symlink() and os.readlink(link) == "real/target.pptx"
    check_written(operation, source, target, source_bytes)
    if target_exists:
        assert stat.S_IMODE(target.stat().st_mode) == 0o600
    assert source.read_bytes() == source_bytes
    assert temporaries(tmp_path, real) == []


def batch(source, output):
    return native.apply_edit_batch_json(str(source), str(output), "[]")


@pytest.mark.parametrize("operation", [roundtrip, edit, batch])
def test_an_output_path_ending_in_a_slash_is_refused_before_anything_is_created(
    deck, tmp_path, operation
):
    source = deck(slides=1)
    output = f"{tmp_path}/new/folder/"
    assert (
        runtime_error(operation, source, output) == f"invalid input: output {output} names a folder"
    )
    assert not (tmp_path / "new").exists() and temporaries(tmp_path) == []


@pytest.mark.parametrize("operation", [roundtrip, edit])
def test_an_output_path_of_4090_bytes_is_written(deck, tmp_path, operation):
    # Folders of 100-byte names, which the call creates, and a file name of 50 to 150 bytes: a
    # temporary file with a longer name beside the output would pass the system's limit.
    folder = tmp_path.joinpath(*["f" * 100] * ((4040 - len(str(tmp_path))) // 101))
    output, source = folder / ("o" * (4090 - len(str(folder)) - 6) + ".pptx"), deck(slides=1)
    operation(source, output)
    check_written(operation, source, output, source.read_bytes())
    assert len(os.fsencode(output)) == 4090 and temporaries(folder) == []


# --- two entries of one name --------------------------------------------------------------

DUPLICATE = "ppt/slides/slide1.xml"


@pytest.fixture
def duplicated(tmp_path):
    return duplicate_entry_deck(tmp_path / "twice.pptx", DUPLICATE, content=b"<hidden/>")


@pytest.mark.parametrize(
    "call",
    [
        lambda deck, output: native.summarize_presentation_json(str(deck)),
        lambda deck, output: native.summarize_slide_at_index_json(str(deck), 1),
        edit,
        lambda deck, output: native.add_slide_text_box_with_text_json(
            str(deck), str(output), 1, *BOX, "t"
        ),
    ],
    ids=["summarize_presentation", "summarize_slide", "auto_shape", "text_box"],
)
def test_summaries_and_edits_refuse_two_entries_of_one_name(duplicated, tmp_path, call):
    before = duplicated.read_bytes()
    output = tmp_path / "out.pptx"
    assert (
        runtime_error(call, duplicated, output)
        == f"zip error: package holds more than one entry named {DUPLICATE}"
    )
    assert not output.exists()
    assert duplicated.read_bytes() == before
    assert temporaries(tmp_path) == []


def test_manifest_and_roundtrip_keep_every_entry_of_one_name(duplicated, tmp_path):
    names = [
        part["name"] for part in json.loads(native.inspect_package_json(str(duplicated)))["parts"]
    ]
    assert names.count(DUPLICATE) == 2
    with zipfile.ZipFile(duplicated) as archive:
        assert sorted(names) == sorted(archive.namelist())
    output = tmp_path / "copy.pptx"
    manifest = json.loads(roundtrip(duplicated, output))
    assert [part["name"] for part in manifest["parts"]] == names
    assert output.read_bytes() == duplicated.read_bytes()
    assert temporaries(tmp_path) == []


# --- entries that share their stored bytes (hostile_packages.overlapping_deck) ---------------
@pytest.mark.parametrize(
    "kind", ["shared", "nested", "directory", "local extra", "local extra past the end"]
)
@pytest.mark.parametrize(
    "call",
    [
        lambda deck, output: native.inspect_package_json(str(deck)),
        lambda deck, output: native.summarize_presentation_json(str(deck)),
        edit,
    ],
    ids=["inspect_package", "summarize_presentation", "auto_shape"],
)
def test_entries_whose_stored_bytes_overlap_are_refused(tmp_path, kind, call):
    deck, first, second = overlapping_deck(tmp_path / "overlap.pptx", kind)
    output = tmp_path / "out.pptx"
    expected = (
        f"entries {first} and {second} overlap"
        if second
        else f"entry {first} overlaps the central directory"
    )
    assert runtime_error(call, deck, output) == f"zip error: {expected}"
    assert not output.exists()


# --- packages that other readers read otherwise, or at all, where the offsets mislead ---------
# An end record that readers scanning back from the end pass over, for an earlier one; bytes
# written before a package without moving its offsets (1 byte, and 1,000 with bytes after it);
# an entry name that readers read in different ways (a NUL byte, a control byte, a Unicode path
# field naming another entry).
CONTENT_TYPES = b"[Content_Types].xml"
DIFFERENTLY = ", which readers read in different ways"


@pytest.mark.parametrize(
    ("hostile", "message"),
    [
        (read_otherwise_backwards, "archive holds more than one end record"),
        (
            lambda package: b"z" + package,
            "archive has 1 byte before its first entry that its offsets do not count",
        ),
        (
            lambda package: bytes(1000) + package + bytes(100),
            "archive has 1000 bytes before its first entry that its offsets do not count",
        ),
        (
            lambda package: package.replace(CONTENT_TYPES, b"[Content_Types]\0xml"),
            r'entry name "[Content_Types]\x00xml" holds a NUL byte' + DIFFERENTLY,
        ),
        (
            lambda package: package.replace(CONTENT_TYPES, b"[Content_Types]\1xml"),
            r'entry name "[Content_Types]\x01xml" holds a control byte and no UTF-8 flag'
            + DIFFERENTLY,
        ),
        (
            lambda package: with_unicode_path(package, CONTENT_TYPES, b"[Content_Types].xmk"),
            'entry name "[Content_Types].xml" has a Unicode path field naming it'
            ' "[Content_Types].xmk"' + DIFFERENTLY,
        ),
    ],
    ids=[
        "read otherwise backwards",
        "1 byte before",
        "1000 bytes before, 100 after",
        "a NUL byte in a name",
        "a control byte in a name",
        "a Unicode path field",
    ],
)
def test_packages_misleading_their_readers_are_refused_by_every_function(
    tmp_path, call_files, hostile, message
):
    build_deck(tmp_path / "deck.pptx")
    deck = tmp_path / "hostile.pptx"
    deck.write_bytes(hostile((tmp_path / "deck.pptx").read_bytes()))
    workbook = tmp_path / "hostile.xlsx"
    workbook.write_bytes(hostile(workbook_bytes()))
    output = tmp_path / "out.pptx"
    for name in set(native.__all__) - {"build_info_json"}:
        package = workbook if name == "update_workbook_cells" else deck
        arguments = [argument(name, p, package, output, call_files) for p in parameters(name)]
        arguments = [
            Path(a["bytes_of"]).read_bytes() if isinstance(a, dict) else a for a in arguments
        ]
        error = runtime_error(getattr(native, name), *arguments)
        assert error == f"zip error: {message}", name
        # The round trip copies the file as it is before it reads it.
        if name == "roundtrip_package_json":
            assert output.read_bytes() == deck.read_bytes()
            output.unlink()
        assert not output.exists(), name


# --- names that crowd one slot of the archive library's own name table ------------------------
# Opened through the library at once (a comment, names it reads otherwise than stored) or only
# when an entry needs it (a method only the library reads): refused before the library's open
# walks the crowded slot, counted over the names as it reads them.
@pytest.mark.parametrize("how", ["comment", "bzip2", "code page 437", "unicode path"])
@pytest.mark.parametrize(
    "call",
    [
        lambda deck, output: native.inspect_package_json(str(deck)),
        edit,
    ],
    ids=["inspect_package", "auto_shape"],
)
def test_names_crowding_the_library_name_table_are_refused(tmp_path, how, call):
    deck = crowded_names_deck(tmp_path / "crowded.pptx", how)
    before, output = deck.read_bytes(), tmp_path / "out.pptx"
    # Names given by Unicode path fields are refused before the table is counted.
    crowded = "entry names crowd one slot of the name table"
    if how == "unicode path":
        crowded = (
            'entry name "ppt/crowd/0" has a Unicode path field naming it'
            ' "ppt/crowd/AbAbAbAbAbAbAbAbAb", which readers read in different ways'
        )
    assert runtime_error(call, deck, output) == f"zip error: {crowded}"
    assert not output.exists() and deck.read_bytes() == before


# --- an empty stored entry stating a CRC-32 other than 0: read, copied raw, copied reheaded ---
@pytest.mark.parametrize(
    "call",
    [
        lambda deck, output: native.inspect_package_json(str(deck)),
        lambda deck, output: native.summarize_presentation_json(str(deck)),
        lambda deck, output: native.add_slide_auto_shape_json(
            str(deck), str(output), 1, "rect", *BOX
        ),
        lambda deck, output: native.replace_slide_text_at_index_json(
            str(deck), str(output), 1, "a", "b"
        ),
    ],
    ids=["inspect_package", "summarize_presentation", "raw_copy", "new_header"],
)
def test_an_empty_stored_entry_stating_a_crc_is_refused_by_reads_and_copies(tmp_path, call):
    output = tmp_path / "out.pptx"
    assert (
        runtime_error(call, empty_entry_deck(tmp_path / "empty.pptx"), output)
        == "io error: CRC error"
    )
    assert not output.exists() and temporaries(tmp_path) == []


# --- an entry that does not open, in a package too large to be held (4 MiB): the edit's copy ---
# checks the entries it reads ahead, and fails as the check up front of a small package does,
# before a slide that is not there too.
def break_entry(data: bytes, name: bytes, how: str) -> bytes:
    data = bytearray(data)
    for magic, name_at, flags_at in ((b"PK\x03\x04", 30, 6), (b"PK\x01\x02", 46, 8)):
        at = data.find(magic)
        while data[at + name_at : at + name_at + len(name)] != name:
            at = data.find(magic, at + 1)
        if how == "method":
            data[at + flags_at + 2 : at + flags_at + 4] = (18).to_bytes(2, "little")
        elif how == "encrypted":
            data[at + flags_at] |= 1
    return bytes(data)


@pytest.mark.parametrize("how", ["method", "encrypted"])
@pytest.mark.parametrize("before_large", [True, False], ids=["before-5-MiB", "after-5-MiB"])
@pytest.mark.parametrize(
    "call",
    [
        lambda deck, output: native.add_slide_text_box_with_text_json(
            str(deck), str(output), 1, *BOX, "t"
        ),
        lambda deck, output: native.replace_slide_text_at_index_json(
            str(deck), str(output), 1, "a", "b"
        ),
        # The broken entry is told before the slide that is not there, as the listing told it.
        lambda deck, output: native.add_slide_text_box_with_text_json(
            str(deck), str(output), 9, *BOX, "t"
        ),
        lambda deck, output: native.delete_slides_json(
            str(deck), str(output), ["ppt/slides/slide1.xml"]
        ),
        lambda deck, output: native.delete_slides_json(
            str(deck), str(output), ["ppt/slides/slide9.xml"]
        ),
        lambda deck, output: native.add_blank_slide_json(str(deck), str(output)),
        lambda deck, output: native.replace_table_cell_text_json(
            str(deck), str(output), 9, 0, 0, 0, "x"
        ),
        lambda deck, output: native.duplicate_slide_json(
            str(deck), str(output), "ppt/slides/slide9.xml"
        ),
    ],
    ids=[
        "raw_copy",
        "new_header",
        "raw_copy_no_such_slide",
        "deletion",
        "deletion_no_such_slide",
        "whole_package_raw_copy",
        "new_header_no_such_slide",
        "duplicate_no_such_slide",
    ],
)
def test_an_entry_that_does_not_open_fails_a_large_package_as_a_small_one(
    tmp_path, how, before_large, call
):
    large = ("ppt/media/large.bin", os.urandom(5 * MIB))
    messages = []
    for size, extra in (("small", []), ("large", [large])):
        media = [("ppt/media/image1.png", PNG_1X1 * 200)] + extra
        deck = build_deck(
            tmp_path / f"{size}.pptx",
            slides=2,
            media=media if before_large else media[::-1],
            stored=[name for name, _ in media],
        )
        deck.write_bytes(break_entry(deck.read_bytes(), b"ppt/media/image1.png", how))
        before, output = deck.read_bytes(), tmp_path / f"{size}-out.pptx"
        messages.append(runtime_error(call, deck, output))
        assert not output.exists() and temporaries(tmp_path) == [] and deck.read_bytes() == before
    assert messages[1] == messages[0]
