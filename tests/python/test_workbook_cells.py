"""Cells of an embedded workbook: update_workbook_cells on generated and real workbooks."""

import io
import json
import struct
import xml.etree.ElementTree as ET
import zipfile

import pytest
from deck_builder import CHART_WORKBOOK, NS_SML, build_chart_deck, workbook_bytes
from package_lint import check_package, check_workbook_schema
from pelvane import pelvane_native as native

S = f"{{{NS_SML}}}"
SHEET = "xl/worksheets/sheet1.xml"
STRINGS = "xl/sharedStrings.xml"


def update(xlsx, cells, sheet="Sheet1"):
    return native.update_workbook_cells(xlsx, sheet, json.dumps(cells))


def raw_entry(data, info):
    """The stored (compressed) bytes of an entry, read after its local header."""
    name_length, extra_length = struct.unpack(
        "<HH", data[info.header_offset + 26 : info.header_offset + 30]
    )
    start = info.header_offset + 30 + name_length + extra_length
    return data[start : start + info.compress_size]


def checked(tmp_path, before, after):
    """Runs the package lint over the input and output workbooks; returns the output archive."""
    (tmp_path / "in.xlsx").write_bytes(before)
    (tmp_path / "out.xlsx").write_bytes(after)
    check_package(tmp_path / "in.xlsx", tmp_path / "out.xlsx")
    return zipfile.ZipFile(io.BytesIO(after))


def cell_values(archive, sheet=SHEET, strings=STRINGS):
    """{reference: value} of a sheet: shared and inline strings as text, numbers as their text,
    an empty cell as None."""
    items = []
    if strings in archive.namelist():
        items = [
            "".join(t.text or "" for t in si.iter(S + "t"))
            for si in ET.fromstring(archive.read(strings)).iter(S + "si")
        ]
    values = {}
    for cell in ET.fromstring(archive.read(sheet)).iter(S + "c"):
        value = cell.find(S + "v")
        if cell.get("t") == "s":
            values[cell.get("r")] = items[int(value.text)]
        elif cell.get("t") == "inlineStr":
            values[cell.get("r")] = "".join(t.text or "" for t in cell.iter(S + "t"))
        else:
            values[cell.get("r")] = None if value is None else value.text
    return values


@pytest.mark.parametrize("stored", [False, True])
def test_returns_new_bytes_and_copies_every_other_entry_raw(tmp_path, stored):
    xlsx = workbook_bytes(
        stored=[SHEET] if stored else [], extra_parts={"docProps/extra.bin": b"\0" * 500}
    )
    kept = bytes(xlsx)
    out = update(xlsx, [["B2", "n", "11"], ["A5", "s", "Q4"], ["B3", "e", ""]])
    assert type(out) is bytes and xlsx == kept
    archive = checked(tmp_path, xlsx, out)
    source = zipfile.ZipFile(io.BytesIO(xlsx))
    assert archive.namelist() == source.namelist()
    for old, new in zip(source.infolist(), archive.infolist()):
        if old.filename in (SHEET, STRINGS):
            assert (new.compress_type, new.date_time) == (old.compress_type, old.date_time)
            assert new.external_attr >> 16 == 0o100644
        else:
            assert (new.CRC, raw_entry(out, new)) == (old.CRC, raw_entry(xlsx, old)), old.filename
    assert cell_values(archive) == {
        "A1": "Quarter",
        "B1": "Sales",
        "A2": "Q1",
        "B2": "11",
        "A3": "Q2",
        "B3": None,
        "A4": "Q3",
        "B4": "9",
        "A5": "Q4",
    }


@pytest.mark.parametrize(
    "cells, strings_copied, count, unique",
    [
        ([], True, 5, 5),
        ([["B2", "n", "1"], ["C9", "n", "2"], ["B4", "e", ""]], True, 5, 5),
        ([["A2", "n", "1"]], False, 4, 5),  # a number over a string cell: one reference fewer
        ([["A2", "s", "Q3"]], True, 5, 5),  # one reference for another: nothing to change
        ([["C1", "s", "Q1"], ["C2", "s", "new"], ["B1", "e", ""]], False, 6, 6),
    ],
)
def test_shared_strings_are_rewritten_only_when_they_change(
    tmp_path, cells, strings_copied, count, unique
):
    xlsx = workbook_bytes()
    out = update(xlsx, cells)
    source, archive = zipfile.ZipFile(io.BytesIO(xlsx)), checked(tmp_path, xlsx, out)
    assert (
        raw_entry(out, archive.getinfo(STRINGS)) == raw_entry(xlsx, source.getinfo(STRINGS))
    ) is strings_copied
    root = ET.fromstring(archive.read(STRINGS))
    assert (root.get("count"), root.get("uniqueCount")) == (str(count), str(unique))


