"""Paths a call reads that are not regular files, that never end or are too large for a package,
and memory that runs out during a call. Each table covers every function with such a parameter, found from the
module's own signatures. All cases run in one child process, each in a new thread, under limits
on memory and file size and with a timeout, so that a fault neither hangs the suite nor fills
the disk; each case checks the exact message, that no output or temporary file is left, and
that what the call read is unchanged."""

import os
import pickle
import stat
import subprocess
import sys

import pelvane.pelvane_native as native
import pytest
from deck_builder import build_deck
from module_calls import FILES, parameters
from module_calls import argument as value_for

pytestmark = pytest.mark.xdist_group("input_files")

SPECIAL = ["fifo", "link to a device", "socket", "directory"]
# Regular files that report size 0 and never end: read as empty, they fail as what they are.
ENDLESS = {"pagemap": "/proc/self/pagemap", "maps": "/proc/self/maps"}
PICTURES = {"image_path", "poster_frame_path", "icon_path"}
# Sparse files: one byte past what an entry can hold, and more than the child's memory.
SPARSE = {"too large": 0xFFFFFFFF, "3 GiB": 3 << 30}


def reading(wanted):
    return [
        (name, param) for name in native.__all__ for param in parameters(name) if param in wanted
    ]


TABLES = {
    "package": [(*reader, kind) for reader in reading({"input", "path"}) for kind in SPECIAL],
    "file": [(*reader, kind) for reader in reading(FILES) for kind in SPECIAL],
    "too large": [(*reader, "too large") for reader in reading(FILES)],
    "memory": [(*reader, "3 GiB") for reader in reading(FILES)],
    "exhausted": [(name, None, "exhausted") for name in native.__all__],
    "endless package": [(*reader, "pagemap") for reader in reading({"input", "path"})],
    "endless picture": [(*reader, "maps") for reader in reading(PICTURES)],
}


def argument(function, param, folder):
    if param in ("input", "path"):
        return str(folder / "deck.pptx")
    return value_for(function, param, folder)


def make(kind, path):
    if kind in SPARSE:
        with open(path, "wb") as file:
            file.truncate(SPARSE[kind])
    elif kind in ENDLESS:
        path.symlink_to(ENDLESS[kind])
    else:
        {
            "fifo": os.mkfifo,
            "link to a device": lambda p: p.symlink_to("/dev/zero"),
            "socket": lambda p: os.mknod(p, 0o600 | stat.S_IFSOCK),
            "directory": os.mkdir,
        }[kind](path)


def expected(kind, path, function):
    return {
        "directory": "io error: Is a directory",
        "too large": f"io error: {path} is too large to store in a package",
        "3 GiB": f"out of memory while processing '{function}'",
        "exhausted": f"out of memory while processing '{function}'",
        "pagemap": "zip error: Not a zip archive",
        "maps": f"invalid input: image file {path} is empty",
    }.get(kind, f"io error: {path} is not a regular file")


CHILD = """
import ctypes, pickle, resource, sys, threading
import pelvane.pelvane_native as native
resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 26, 1 << 26))
libc = ctypes.CDLL(None)
libc.malloc.restype, libc.malloc.argtypes, libc.free.argtypes = ctypes.c_void_p, [ctypes.c_size_t], [ctypes.c_void_p]
held = (ctypes.c_void_p * 4096)()

def call(name, args, exhaust, out):
    count, size = 0, 1 << 26
    while exhaust and size and count < len(held):
        held[count] = libc.malloc(size)
        count, size = (count + 1, size) if held[count] else (count, size // 2)
    try:
        getattr(native, name)(*args)
        error = None
    except BaseException as caught:
        error = caught
    for i in range(count): libc.free(held[i])
    out.append("ok" if error is None else error.args[0] if type(error) is RuntimeError else repr(error))

results = {}
for key, name, args, exhaust in pickle.load(sys.stdin.buffer):
    out = []
    thread = threading.Thread(target=call, args=(name, args, exhaust, out))
    thread.start(), thread.join()
    results[key] = out[0]
sys.stdout.buffer.write(pickle.dumps(results))
"""


@pytest.fixture(scope="module")
def outcomes(tmp_path_factory):
    folder = tmp_path_factory.mktemp("inputs")
    build_deck(folder / "deck.pptx", slides=1)
    for name, content in [("image.png", b"\x89PNG"), ("movie.mp4", b"m"), ("object.bin", b"o")]:
        (folder / name).write_bytes(content)
    for kind in [*SPECIAL, *SPARSE, *ENDLESS]:
        make(kind, folder / f"{kind}.png")
    calls, messages = [], {}
    for table, cases in TABLES.items():
        for name, param, kind in cases:
            key = (table, name, param, kind)
            path = folder / f"{kind}.png"
            args = [
                str(path)
                if p == param
                else str(output(folder, key))
                if p == "output"
                else argument(name, p, folder)
                for p in parameters(name)
            ]
            calls.append((key, name, args, kind == "exhausted"))
            messages[key] = expected(kind, path, name)
    before = {p: (stat.S_IFMT(os.lstat(p).st_mode), os.stat(p).st_ino) for p in folder.iterdir()}
    deck = (folder / "deck.pptx").read_bytes()
    run = subprocess.run(
        [sys.executable, "-c", CHILD], input=pickle.dumps(calls), capture_output=True, timeout=120
    )
    assert run.returncode == 0, run.stderr.decode()
    assert {p: (stat.S_IFMT(os.lstat(p).st_mode), os.stat(p).st_ino) for p in before} == before
    assert (folder / "deck.pptx").read_bytes() == deck
    return folder, pickle.loads(run.stdout), messages


def output(folder, key):
    return folder / "out" / "-".join(map(str, key)) / "out.pptx"


# One table per fault: its key names the fault, its rows the function, parameter and file kind.
@pytest.mark.parametrize(
    "key",
    [(table, *case) for table, cases in TABLES.items() for case in cases],
    ids=lambda key: "-".join(str(part) for part in key if part),
)
def test_each_fault_is_refused_with_its_message_and_leaves_nothing(outcomes, key):
    folder, results, messages = outcomes
    assert results[key] == messages[key]
    written = output(folder, key).parent  # the output and its temporary file would be here
    left = list(written.iterdir()) if written.exists() else []
    # The round trip copies before it checks: of a file without size, at most an empty copy.
    if key[1] == "roundtrip_package_json" and key[3] == "pagemap":
        left = [path for path in left if path != output(folder, key) or path.stat().st_size]
    assert left == []
