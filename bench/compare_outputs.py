"""Compares the packages two builds of the module write, entry by entry.

Usage: python bench/compare_outputs.py --old DIR [--new DIR] [--decks FILE ...] [--work DIR]

DIR is a folder holding a `pelvane` package (a build's site-packages, or a copy of one); without
--new the build this interpreter imports is the new one. Every editing call below runs on every
deck (the shared real decks and the benchmark decks under build/bench by default) with each
build, and the two outputs must hold the same entries in the same order with the same names,
header fields (all but the offsets) and compressed bytes. An entry written from content may
differ only in the empty Deflate blocks that align the copy after it: same content, same fields
but the compressed size. The calls' records must agree too (but for the output path). A call
that fails must fail alike with both builds.
"""

from __future__ import annotations

import argparse
import io
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

from registry import BOX, CONNECTOR

ROOT = Path(__file__).resolve().parents[1]
DECKS = sorted((ROOT.parent / "shared" / "decks").glob("*.ppt[xm]")) + sorted(
    (ROOT / "build" / "bench").glob("*.pptx")
)


def calls(slides: int, image: str) -> dict:
    """Call name: (function, arguments after input and output)."""
    middle, last = slides // 2, max(slides - 1, 0)
    return {
        "auto shape": ("add_slide_auto_shape_json", (middle, "rect", *BOX)),
        "text box": ("add_slide_text_box_with_text_json", (middle, *BOX, "Added")),
        "connector with shapes": (
            "add_slide_connected_connector_with_auto_shapes_json",
            (middle, *CONNECTOR),
        ),
        "table": (
            "add_slide_table_with_cell_texts_json",
            (middle, 2, 2, *BOX, json.dumps([[0, 0, "a"]])),
        ),
        "blank slide": ("add_blank_slide_json", ()),
        "slide with layout": ("add_blank_slide_with_layout_json", (0,)),
        "duplicate": ("duplicate_slide_json", (f"ppt/slides/slide{middle + 1}.xml",)),
        "image": ("add_slide_image_json", (middle, image, *BOX)),
        "batch": (
            "apply_edit_batch_json",
            (
                json.dumps(
                    [
                        {
                            "type": "set_shape_text",
                            "slide_index": middle,
                            "shape_index": 0,
                            "replacement": "x",
                        }
                    ]
                ),
            ),
        ),
        "delete first": ("delete_slide_json", ("ppt/slides/slide1.xml",)),
        "delete half": (
            "delete_slides_json",
            ([f"ppt/slides/slide{k}.xml" for k in range(1, slides // 2 + 1)],),
        ),
        "delete reordering": (
            "delete_slides_json",
            (["ppt/slides/slide1.xml"], [f"ppt/slides/slide{k}.xml" for k in range(slides, 1, -1)]),
        ),
        "shape text": ("set_slide_shape_text_at_index_json", (last, 0, "A new title")),
        "replace text": ("replace_slide_text_json", ("Slide", "Page")),
        "layout placeholders": ("add_slide_layout_placeholders_json", (middle, 0)),
        "image replacement": ("replace_slide_image_at_index_json", (0, "rId2", image)),
    }


def produce(decks: list[Path], out: Path) -> None:
    """Runs every call on every deck with the module this interpreter imports."""
    import zipfile

    from pelvane import pelvane_native as native

    image = out / "image.png"
    image.write_bytes(
        bytes.fromhex(
            "89504e470d0a1a0a0000000d4948445200000001000000010806000000"
            "1f15c4890000000d49444154789c6360000002000100e221bc330000000049454e44ae426082"
        )
    )
    results = {}
    for deck in decks:
        with zipfile.ZipFile(deck) as archive:
            slides = sum(
                1
                for name in archive.namelist()
                if name.startswith("ppt/slides/slide") and name.endswith(".xml")
            )
        for name, (function, args) in calls(slides, str(image)).items():
            target = out / f"{deck.stem}--{name.replace(' ', '-')}.pptx"
            try:
                record = json.loads(getattr(native, function)(str(deck), str(target), *args))
                record.pop("path", None)
                results[target.name] = {"record": record}
            except Exception as error:  # the same failure is expected of both builds
                results[target.name] = {"error": f"{type(error).__name__}: {error}"}
        # Embedded workbooks: a cell written, every other entry copied raw in memory.
        with zipfile.ZipFile(deck) as archive:
            for name in archive.namelist():
                if not name.endswith(".xlsx"):
                    continue
                xlsx = archive.read(name)
                with zipfile.ZipFile(io.BytesIO(xlsx)) as workbook:
                    sheet = re.search(
                        rb'<(?:\w+:)?sheet [^>]*name="([^"]+)"', workbook.read("xl/workbook.xml")
                    )
                target = out / f"{deck.stem}--{Path(name).stem}.xlsx"
                try:
                    target.write_bytes(
                        native.update_workbook_cells(
                            xlsx, sheet.group(1).decode(), json.dumps([["A1", "n", "1"]])
                        )
                    )
                    results[target.name] = {"record": {}}
                except Exception as error:
                    results[target.name] = {"error": f"{type(error).__name__}: {error}"}
    (out / "results.json").write_text(json.dumps(results, indent=1))


def entries(path: Path) -> list[dict]:
    """Every entry's header fields (offsets aside) and compressed bytes, read from the bytes."""
    data = path.read_bytes()
    end = data.rindex(b"PK\x05\x06")
    count, _size, start = struct.unpack_from("<HII", data, end + 10)
    found, at = [], start
    for _ in range(count):
        method, csize = struct.unpack_from("<H8xI", data, at + 10)
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", data, at + 28)
        (offset,) = struct.unpack_from("<I", data, at + 42)
        name = data[at + 46 : at + 46 + name_len]
        trailer = data[at + 46 + name_len : at + 46 + name_len + extra_len + comment_len]
        local_csize, local_name_len, local_extra_len = struct.unpack_from(
            "<I4xHH", data, offset + 18
        )
        data_at = offset + 30 + local_name_len + local_extra_len
        found.append(
            {
                "name": name,
                # Every field but the compressed size, kept apart, and the local header's offset;
                # the lengths of the name, extra field and comment, and the bytes of each.
                "central": (data[at + 4 : at + 20] + data[at + 24 : at + 42], name, trailer),
                # The same of the local header, its name and extra field.
                "local": data[offset + 4 : offset + 18] + data[offset + 22 : data_at],
                "csize": (csize, local_csize),
                "method": method,
                "data": data[data_at : data_at + csize],
            }
        )
        at += 46 + name_len + extra_len + comment_len
    return found


def padding_only(a: dict, b: dict) -> bool:
    """True when two Deflate entries differ only in what they decode to nothing."""
    if a["method"] != 8 or (a["central"], a["local"]) != (b["central"], b["local"]):
        return False
    inflate = lambda raw: zlib.decompressobj(-15).decompress(raw)  # noqa: E731
    return inflate(a["data"]) == inflate(b["data"])


def compare(old: Path, new: Path) -> list[str]:
    problems = []
    old_results = json.loads((old / "results.json").read_text())
    new_results = json.loads((new / "results.json").read_text())
    padded = same = 0
    for name, result in old_results.items():
        if new_results.get(name) != result:
            problems.append(f"{name}: record {result} became {new_results.get(name)}")
            continue
        if "error" in result:
            continue
        before, after = entries(old / name), entries(new / name)
        if [e["name"] for e in before] != [e["name"] for e in after]:
            problems.append(f"{name}: entries or their order differ")
            continue
        for a, b in zip(before, after):
            if (a["central"], a["local"], a["csize"], a["data"]) == (
                b["central"],
                b["local"],
                b["csize"],
                b["data"],
            ):
                same += 1
            elif padding_only(a, b):
                padded += 1
            else:
                problems.append(f"{name}: {a['name'].decode()} differs")
    print(
        f"{len(old_results)} calls, {same} entries identical, {padded} differing only in alignment padding"
    )
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--old", type=Path, required=True)
    parser.add_argument("--new", type=Path, default=None)
    parser.add_argument("--decks", type=Path, nargs="*", default=DECKS)
    parser.add_argument(
        "--work", type=Path, default=Path("/dev/shm") if Path("/dev/shm").is_dir() else None
    )
    parser.add_argument("--produce", type=Path, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.produce:
        produce(args.decks, args.produce)
        return 0
    problems = []
    # One deck at a time, so that the outputs of the large deck do not fill the RAM disk.
    for deck in args.decks:
        with tempfile.TemporaryDirectory(prefix="pelvane-compare-", dir=args.work) as folder:
            outputs = {}
            for side, build in (("old", args.old), ("new", args.new)):
                outputs[side] = Path(folder) / side
                outputs[side].mkdir()
                env = dict(os.environ)
                if build:
                    env["PYTHONPATH"] = str(build)
                subprocess.run(
                    [
                        sys.executable,
                        __file__,
                        "--old",
                        "-",
                        "--produce",
                        str(outputs[side]),
                        "--decks",
                        str(deck),
                    ],
                    env=env,
                    check=True,
                )
            print(f"{deck.name}: ", end="")
            problems += compare(outputs["old"], outputs["new"])
    for problem in problems:
        print(problem)
    print("same outputs" if not problems else f"{len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