def test_strings_are_inline_without_shared_strings(tmp_path):
    xlsx = workbook_bytes(shared_strings=False)
    archive = checked(tmp_path, xlsx, update(xlsx, [["B2", "s", " padded "], ["D1", "s", "a&b"]]))
    assert STRINGS not in archive.namelist()
    assert cell_values(archive)["B2"] == " padded " and cell_values(archive)["D1"] == "a&b"


def test_prefixed_parts_and_extension_lists_stay_valid(tmp_path):
    sheet = (
        f'<x:worksheet xmlns:x="{NS_SML}"><x:sheetData><x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v>'
        '</x:c><x:extLst><x:ext uri="{00000000-0000-0000-0000-000000000001}"><e:v xmlns:e="urn:e"/></x:ext></x:extLst></x:row>'
        "</x:sheetData></x:worksheet>"
    )
    strings = (
        f'<x:sst xmlns:x="{NS_SML}" count="1" uniqueCount="1"><x:si><x:t>a</x:t></x:si>'
        '<x:extLst><x:ext uri="{00000000-0000-0000-0000-000000000002}"><e:v xmlns:e="urn:e"/></x:ext></x:extLst></x:sst>'
    )
    xlsx = workbook_bytes(sheet_xml=sheet, strings_xml=strings)
    archive = checked(tmp_path, xlsx, update(xlsx, [["B1", "s", "b"], ["A2", "s", "c"]]))
    check_workbook_schema({SHEET: archive.read(SHEET), STRINGS: archive.read(STRINGS)})
    assert cell_values(archive) == {"A1": "a", "B1": "b", "A2": "c"}


def overrunning(part, extra_length):
    """The workbook with the local header of `part` stating an extra field this long."""
    book = bytearray(workbook_bytes())
    struct.pack_into(
        "<H", book, zipfile.ZipFile(io.BytesIO(book)).getinfo(part).header_offset + 28, extra_length
    )
    return bytes(book)


MESSAGES = [
    # (cells, sheet, change to the workbook (bytes: the whole workbook), message)
    ([["B2", "n", "1"]], "Sheet1", b"", "zip error: Not a zip archive"),
    # The styles part, which no update reads, runs into the next entry.
    (
        [["B2", "n", "1"]],
        "Nope",
        overrunning("xl/styles.xml", 200),
        "zip error: entries xl/styles.xml and xl/sharedStrings.xml overlap",
    ),
    ([["A0", "n", "x"]], "Sheet1", None, "invalid input: invalid cell reference: A0"),
    (
        [["B2", "n", "1,5"]],
        "Sheet1",
        None,
        "invalid input: cell B2 value is not a finite number: 1,5",
    ),
    (
        [["B2", "s", "\x07"]],
        "Sheet1",
        None,
        "invalid input: text contains a character that XML cannot hold: U+0007",
    ),
    ([["B2", "n", "1"]], "sheet1", None, "invalid input: sheet sheet1 was not found"),
    (
        [["B2", "n", "1"]],
        "Sheet1",
        {"_rels/.rels": None},
        "invalid input: workbook part is missing",
    ),
    (
        [["B2", "n", "1"]],
        "Sheet1",
        {"xl/_rels/workbook.xml.rels": None},
        "invalid input: sheet Sheet1 relationship is missing",
    ),
    (
        [["B2", "n", "1"]],
        "Sheet1",
        {SHEET: None},
        "invalid input: sheet part xl/worksheets/sheet1.xml is missing",
    ),
    ([["B2", "n", "1"], ["B3", "N", "1"]], "Sheet1", None, "unsupported workbook cell kind: N"),
]


@pytest.mark.parametrize("cells, sheet, change, message", MESSAGES)
def test_failures_carry_their_message(cells, sheet, change, message):
    source = zipfile.ZipFile(io.BytesIO(workbook_bytes()))
    parts = {name: source.read(name) for name in source.namelist()}
    for name, data in (change if isinstance(change, dict) else {}).items():
        if data is None:
            del parts[name]
        else:
            parts[name] = data
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in parts.items():
            archive.writestr(name, data)
    with pytest.raises(RuntimeError) as raised:
        update(change if isinstance(change, bytes) else buffer.getvalue(), cells, sheet)
    assert str(raised.value) == message


