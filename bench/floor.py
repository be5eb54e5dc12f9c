"""The floor of an edit: the least work that writes the same entries (bench/bench_floor.cpp).

The plan of an edit (the input's entries it keeps, in output order, and the final bytes of the
entries it rewrites or adds) is read from the module's own output, untimed; the floor then
writes an archive from the input by that plan, and its output is checked to hold the same
entries as the module's. The library is built on first use (target `pelvane_bench_floor`, in
build/bench-tools) and called through ctypes, so both sides are timed in the same process.
"""

from __future__ import annotations

import ctypes
import zipfile
from dataclasses import dataclass
from pathlib import Path

from registry import build_tool


class FloorEntry(ctypes.Structure):
    _fields_ = [
        ("source", ctypes.c_int64),
        ("name", ctypes.c_char_p),
        ("data", ctypes.c_char_p),
        ("size", ctypes.c_uint64),
    ]


_library: list[ctypes.CDLL] = []


def library() -> ctypes.CDLL:
    if not _library:
        lib = ctypes.CDLL(str(build_tool("pelvane_bench_floor") / "libpelvane_bench_floor.so"))
        lib.pelvane_floor_write.argtypes = [
            ctypes.c_char_p,
            ctypes.c_char_p,
            ctypes.c_int,
            ctypes.POINTER(FloorEntry),
            ctypes.c_uint64,
        ]
        lib.pelvane_floor_write.restype = ctypes.c_int
        lib.pelvane_floor_error.restype = ctypes.c_char_p
        _library.append(lib)
    return _library[0]


@dataclass
class Plan:
    entries: ctypes.Array  # FloorEntry per output entry, in output order
    keep_alive: list[bytes]  # the names and contents the entries point into
    kept: int
    written: int


def plan_of(input_path: Path, output_path: str) -> Plan:
    """What the module's output keeps of the input (same name, CRC, compressed size and method)
    and what it writes anew."""
    with zipfile.ZipFile(input_path) as source:
        index = {info.filename: (number, info) for number, info in enumerate(source.infolist())}
    keep_alive: list[bytes] = []
    rows = []
    with zipfile.ZipFile(output_path) as output:
        for info in output.infolist():
            found = index.get(info.filename)
            if found and (found[1].CRC, found[1].compress_size, found[1].compress_type) == (
                info.CRC,
                info.compress_size,
                info.compress_type,
            ):
                rows.append((found[0], None, None, 0))
                continue
            name, data = info.filename.encode(), output.read(info)
            keep_alive += [name, data]
            rows.append((-1, name, data, len(data)))
    entries = (FloorEntry * len(rows))(*rows)
    kept = sum(1 for row in rows if row[0] >= 0)
    return Plan(entries, keep_alive, kept, len(rows) - kept)


def write(input_path: Path, output: Path, plan: Plan, rehead: bool) -> str:
    lib = library()
    if (
        lib.pelvane_floor_write(
            str(input_path).encode(),
            str(output).encode(),
            int(rehead),
            plan.entries,
            len(plan.entries),
        )
        != 0
    ):
        raise RuntimeError(f"floor: {lib.pelvane_floor_error().decode()}")
    return str(output)


def same_entries(module_output: str, floor_output: str) -> None:
    """Both archives hold the same entries, in the same order, with the same contents."""
    with zipfile.ZipFile(module_output) as ours, zipfile.ZipFile(floor_output) as floor:
        if [(i.filename, i.CRC, i.file_size) for i in ours.infolist()] != [
            (i.filename, i.CRC, i.file_size) for i in floor.infolist()
        ]:
            raise AssertionError("the floor's output does not hold the module's entries")
        if floor.testzip() is not None:
            raise AssertionError("an entry of the floor's output does not read back")
