"""Workbook case: 100 cells written into a large embedded workbook held in memory."""

from __future__ import annotations

import io
import json
import random
import zipfile
from xml.etree import ElementTree

from deck_builder import NS_SML, workbook_bytes
from registry import BenchContext, Case

ROWS = 20_000
COLUMNS = "ABCDEFGHIJ"  # strings in A, C, E, G, I; numbers in the others: 200,000 cells
STRINGS = 50_000
WORKBOOK_NAME = f"workbook-{ROWS}x{len(COLUMNS)}-{STRINGS}s-v1.xlsx"
_WORDS = (
    "revenue margin forecast quarter pipeline customer retention growth churn segment "
    "launch roadmap budget hiring region partner platform release metric"
).split()


def shared_text(n: int) -> str:
    """The text of shared string n, some 200 bytes."""
    return f"{n} " + " ".join(_WORDS[(n * 7 + k * 13) % len(_WORDS)] for k in range(26))


def make_workbook(path) -> None:
    """About 20 MB of XML: the sheet, 50,000 shared strings of some 200 bytes, and a few other
    entries."""
    rng = random.Random(7)
    rows = []
    for row in range(1, ROWS + 1):
        cells = []
        for index, column in enumerate(COLUMNS):
            if index % 2 == 0:
                cells.append(
                    f'<c r="{column}{row}" s="1" t="s"><v>{rng.randrange(STRINGS)}</v></c>'
                )
            else:
                cells.append(f'<c r="{column}{row}" s="2"><v>{rng.uniform(0, 1e6):.4f}</v></c>')
        rows.append(f'<row r="{row}" spans="1:{len(COLUMNS)}">{"".join(cells)}</row>')
    sheet = (
        f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="{NS_SML}">'
        f'<dimension ref="A1:J{ROWS}"/><sheetData>{"".join(rows)}</sheetData></worksheet>'
    )
    items = "".join(f"<si><t>{shared_text(n)}</t></si>" for n in range(STRINGS))
    strings = (
        f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="{NS_SML}" '
        f'count="{ROWS * 5}" uniqueCount="{STRINGS}">{items}</sst>'
    )
    extra = {
        "xl/theme/theme1.xml": "<theme>" + "<x/>" * 20_000 + "</theme>",
        "docProps/thumbnail.jpeg": rng.randbytes(200_000),
        "docProps/app.xml": "<Properties/>",
    }
    path.write_bytes(workbook_bytes(sheet_xml=sheet, strings_xml=strings, extra_parts=extra))


def planned_cells() -> list[list[str]]:
    """40 strings over string cells (half of them texts the workbook holds), 40 numbers over
    number cells, 20 cells in 10 new rows past the last."""
    rng = random.Random(11)
    rows = sorted(rng.sample(range(1, ROWS + 1), 80))
    cells = []
    for number, row in enumerate(rows):
        if number % 2 == 0:
            text = shared_text(rng.randrange(STRINGS)) if number % 4 else f"updated label {number}"
            cells.append([f"{rng.choice('ACEGI')}{row}", "s", text])
        else:
            cells.append([f"{rng.choice('BDFHJ')}{row}", "n", f"{rng.uniform(-1e3, 1e3):.3f}"])
    for row in range(ROWS + 1, ROWS + 11):
        cells += [[f"A{row}", "s", f"new row {row}"], [f"B{row}", "n", str(row)]]
    return cells


CELLS = planned_cells()
CELLS_JSON = json.dumps(CELLS)
_inputs: dict[str, bytes] = {}


def workbook(ctx: BenchContext) -> bytes:
    if "xlsx" not in _inputs:
        _inputs["xlsx"] = ctx.cached(WORKBOOK_NAME, make_workbook).read_bytes()
    return _inputs["xlsx"]


def update_cells(ctx: BenchContext) -> bytes:
    return ctx.native.update_workbook_cells(workbook(ctx), "Sheet1", CELLS_JSON)


def cell_xml(reference: str, kind: str, value: str) -> bytes:
    if kind == "n":
        return f'<c r="{reference}"><v>{value}</v></c>'.encode()
    return f'<c r="{reference}" t="inlineStr"><is><t>{value}</t></is></c>'.encode()


def substitute_cells(sheet: bytes) -> bytes:
    """The cells replaced in one forward pass over the sheet, the new rows before its end."""
    pieces, at = [], 0
    new_rows: dict[int, list[bytes]] = {}
    order = lambda cell: (int(cell[0].lstrip("ABCDEFGHIJ")), cell[0][0])  # noqa: E731
    for reference, kind, value in sorted(CELLS, key=order):
        row = int(reference[1:])
        if row > ROWS:
            new_rows.setdefault(row, []).append(cell_xml(reference, kind, value))
            continue
        start = sheet.index(f'<c r="{reference}"'.encode(), at)
        end = sheet.index(b"</c>", start) + 4
        pieces += [sheet[at:start], cell_xml(reference, kind, value)]
        at = end
    end = sheet.index(b"</sheetData>", at)
    pieces.append(sheet[at:end])
    pieces += [
        f'<row r="{row}">'.encode() + b"".join(cells) + b"</row>" for row, cells in new_rows.items()
    ]
    pieces.append(sheet[end:])
    return b"".join(pieces)


def rewrite_with_zipfile(ctx: BenchContext) -> bytes:
    output = io.BytesIO()
    with (
        zipfile.ZipFile(io.BytesIO(workbook(ctx))) as source,
        zipfile.ZipFile(output, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as target,
    ):
        for info in source.infolist():
            data = source.read(info)
            if info.filename == "xl/worksheets/sheet1.xml":
                data = substitute_cells(data)
            target.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=6)
    return output.getvalue()


def changed_values(xlsx: bytes) -> dict[str, str]:
    """The values of the planned cells as a reader sees them."""
    main = f"{{{NS_SML}}}"
    wanted = {reference for reference, _, _ in CELLS}
    with zipfile.ZipFile(io.BytesIO(xlsx)) as archive:
        strings = [
            "".join(t.text or "" for t in si.iter(main + "t"))
            for si in ElementTree.fromstring(archive.read("xl/sharedStrings.xml")).iter(main + "si")
        ]
        values = {}
        for cell in ElementTree.fromstring(archive.read("xl/worksheets/sheet1.xml")).iter(
            main + "c"
        ):
            if cell.get("r") in wanted:
                kind = cell.get("t")
                values[cell.get("r")] = (
                    "".join(t.text for t in cell.iter(main + "t"))
                    if kind == "inlineStr"
                    else strings[int(cell.findtext(main + "v"))]
                    if kind == "s"
                    else cell.findtext(main + "v")
                )
    return values


def same_cells(candidate: bytes, baseline: bytes, ctx: BenchContext) -> None:
    expected = {reference: value for reference, _, value in CELLS}
    for side, xlsx in (("module", candidate), ("baseline", baseline)):
        if changed_values(xlsx) != expected:
            raise AssertionError(f"the {side} workbook does not hold the new cell values")


CASES = [
    Case(
        name="update_workbook_cells",
        function="update_workbook_cells",
        candidate=update_cells,
        baseline=rewrite_with_zipfile,
        check=same_cells,
        note="baseline: zipfile rewrite in memory at level 6, cells by byte substitution (target <= 1.0)",
    ),
]
