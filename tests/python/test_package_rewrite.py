"""Archives written by the package rewrite, checked with Python's zipfile and `unzip -t`.

The rewrite is driven through the `bench_rewrite` program (bench/bench_rewrite.cpp); ctest passes
its path in PELVANE_BENCH_REWRITE, otherwise the newest one under build/ is used.
"""

import io
import json
import os
import shutil
import struct
import subprocess
import zipfile
import zlib
from pathlib import Path

import pytest
from deck_builder import build_deck, workbook_bytes
from package_lint import check_package
from pelvane import pelvane_native as native

ROOT = Path(__file__).resolve().parents[2]
EPOCH = (1980, 1, 1, 0, 0, 0)
OLD = (2019, 7, 4, 10, 20, 30)


@pytest.fixture(scope="module")
def tool():
    given = os.environ.get("PELVANE_BENCH_REWRITE")
    if given:
        return Path(given)
    found = sorted((ROOT / "build").glob("*/bench_rewrite"), key=lambda p: p.stat().st_mtime)
    if not found:
        pytest.skip("bench_rewrite is not built; build the tests or set PELVANE_BENCH_REWRITE")
    return found[-1]


def run(tool, *args):
    result = subprocess.run([str(tool), *map(str, args)], capture_output=True, text=True)
    return json.loads(result.stdout)


def info(name, date_time=OLD, compress=zipfile.ZIP_DEFLATED, mode=0o100644, system=3):
    item = zipfile.ZipInfo(name, date_time)
    item.compress_type = compress
    item.create_system = system
    item.external_attr = mode << 16 if system == 3 else mode
    return item


def write_package(path, unseekable=False):
    """A package with the cases a rewrite must carry: times, methods, attributes, extras."""
    entries = [
        (info("[Content_Types].xml"), b"<Types/>"),
        (info("ppt/presentation.xml", (2021, 2, 3, 4, 5, 6)), b"<p:presentation/>" * 50),
        (info("ppt/slides/slide1.xml", compress=zipfile.ZIP_STORED), b"<p:sld>old</p:sld>"),
        (info("ppt/media/", mode=0o40755 | 0), b""),
        (info("ppt/media/image1.png", compress=zipfile.ZIP_STORED), os.urandom(300_000)),
        (info("ppt/media/video1.mp4"), os.urandom(700_000)),
        (info("docProps/dos.xml", system=0, mode=0x20), b"<dos/>"),
        (info("docProps/bad-date.xml", (2000, 0, 0, 0, 0, 0)), b"<when/>"),
        (info("docProps/extra.xml"), b"<extra/>"),
    ]
    entries[3][0].external_attr |= 0x10
    entries[8][0].extra = struct.pack("<HH4s", 0xCAFE, 4, b"data")
    buffer = io.BytesIO()
    target = buffer
    if unseekable:  # entries then carry data descriptors

        class Unseekable(io.RawIOBase):
            def writable(self):
                return True

            def write(self, data):
                return buffer.write(data)

        target = Unseekable()
    with zipfile.ZipFile(target, "w") as archive:
        archive.comment = b"an archive comment"
        for item, data in entries:
            archive.writestr(item, data)
    path.write_bytes(buffer.getvalue())
    return path


def raw_data(path, item):
    with open(path, "rb") as handle:
        handle.seek(item.header_offset)
        header = handle.read(30)
        name_length, extra_length = struct.unpack("<HH", header[26:30])
        handle.seek(item.header_offset + 30 + name_length + extra_length)
        return handle.read(item.compress_size)


def local_flags_and_extra(path, item):
    with open(path, "rb") as handle:
        handle.seek(item.header_offset)
        header = handle.read(30)
        name_length, extra_length = struct.unpack("<HH", header[26:30])
        handle.seek(name_length, 1)
        return struct.unpack("<H", header[6:8])[0], handle.read(extra_length)


def extra_field_ids(extra):
    ids = []
    while len(extra) >= 4:
        field_id, size = struct.unpack_from("<HH", extra)
        ids.append(field_id)
        extra = extra[4 + size :]
    return ids


