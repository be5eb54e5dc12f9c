"""The checks every editing test runs on what it writes (a first cut; the full lint replaces it)."""

import subprocess
import tempfile
import zipfile
from pathlib import Path
from xml.etree import ElementTree

SCHEMAS = Path(__file__).resolve().parents[2].parent / "shared" / "schemas"
PML_PARTS = ("ppt/slides/slide", "ppt/slideLayouts/slideLayout", "ppt/slideMasters/slideMaster")


def _schema_valid(data):
    with tempfile.NamedTemporaryFile(suffix=".xml") as part:
        part.write(data)
        part.flush()
        run = subprocess.run(["xmllint", "--noout", "--schema", str(SCHEMAS / "pml.xsd"), part.name],
                             capture_output=True, text=True)
    return run.returncode == 0, run.stderr


def check_package(input_path, output_path, *, reader=False, expect_text=None):
    with zipfile.ZipFile(output_path) as out:
        assert out.testzip() is None, f"{output_path}: a damaged entry"
        names = out.namelist()
        assert len(names) == len(set(names)), f"{output_path}: repeated entry names"
        with zipfile.ZipFile(input_path) as src:
            before = set(src.namelist())
            for name in names:
                if not name.endswith((".xml", ".rels")):
                    continue
                data = out.read(name)
                ElementTree.fromstring(data)
                if name.startswith(PML_PARTS) and b"AlternateContent" not in data:
                    if name in before and not _schema_valid(src.read(name))[0]:
                        continue
                    ok, why = _schema_valid(data)
                    assert ok, f"{name}: schema: {why}"


def check_workbook_schema(parts):
    """Validates SpreadsheetML parts ({name: bytes}: worksheets, shared strings, a workbook part)
    against the transitional sml.xsd, in one xmllint run.

    That schema knows neither markup compatibility nor the xml namespace, so each part is first
    normalised: `mc:Ignorable` goes, and with it every element and attribute of the namespaces it
    lists; `xml:space` attributes go too. Everything else is validated as written."""
    import io

    mc = "{http://schemas.openxmlformats.org/markup-compatibility/2006}"
    xml_space = "{http://www.w3.org/XML/1998/namespace}space"

    def normalised(data):
        prefixes = {}
        for _, (prefix, uri) in ElementTree.iterparse(io.BytesIO(data), events=("start-ns",)):
            prefixes.setdefault(prefix, uri)
        root = ElementTree.fromstring(data)
        ignorable = tuple("{" + prefixes[p] + "}" for p in root.get(mc + "Ignorable", "").split()
                          if p in prefixes)
        for element in root.iter():
            for name in [name for name in element.attrib
                         if name == xml_space or name.startswith((mc, *ignorable))]:
                del element.attrib[name]
            for child in [child for child in element if ignorable and child.tag.startswith(ignorable)]:
                element.remove(child)
        return ElementTree.tostring(root)

    with tempfile.TemporaryDirectory() as folder:
        files = {}
        for number, (name, data) in enumerate(parts.items()):
            path = Path(folder) / f"{number}.xml"
            path.write_bytes(normalised(data))
            files[str(path)] = name
        run = subprocess.run(["xmllint", "--noout", "--schema", str(SCHEMAS / "sml.xsd"), *files],
                             capture_output=True, text=True)
    failed = [name for path, name in files.items() if f"{path} validates" not in run.stderr]
    report = "\n".join(line for line in run.stderr.splitlines() if not line.endswith(" validates"))
    for path, name in files.items():
        report = report.replace(path, name)
    assert not failed, f"sml.xsd rejects {', '.join(failed)}:\n{report}"
