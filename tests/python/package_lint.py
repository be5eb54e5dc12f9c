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