def assert_clean(path):
    with zipfile.ZipFile(path) as archive:
        assert archive.testzip() is None
        assert archive.comment == b""
        for item in archive.infolist():
            assert 0x0001 not in extra_field_ids(item.extra)  # no ZIP64 field
            assert item.flag_bits & 0x08 == 0  # no data descriptor
            flags, local_extra = local_flags_and_extra(path, item)
            assert flags & 0x08 == 0 and 0x0001 not in extra_field_ids(local_extra)
            assert item.compress_size < 0xFFFFFFFF
    result = subprocess.run(["unzip", "-tq", str(path)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


@pytest.mark.parametrize("unseekable", [False, True], ids=["plain", "data-descriptors"])
def test_replaced_part_keeps_every_other_entry_raw(tool, tmp_path, unseekable):
    source = write_package(tmp_path / "in.pptx", unseekable)
    content = tmp_path / "slide.xml"
    content.write_bytes(b"<p:sld>new</p:sld>")
    output = tmp_path / "out.pptx"
    facts = run(tool, "replace", source, output, "ppt/slides/slide1.xml", content)
    assert facts == {"part_count": 9, "has_vba": False}
    assert_clean(output)

    with zipfile.ZipFile(source) as before, zipfile.ZipFile(output) as after:
        old, new = before.infolist(), after.infolist()
        assert [i.filename for i in new] == [i.filename for i in old]
        for a, b in zip(old, new):
            if a.filename == "ppt/slides/slide1.xml":
                assert after.read(b) == b"<p:sld>new</p:sld>"
                assert b.date_time == EPOCH
                assert b.external_attr >> 16 == 0o100644
                assert b.create_system == 3
                assert b.compress_type == zipfile.ZIP_STORED
                continue
            assert raw_data(output, b) == raw_data(source, a), a.filename
            assert (b.CRC, b.compress_type, b.file_size) == (a.CRC, a.compress_type, a.file_size)
            assert b.external_attr == a.external_attr
            assert b.create_system == a.create_system
            if a.filename == "docProps/bad-date.xml":
                assert b.date_time == EPOCH  # a stored time that is no date
            else:
                assert b.date_time == a.date_time, a.filename
        assert new[3].is_dir() and new[3].external_attr >> 16 == 0o40755


def compressed_bytes(path, item):
    """The entry's compressed bytes, as stored after its local header."""
    data = Path(path).read_bytes()
    name_length, extra_length = struct.unpack_from("<HH", data, item.header_offset + 26)
    start = item.header_offset + 30 + name_length + extra_length
    return data[start : start + item.compress_size]


def test_recompressing_rewrite_resets_times_and_appends_new_entries_last(tool, tmp_path):
    source = write_package(tmp_path / "in.pptx")
    added = tmp_path / "added.xml"
    added.write_bytes(b"<p:sld>two</p:sld>")
    output = tmp_path / "out.pptx"
    facts = run(
        tool,
        "recompress",
        source,
        output,
        "directory",
        "drop=docProps/extra.xml",
        f"add=ppt/slides/slide2.xml={added}",
        f"add=ppt/vbaProject.bin={added}",
    )
    assert facts == {"part_count": 10, "has_vba": True}
    assert_clean(output)
    with zipfile.ZipFile(source) as before, zipfile.ZipFile(output) as after:
        kept = [i.filename for i in before.infolist() if i.filename != "docProps/extra.xml"]
        names = [i.filename for i in after.infolist()]
        assert names == kept + ["ppt/slides/slide2.xml", "ppt/vbaProject.bin"]
        for item in after.infolist():
            assert item.date_time == EPOCH
            if item.is_dir():
                assert item.external_attr >> 16 == 0o40755
                assert item.compress_type == zipfile.ZIP_STORED
            else:
                assert item.external_attr >> 16 == 0o100644
                original = before.getinfo(item.filename) if item.filename in kept else None
                expected = original.compress_type if original else zipfile.ZIP_DEFLATED
                assert item.compress_type == expected, item.filename
                if original:
                    # Unchanged content keeps its compressed bytes under the new header.
                    assert after.read(item) == before.read(original)
                    assert item.CRC == original.CRC and item.file_size == original.file_size
                    assert compressed_bytes(output, item) == compressed_bytes(source, original)


def test_directory_as_empty_file(tool, tmp_path):
    source = write_package(tmp_path / "in.pptx")
    output = tmp_path / "out.pptx"
    run(tool, "recompress", source, output, "empty-file")
    with zipfile.ZipFile(output) as after:
        directory = after.getinfo("ppt/media/")
        assert directory.external_attr >> 16 == 0o100644
        assert directory.file_size == 0


def test_failure_midway_leaves_no_output_and_an_existing_one_untouched(tool, tmp_path):
    source = write_package(tmp_path / "in.pptx")
    # Give the picture a compression method no reader has, in both of its headers: its bytes
    # cannot be taken over, and recompressing them fails when they are decompressed.
    name = b"ppt/media/image1.png"
    data = bytearray(source.read_bytes())
    for magic, name_at, method_at in ((b"PK\x03\x04", 30, 8), (b"PK\x01\x02", 46, 10)):
        at = data.find(magic)
        while data[at + name_at : at + name_at + len(name)] != name:
            at = data.find(magic, at + 1)
        struct.pack_into("<H", data, at + method_at, 18)
    source.write_bytes(bytes(data))

    output = tmp_path / "out.pptx"
    facts = run(tool, "recompress", source, output, "directory")
    assert facts["error"] == "zip error: Compression method not supported"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in.pptx"]

    output.write_bytes(b"previous output")
    facts = run(tool, "recompress", source, output, "directory")
    assert "error" in facts
    assert output.read_bytes() == b"previous output"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in.pptx", "out.pptx"]


def test_output_may_replace_the_input(tool, tmp_path):
    source = write_package(tmp_path / "in.pptx")
    copy = tmp_path / "copy.pptx"
    shutil.copy(source, copy)
    content = tmp_path / "slide.xml"
    content.write_bytes(b"<p:sld>same</p:sld>")
    assert run(tool, "replace", source, source, "ppt/slides/slide1.xml", content)["part_count"] == 9
    assert_clean(source)
    with zipfile.ZipFile(source) as after, zipfile.ZipFile(copy) as before:
        assert after.read("ppt/slides/slide1.xml") == b"<p:sld>same</p:sld>"
        assert after.read("ppt/media/video1.mp4") == before.read("ppt/media/video1.mp4")


def test_large_package_keeps_the_copy_page_aligned_and_the_part_readable(tool, tmp_path):
    source = tmp_path / "large.pptx"
    with zipfile.ZipFile(source, "w") as archive:
        archive.writestr(info("[Content_Types].xml"), b"<Types/>")
        archive.writestr(info("ppt/slides/slide1.xml"), b"<p:sld>old</p:sld>" * 40)
        archive.writestr(
            info("ppt/media/video1.mp4", compress=zipfile.ZIP_STORED), os.urandom(17 << 20)
        )
        archive.writestr(info("ppt/slides/slide2.xml"), b"<p:sld>two</p:sld>")
    content = tmp_path / "slide.xml"
    content.write_bytes(b"<p:sld>a new slide of another length</p:sld>")
    output = tmp_path / "out.pptx"
    assert run(tool, "replace", source, output, "ppt/slides/slide1.xml", content)["part_count"] == 4
    assert_clean(output)
    with zipfile.ZipFile(source) as before, zipfile.ZipFile(output) as after:
        slide = after.getinfo("ppt/slides/slide1.xml")
        # The new part's Deflate stream ends cleanly, whatever empty blocks close it.
        inflater = zlib.decompressobj(-15)
        assert inflater.decompress(raw_data(output, slide)) == content.read_bytes()
        assert inflater.eof and inflater.unused_data == b""
        video_in, video_out = (
            before.getinfo("ppt/media/video1.mp4"),
            after.getinfo("ppt/media/video1.mp4"),
        )
        assert video_out.header_offset % 4096 == video_in.header_offset % 4096
        assert raw_data(output, video_out) == raw_data(source, video_in)
        assert after.read("ppt/slides/slide2.xml") == b"<p:sld>two</p:sld>"


def test_zip64_records_of_the_input_are_not_carried_over(tool, tmp_path):
    source = tmp_path / "zip64.pptx"
    with zipfile.ZipFile(source, "w") as archive:
        for name, data in (
            ("ppt/slides/slide1.xml", b"<p:sld/>"),
            ("ppt/media/a.bin", b"a" * 5000),
        ):
            with archive.open(info(name), "w", force_zip64=True) as entry:
                entry.write(data)
    with zipfile.ZipFile(source) as archive, open(source, "rb") as handle:
        for item in archive.infolist():  # the input's local headers carry ZIP64 extras
            handle.seek(item.header_offset + 28)
            assert struct.unpack("<H", handle.read(2))[0] > 0
    content = tmp_path / "slide.xml"
    content.write_bytes(b"<p:sld>new</p:sld>")
    output = tmp_path / "out.pptx"
    assert run(tool, "replace", source, output, "ppt/slides/slide1.xml", content)["part_count"] == 2
    assert_clean(output)
    with zipfile.ZipFile(output) as after:
        assert after.read("ppt/media/a.bin") == b"a" * 5000
        assert all(item.extract_version <= 20 for item in after.infolist())


# ---------------------------------------------------------------------------------------------
# Raw copies made by the module's rewrites keep each entry's extra fields and comment.

UT_LOCAL = struct.pack("<HHBII", 0x5455, 9, 3, 1_700_000_000, 1_700_000_100)  # mtime, atime
UT_CENTRAL = struct.pack("<HHBI", 0x5455, 5, 3, 1_700_000_000)
UNIX_OWNER = struct.pack("<HHBBIBI", 0x7875, 11, 1, 4, 501, 4, 20)
ZIP64 = object()  # stands for the entry's ZIP64 field, which carries its sizes

HEADER_CASES = {
    # case: (local extra, central extra, comment, what a raw copy writes as both extras)
    "timestamp and owner fields": ((UT_LOCAL, UNIX_OWNER), (UT_CENTRAL, UNIX_OWNER), b"", None),
    "entry comment": ((), (), b"kept with the entry", None),
    "ZIP64 field dropped": (
        (UT_LOCAL, ZIP64, UNIX_OWNER),
        (UT_CENTRAL, ZIP64, UNIX_OWNER),
        b"",
        (UT_LOCAL + UNIX_OWNER, UT_CENTRAL + UNIX_OWNER),
    ),
}


def with_headers(source, target, local, central, comment):
    """`source` written again, every entry with these extra fields (ZIP64 standing for a ZIP64
    field with its sizes, the sizes in the fixed fields then 0xFFFFFFFF) and comment."""
    data = Path(source).read_bytes()
    out, directory = bytearray(), bytearray()
    with zipfile.ZipFile(source) as archive:
        for item in archive.infolist():
            name = item.filename.encode()
            zip64 = ZIP64 in local
            sizes = struct.pack("<QQ", item.file_size, item.compress_size)
            field = lambda part: struct.pack("<HH", 1, 16) + sizes if part is ZIP64 else part  # noqa: E731, B023
            local_extra = b"".join(map(field, local))
            central_extra = b"".join(map(field, central))
            stated = (0xFFFFFFFF, 0xFFFFFFFF) if zip64 else (item.compress_size, item.file_size)
            dos_time = item.date_time[3] << 11 | item.date_time[4] << 5 | item.date_time[5] // 2
            dos_date = (item.date_time[0] - 1980) << 9 | item.date_time[1] << 5 | item.date_time[2]
            shared = struct.pack(
                "<HHHHHIII",
                45 if zip64 else 20,
                item.flag_bits & ~0x08,
                item.compress_type,
                dos_time,
                dos_date,
                item.CRC,
                *stated,
            )
            offset = len(out)
            out += b"PK\x03\x04" + shared + struct.pack("<HH", len(name), len(local_extra))
            out += name + local_extra + compressed_bytes(source, item)
            directory += (
                b"PK\x01\x02"
                + struct.pack("<H", 3 << 8 | 45)
                + shared
                + struct.pack(
                    "<HHHHHII",
                    len(name),
                    len(central_extra),
                    len(comment),
                    0,
                    0,
                    item.external_attr,
                    offset,
                )
                + name
                + central_extra
                + comment
            )
        count = len(archive.infolist())
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(directory), len(out), 0)
    Path(target).write_bytes(bytes(out + directory) + end)
    assert data  # the source was read whole before the target was written
    return target


def rewrite_with_module(route, source, output):
    if route == "workbook":
        output.write_bytes(
            native.update_workbook_cells(
                source.read_bytes(), "Sheet1", json.dumps([["B2", "n", "7"]])
            )
        )
    elif route == "replaced slide":
        native.add_slide_auto_shape_json(str(source), str(output), 0, "rect", 0, 0, 914400, 914400)
    elif route == "own copy loop":
        native.add_blank_slide_json(str(source), str(output))
    else:
        native.apply_edit_batch_json(
            str(source),
            str(output),
            json.dumps(
                [{"type": "set_shape_text", "slide_index": 0, "shape_index": 0, "replacement": "x"}]
            ),
        )


@pytest.mark.parametrize("route", ["replaced slide", "own copy loop", "edit batch", "workbook"])
@pytest.mark.parametrize("case", HEADER_CASES)
def test_raw_copies_keep_extra_fields_and_comment_but_zip64(tmp_path, case, route):
    local, central, comment, written = HEADER_CASES[case]
    plain = tmp_path / "plain.zip"
    if route == "workbook":
        plain.write_bytes(workbook_bytes())
    else:
        build_deck(plain, slides=2)
    source = with_headers(plain, tmp_path / "in.zip", local, central, comment)
    output = tmp_path / "out.zip"
    rewrite_with_module(route, source, output)
    check_package(source, output)

    local_expected, central_expected = written or (b"".join(local), b"".join(central))
    copied = 0
    with zipfile.ZipFile(source) as before, zipfile.ZipFile(output) as after:
        for item in after.infolist():
            old = before.NameToInfo.get(item.filename)
            raw_copy = old is not None and old.CRC == item.CRC
            copied += raw_copy
            expected = (local_expected, central_expected, comment) if raw_copy else (b"", b"", b"")
            assert (local_flags_and_extra(output, item)[1], item.extra, item.comment) == expected, (
                item.filename
            )
            assert item.compress_size != 0xFFFFFFFF and item.extract_version == 20
    assert copied >= 5
