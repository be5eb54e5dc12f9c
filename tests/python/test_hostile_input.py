"""Decks from strangers and careless scripts: decompression bombs, outputs that are not plain
files, the permissions and owner of a replaced output, and packages naming two entries alike.
Every case checks the exact message, that the input is unchanged and that no temporary file is
left beside the output."""

import json
import os
import stat
import subprocess
import sys
import zipfile

import pytest

import pelvane.pelvane_native as native
from hostile_packages import bomb_deck, duplicate_entry_deck
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


# --- decompression bombs ------------------------------------------------------------------

# Each call runs in a child process, which reports its error and its peak memory.
CHILD = """
import json, resource, sys
import pelvane.pelvane_native as native
call, deck, output = sys.argv[1:]
box = (914400, 457200, 1828800, 914400)
calls = {
    "inspect_package_json": lambda: native.inspect_package_json(deck),
    "summarize_presentation_json": lambda: native.summarize_presentation_json(deck),
    "summarize_slide_at_index_json": lambda: native.summarize_slide_at_index_json(deck, 1),
    "add_slide_auto_shape_json": lambda: native.add_slide_auto_shape_json(deck, output, 0, "rect", *box),
    "add_slide_text_box_with_text_json":
        lambda: native.add_slide_text_box_with_text_json(deck, output, 0, *box, "t"),
}
try:
    calls[call]()
    error = None
except RuntimeError as caught:
    error = caught.args[0]
print(json.dumps([error, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024]))
"""

BOMB_CALLS = ["inspect_package_json", "summarize_presentation_json", "summarize_slide_at_index_json",
              "add_slide_auto_shape_json", "add_slide_text_box_with_text_json"]


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
def test_content_is_held_to_its_declared_size(bombs, kind, call, tmp_path):
    deck = bombs[kind]
    before = deck.read_bytes()
    output = tmp_path / "out.pptx"
    run = subprocess.run([sys.executable, "-c", CHILD, call, str(deck), str(output)],
                         capture_output=True, text=True, cwd=tmp_path, timeout=120)
    assert run.returncode == 0, run.stderr
    error, peak = json.loads(run.stdout)
    assert error == "zip error: entry ppt/presentation.xml does not inflate to its declared size"
    assert peak < 100 * 1024 * 1024
    assert deck.read_bytes() == before
    assert not output.exists() and temporaries(tmp_path) == []


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

    assert runtime_error(operation, source, output) == f"io error: output {output} is not a regular file"

    after = os.stat(output)
    assert (stat.S_IFMT(after.st_mode), after.st_rdev, after.st_ino) == \
           (stat.S_IFMT(before.st_mode), before.st_rdev, before.st_ino)
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


# --- two entries of one name --------------------------------------------------------------

DUPLICATE = "ppt/slides/slide1.xml"


@pytest.fixture
def duplicated(tmp_path):
    return duplicate_entry_deck(tmp_path / "twice.pptx", DUPLICATE, content=b"<hidden/>")


@pytest.mark.parametrize("call", [
    lambda deck, output: native.summarize_presentation_json(str(deck)),
    lambda deck, output: native.summarize_slide_at_index_json(str(deck), 1),
    edit,
    lambda deck, output: native.add_slide_text_box_with_text_json(str(deck), str(output), 1, *BOX, "t"),
], ids=["summarize_presentation", "summarize_slide", "auto_shape", "text_box"])
def test_summaries_and_edits_refuse_two_entries_of_one_name(duplicated, tmp_path, call):
    before = duplicated.read_bytes()
    output = tmp_path / "out.pptx"
    assert runtime_error(call, duplicated, output) == \
        f"zip error: package holds more than one entry named {DUPLICATE}"
    assert not output.exists()
    assert duplicated.read_bytes() == before
    assert temporaries(tmp_path) == []


def test_manifest_and_roundtrip_keep_every_entry_of_one_name(duplicated, tmp_path):
    names = [part["name"] for part in json.loads(native.inspect_package_json(str(duplicated)))["parts"]]
    assert names.count(DUPLICATE) == 2
    with zipfile.ZipFile(duplicated) as archive:
        assert sorted(names) == sorted(archive.namelist())
    output = tmp_path / "copy.pptx"
    manifest = json.loads(roundtrip(duplicated, output))
    assert [part["name"] for part in manifest["parts"]] == names
    assert output.read_bytes() == duplicated.read_bytes()
    assert temporaries(tmp_path) == []
