"""Inputs that another process changes while a call reads them: a deck that keeps growing, and a
path swapped between two decks by rename (as programs save). A call reads the file it opened, as
it was when opened. The helper process is stopped when the test ends, or after a minute."""

import contextlib
import os
import subprocess
import sys
import zipfile

import pelvane.pelvane_native as native
import pytest
from package_lint import check_package

# Waits until the calling process has the deck open, then extends it by 64 KiB at a time, up to
# 256 MiB more than it had (a copy that followed it would be that long).
GROW = """
import os, sys, time
path, caller, end = sys.argv[1], sys.argv[2], time.monotonic() + 60
folder = f"/proc/{caller}/fd"
print("ready", flush=True)
def opened(fd):
    try: return os.readlink(f"{folder}/{fd}") == path
    except OSError: return False
while not any(map(opened, os.listdir(folder))) and time.monotonic() < end: pass
for step in range(4096):
    os.truncate(path, os.path.getsize(path) + 65536)
time.sleep(max(0, end - time.monotonic()))
"""

SWAP = """
import os, sys, time
path, versions, end = sys.argv[1], sys.argv[2:], time.monotonic() + 60
print("ready", flush=True)
while time.monotonic() < end:
    for version in versions:
        os.link(version, path + ".swap")
        os.rename(path + ".swap", path)
"""


@contextlib.contextmanager
def helper(script, *arguments):
    process = subprocess.Popen(
        [sys.executable, "-c", script, *map(str, arguments)], stdout=subprocess.PIPE, text=True
    )
    with process:
        try:
            yield process
        finally:
            process.kill()


def test_a_deck_that_keeps_growing_is_copied_as_it_was_when_opened(deck, tmp_path):
    # Large enough that a copy running to the end of the file would meet the growth.
    source = deck(slides=1, media={"clip.bin": bytes(range(256)) * (1 << 17)}, stored=True)
    original = source.read_bytes()
    output = tmp_path / "out" / "copy.pptx"
    with helper(GROW, os.path.realpath(source), os.getpid()) as grower:
        assert grower.stdout.readline() == "ready\n"
        native.roundtrip_package_json(str(source), str(output))
    assert output.read_bytes() == original
    check_package(None, output)


def unplain(path, title):
    """The deck at `path` rewritten with an entry comment, so that the archive library reads it."""
    with zipfile.ZipFile(path) as archive:
        entries = [(info, archive.read(info)) for info in archive.infolist()]
    with zipfile.ZipFile(path, "w") as archive:
        for info, data in entries:
            info.comment = title.encode() if info.filename == "[Content_Types].xml" else b""
            archive.writestr(info, data)
    return path


@pytest.mark.parametrize("plain", [True, False], ids=["plain", "entry-comment"])
def test_an_edit_reads_one_version_of_a_path_swapped_by_rename(deck, tmp_path, plain):
    # Two versions alike in every name and size, unlike in every byte of content; enough slides
    # that opening one takes long enough for the swap to land within it.
    versions, contents = {}, {}
    for title, fill in [("north", b"N"), ("south", b"S")]:
        path = deck(
            f"{title}.pptx", slides=30, titles=[title] * 30, media={"clip.bin": fill * 300000}
        )
        versions[title] = path if plain else unplain(path, title)
        with zipfile.ZipFile(path) as archive:
            contents[title] = {info.filename: archive.read(info) for info in archive.infolist()}
    shared = tmp_path / "shared.pptx"
    shared.write_bytes(versions["north"].read_bytes())
    outputs = [tmp_path / "out" / f"{number}.pptx" for number in range(40)]
    with helper(SWAP, shared, *versions.values()) as swapper:
        assert swapper.stdout.readline() == "ready\n"
        for output in outputs:
            native.add_slide_auto_shape_json(str(shared), str(output), 0, "rect", 0, 0, 9, 9)
    for output in outputs:
        with zipfile.ZipFile(output) as archive:
            assert archive.testzip() is None  # every CRC-32 holds
            written = {info.filename: archive.read(info) for info in archive.infolist()}
        title = "north" if written["ppt/media/clip.bin"].startswith(b"N") else "south"
        slide = written.pop("ppt/slides/slide1.xml")
        assert title.encode() in slide
        assert written == {
            name: data for name, data in contents[title].items() if name != "ppt/slides/slide1.xml"
        }
        check_package(versions[title], output)