def test_update_errors_come_before_archive_errors():
    with pytest.raises(RuntimeError, match=r"^zip error: "):
        update(b"not a zip", [["A1", "n", "1"]])
    with pytest.raises(RuntimeError, match=r"^invalid input: invalid cell reference: 1A$"):
        update(b"not a zip", [["1A", "n", "1"]])
    with pytest.raises(RuntimeError, match=r"^unsupported workbook cell kind: x$"):
        update(b"not a zip", [["1A", "x", "1"]])
    with pytest.raises(TypeError, match="'bytearray' object is not an instance of 'bytes'"):
        native.update_workbook_cells(bytearray(workbook_bytes()), "Sheet1", "[]")


def test_documentation():
    assert native.update_workbook_cells.__text_signature__ == "(xlsx, sheet_name, cells_json)"
    assert native.update_workbook_cells.__doc__ == (
        "Write `[reference, kind, value]` cells into the named sheet of an XLSX\n"
        'package in place. `kind` is `"n"` for a number, `"s"` for a string, or\n'
        '`"e"` to clear an existing cell (its value is ignored).'
    )


def embedded_workbooks(folder):
    """(label, bytes) of every workbook embedded in the decks of the folder."""
    for deck in sorted(folder.glob("*.ppt*")):
        with zipfile.ZipFile(deck) as package:
            for name in package.namelist():
                if name.endswith(".xlsx"):
                    yield f"{deck.name}:{name}", package.read(name)


def column_number(reference):
    number = 0
    for letter in reference.rstrip("0123456789"):
        number = number * 26 + ord(letter) - ord("A") + 1
    return number


def column_letters(number):
    letters = ""
    while number:
        number, rest = divmod(number - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


def part_name(target):
    return target[1:] if target.startswith("/") else "xl/" + target


def first_sheet(archive):
    """The name of the workbook's first sheet and the parts of that sheet and the shared strings."""
    rels = {}
    for part in ("_rels/.rels", "xl/_rels/workbook.xml.rels"):
        for rel in ET.fromstring(archive.read(part)):
            rels[(part, rel.get("Id"))] = rel
    book = next(
        rel.get("Target").lstrip("/")
        for rel in ET.fromstring(archive.read("_rels/.rels"))
        if rel.get("Type").endswith("/officeDocument")
    )
    assert book == "xl/workbook.xml"
    sheet = next(ET.fromstring(archive.read(book)).iter(S + "sheet"))
    rel_id = next(value for key, value in sheet.attrib.items() if key.endswith("}id"))
    target = rels[("xl/_rels/workbook.xml.rels", rel_id)].get("Target")
    strings = [
        rel.get("Target")
        for rel in ET.fromstring(archive.read("xl/_rels/workbook.xml.rels"))
        if rel.get("Type").endswith("/sharedStrings")
    ]
    return sheet.get("name"), part_name(target), part_name(strings[0]) if strings else None


def test_real_embedded_workbooks_stay_valid(shared_decks, tmp_path):
    workbooks = list(embedded_workbooks(shared_decks))
    workbooks.append(
        (
            "generated chart deck",
            zipfile.ZipFile(build_chart_deck(tmp_path / "c.pptx")).read(CHART_WORKBOOK),
        )
    )
    assert len(workbooks) == 61
    for label, xlsx in workbooks:
        source = zipfile.ZipFile(io.BytesIO(xlsx))
        name, sheet, strings = first_sheet(source)
        rows = list(ET.fromstring(source.read(sheet)).iter(S + "row"))
        plain = [c.get("r") for row in rows for c in row.iter(S + "c") if c.find(S + "f") is None]
        assert len(set(plain)) > 1, label
        row = next(row for row in rows if row.find(S + "c") is not None)
        last_column = max(column_number(c.get("r")) for c in row.iter(S + "c"))
        new_cell = f"{column_letters(last_column + 1)}{row.get('r')}"
        new_row = f"A{int(rows[-1].get('r')) + 1}"
        cells = [
            [plain[0], "s", f"label & <{label[-9:]}>"],
            [new_cell, "n", "42.5"],
            [new_row, "s", " new row "],
            [plain[-1], "e", ""],
        ]
        out = update(xlsx, cells, name)
        archive = checked(tmp_path, xlsx, out)
        parts = {f"{label}:{sheet}": archive.read(sheet)}
        if strings:
            parts[f"{label}:{strings}"] = archive.read(strings)
        check_workbook_schema(parts)
        values = cell_values(archive, sheet, strings)
        assert values[plain[0]] == f"label & <{label[-9:]}>", label
        assert values[new_cell] == "42.5" and values[new_row] == " new row ", label
        assert values[plain[-1]] is None, label
        before = cell_values(source, sheet, strings)
        untouched = set(before) - {plain[0], plain[-1]}
        assert {ref: values[ref] for ref in untouched} == {ref: before[ref] for ref in untouched}, (
            label
        )
