"""The module boundary: registration, signatures, argument binding and conversion, results
and errors.

The real module only exposes the functions whose engine operations exist, so the argument
kinds that none of them uses yet are checked through ``binder_probe``: a small extension built
here from the module's own binder (tests/python/binder_probe.cpp), whose functions echo the
converted arguments.
"""

import ast
import importlib
import importlib.metadata
import importlib.util
import inspect
import json
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

import pelvane.pelvane_native as native
import pytest
from module_calls import argument, parameters

# The binder probe is compiled once per process: its tests keep to one.
pytestmark = pytest.mark.xdist_group("binder_probe")

ROOT = pathlib.Path(__file__).resolve().parents[2]

BUILD_INFO = (
    "{\n"
    '  "build_profile": "release",\n'
    '  "debug_assertions": false,\n'
    '  "package": "pelvane-py",\n'
    '  "version": "0.1.4"\n'
    "}"
)


def raised(call, *args, **kwargs):
    """The exception that call(*args, **kwargs) raises (BaseException included)."""
    try:
        call(*args, **kwargs)
    except BaseException as error:  # PanicException is a BaseException
        return error
    raise AssertionError(f"{call.__name__} did not raise")


# ---------------------------------------------------------------------------------------------
# Registration


def test_every_function_is_registered():
    # Their order is the typed stub's (test_typed_stub_matches_the_module).
    assert isinstance(native.__all__, list)
    assert len(native.__all__) == len(set(native.__all__)) == 71
    # Nothing else is public: no classes, constants or submodules.
    public = {name for name in vars(native) if not name.startswith("_")}
    assert public == set(native.__all__)


def test_module_attributes():
    assert native.__doc__ == ""
    assert native.__name__ == "pelvane.pelvane_native"
    for name in native.__all__:
        function = getattr(native, name)
        assert type(function).__name__ == "builtin_function_or_method"
        assert function.__name__ == name
        assert function.__module__ == native.__name__
        assert function.__self__ is None
        if name != "update_workbook_cells":
            assert function.__doc__ is None, name
        parameters = inspect.signature(function).parameters.values()
        for parameter in parameters:
            assert parameter.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
            if (name, parameter.name) != ("delete_slides_json", "ordered_survivor_parts"):
                assert parameter.default is inspect.Parameter.empty


@pytest.mark.parametrize(
    "name, signature",
    [
        ("build_info_json", "()"),
        ("inspect_package_json", "(path)"),
        ("roundtrip_package_json", "(input, output)"),
        ("apply_edit_batch_json", "(input, output, edits_json)"),
    ],
)
def test_text_signatures(name, signature):
    assert getattr(native, name).__text_signature__ == signature


def takes_none(name, param, folder):
    """Whether the function binds None for `param`: called with valid values for the others and a
    package that does not exist, it fails past the binding, or does not fail."""
    args = {p: argument(name, p, folder) for p in parameters(name)}
    args.update({p: str(folder / "missing.pptx") for p in ("input", "path") if p in args})
    args.update({p: str(folder / "out" / "o.pptx") for p in ("output",) if p in args})
    args[param] = None
    try:
        getattr(native, name)(**args)
    except TypeError:
        return False
    except Exception:  # a failure past the binding
        pass
    return True


def test_typed_stub_matches_the_module(tmp_path):
    """Each stub against its table row as the module shows it: the functions in registration
    order, the parameters by name and order, which may be left out and which take None."""
    stub = ROOT / "python" / "pelvane" / "pelvane_native.pyi"
    assert (ROOT / "python" / "pelvane" / "py.typed").is_file()
    tree = ast.parse(stub.read_text(encoding="utf-8"))
    functions = [node for node in tree.body if isinstance(node, ast.FunctionDef)]
    assert [f.name for f in functions] == native.__all__
    for function in functions:
        name, args = function.name, function.args.args
        real = inspect.signature(getattr(native, name)).parameters
        assert [a.arg for a in args] == list(real), name
        omittable = [a.arg for a in args[len(args) - len(function.args.defaults) :]]
        defaults = [p for p, v in real.items() if v.default is not inspect.Parameter.empty]
        assert omittable == defaults, name
        none_typed = [a.arg for a in args if "None" in ast.unparse(a.annotation)]
        assert none_typed == [p for p in real if takes_none(name, p, tmp_path)], name


def test_a_fresh_import_builds_new_functions():
    name = native.__name__
    assert importlib.import_module(name) is native  # still registered: not executed again
    saved = sys.modules.pop(name)
    try:
        fresh = importlib.import_module(name)
        assert fresh is not native
        assert fresh.__all__ == native.__all__
        assert fresh.__all__ is not native.__all__
        assert fresh.inspect_package_json is not native.inspect_package_json
        assert fresh.build_info_json() == BUILD_INFO
    finally:
        sys.modules[name] = saved


def test_build_info_is_fixed():
    assert native.build_info_json() == BUILD_INFO
    assert native.build_info_json() == BUILD_INFO
    # The installed package's metadata carries the same version: both come from pyproject.toml.
    assert json.loads(BUILD_INFO)["version"] == importlib.metadata.version("pelvane")
    error = raised(native.build_info_json, 1)
    assert type(error) is TypeError and "takes no arguments" in str(error)


# ---------------------------------------------------------------------------------------------
# Conversion and errors through the real functions


def test_text_arguments_refuse_other_types(tmp_path):
    cases = [
        (pathlib.Path("deck.pptx"), "'PosixPath' object is not an instance of 'str'"),
        (b"deck.pptx", "'bytes' object is not an instance of 'str'"),
        (None, "'None' is not an instance of 'str'"),
        (3, "'int' object is not an instance of 'str'"),
    ]
    for value, message in cases:
        error = raised(native.inspect_package_json, value)
        assert type(error) is TypeError
        assert error.args == (message,)
        assert error.__notes__ == ["while processing 'path'"]
    error = raised(native.roundtrip_package_json, str(tmp_path / "in.pptx"), output=1)
    assert error.__notes__ == ["while processing 'output'"]
    assert not (tmp_path / "in.pptx").exists()


def test_engine_errors_are_runtime_errors_and_the_module_stays_usable(tmp_path):
    missing = str(tmp_path / "missing.pptx")
    first = raised(native.inspect_package_json, missing)
    assert type(first) is RuntimeError
    assert len(first.args) == 1 and first.args[0] == str(first)
    assert str(first).startswith("io error: ")
    assert first.__cause__ is None and not hasattr(first, "__notes__")

    error = raised(native.inspect_package_json, path="deck\0.pptx")
    assert error.args == ("io error: file name contained an unexpected NUL byte",)

    assert native.build_info_json() == BUILD_INFO
    assert raised(native.inspect_package_json, missing).args == first.args


# ---------------------------------------------------------------------------------------------
# The binder, through the probe module


def _build_probe(directory):
    compiler = os.environ.get("CXX") or shutil.which("c++") or shutil.which("g++")
    include = sysconfig.get_paths()["include"]
    if compiler is None or not (pathlib.Path(include) / "Python.h").is_file():
        pytest.skip("no C++ compiler or Python headers to build the binder probe")
    target = directory / ("binder_probe" + sysconfig.get_config_var("EXT_SUFFIX"))
    sources = [
        ROOT / "tests" / "python" / "binder_probe.cpp",
        ROOT / "src" / "native" / "binder.cpp",
        ROOT / "src" / "core" / "base" / "error.cpp",
        ROOT / "src" / "core" / "json" / "json_out.cpp",
        ROOT / "src" / "core" / "base" / "utf8.cpp",
    ]
    command = [
        compiler,
        "-std=c++23",
        "-O1",
        "-shared",
        "-fPIC",
        f"-I{ROOT / 'src'}",
        f"-I{include}",
        *map(str, sources),
        "-o",
        str(target),
    ]
    result = subprocess.run(command, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    spec = importlib.util.spec_from_file_location("binder_probe", target)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def probe(tmp_path_factory):
    return _build_probe(tmp_path_factory.mktemp("probe"))


KINDS = dict(text="t", index=1, u64=2, i64=-3, data=b"\x00\xff", names=["a"], indexes=[4])


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FlakySequence:
    """A sequence whose length fails and whose second item raises."""

    def __len__(self):
        raise ValueError("no length")

    def __getitem__(self, position):
        if position == 0:
            return "first"
        raise KeyError("second item")


class HugeSequence:
    def __len__(self):
        return sys.maxsize

    def __getitem__(self, position):
        if position < 2:
            return "x"
        raise IndexError


def test_accepted_values_convert(probe):
    import json

    echo = json.loads(probe.kinds(**KINDS))
    assert echo == dict(text="t", index=1, u64=2, i64=-3, data=[0, 255], names=["a"], indexes=[4])

    echo = json.loads(
        probe.kinds(
            type("Text", (str,), {})("sub"),
            True,
            Indexable(2**64 - 1),
            -(2**63),
            b"",
            ("x", "y"),
            b"\x01\x02",
        )
    )
    assert echo == dict(
        text="sub", index=1, u64=2**64 - 1, i64=-(2**63), data=[], names=["x", "y"], indexes=[1, 2]
    )
    echo = json.loads(probe.kinds("t\0x", 0, 0, 2**63 - 1, b"", range(0), range(3)))
    assert echo["text"] == "t\u0000x" and echo["names"] == [] and echo["indexes"] == [0, 1, 2]
    assert json.loads(probe.kinds(**{**KINDS, "names": HugeSequence()}))["names"] == ["x", "x"]


@pytest.mark.parametrize(
    "parameter, value, kind, message",
    [
        ("index", -1, OverflowError, None),
        ("index", 2**64, OverflowError, None),
        ("index", 1.0, TypeError, "'float' object cannot be interpreted as an integer"),
        ("index", "1", TypeError, None),
        ("index", None, TypeError, None),
        ("u64", -5, OverflowError, None),
        ("i64", 2**63, OverflowError, None),
        ("i64", -(2**63) - 1, OverflowError, None),
        ("data", bytearray(b"x"), TypeError, "'bytearray' object is not an instance of 'bytes'"),
        ("data", memoryview(b"x"), TypeError, "'memoryview' object is not an instance of 'bytes'"),
        ("data", None, TypeError, "'None' is not an instance of 'bytes'"),
        ("text", "\udc00", UnicodeEncodeError, None),
        ("names", "abc", TypeError, "Can't extract `str` to `Vec`"),
        ("names", {"a": 1}, TypeError, "'dict' object is not an instance of 'Sequence'"),
        ("names", {"a"}, TypeError, "'set' object is not an instance of 'Sequence'"),
        (
            "names",
            (n for n in "a"),
            TypeError,
            "'generator' object is not an instance of 'Sequence'",
        ),
        ("names", None, TypeError, "'None' is not an instance of 'Sequence'"),
        ("names", ["a", 1], TypeError, "'int' object is not an instance of 'str'"),
        ("names", FlakySequence(), KeyError, None),
        ("indexes", [1, -1], OverflowError, None),
        ("indexes", "12", TypeError, "Can't extract `str` to `Vec`"),
    ],
)
def test_conversion_failures_name_the_parameter(probe, parameter, value, kind, message):
    error = raised(probe.kinds, **{**KINDS, parameter: value})
    assert type(error) is kind
    if message is not None:
        assert error.args == (message,)
    assert error.__notes__ == [f"while processing '{parameter}'"]


def test_only_the_first_wrong_argument_is_reported(probe):
    error = raised(probe.kinds, **{**KINDS, "u64": -1, "text": 5, "names": "x"})
    assert type(error) is TypeError and error.__notes__ == ["while processing 'text'"]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.kinds(*range(8)), "kinds() takes 7 positional arguments but 8 were given"),
        (
            lambda p: p.optionals(1, 2, 3, 4),
            "optionals() takes from 2 to 3 positional arguments but 4 were given",
        ),
        (
            lambda p: p.four_texts("a"),
            (
                "four_texts() missing 3 required positional arguments: 'output', 'search', and "
                "'replacement'"
            ),
        ),
        (
            lambda p: p.four_texts("a", "b"),
            "four_texts() missing 2 required positional arguments: 'search' and 'replacement'",
        ),
        (
            lambda p: p.four_texts(search="s", output="o", replacement="r"),
            "four_texts() missing 1 required positional argument: 'input'",
        ),
        (
            lambda p: p.optionals(),
            ("optionals() missing 2 required positional arguments: 'text' and 'number'"),
        ),
        (
            lambda p: p.four_texts("a", "b", "c", "d", input="e"),
            "four_texts() got multiple values for argument 'input'",
        ),
        (
            lambda p: p.four_texts("a", "b", "c", "d", Input="e"),
            "four_texts() got an unexpected keyword argument 'Input'",
        ),
        (
            lambda p: p.four_texts("a", "b", "c", "d", **{"\udc00": 1}),
            "four_texts() got an unexpected keyword argument '\udc00'",
        ),
    ],
)
def test_binding_messages(probe, call, message):
    error = raised(call, probe)
    assert type(error) is TypeError
    assert error.args == (message,)
    assert not hasattr(error, "__notes__")


def test_binding_by_keyword_and_absent_values(probe):
    import json

    assert json.loads(probe.four_texts(replacement="r", input="i", search="s", output="o")) == {
        "path": "i",
        "items": ["o", "s", "r"],
    }
    absent = {"text": None, "number": None, "names": None}
    assert json.loads(probe.optionals(None, None)) == absent
    assert json.loads(probe.optionals(None, None, None)) == absent
    assert json.loads(probe.optionals(text="t", number=0, names=("n",))) == {
        "text": "t",
        "number": 0,
        "names": ["n"],
    }
    assert inspect.signature(probe.optionals).parameters["names"].default is None
    assert probe.optionals.__text_signature__ == "(text, number, names=None)"
    error = raised(probe.optionals, None, -1)
    assert type(error) is OverflowError and error.__notes__ == ["while processing 'number'"]


def test_json_arguments_are_read_after_conversion(probe):
    import json

    assert json.loads(probe.json_items(7, "[1]")) == {"path": "7", "items": ["[1]"]}
    error = raised(probe.json_items, 0, "{}")
    assert type(error) is RuntimeError
    assert error.args == ("expected `[` at line 1 column 1",)
    # A wrong index is reported even though the JSON text is also wrong.
    error = raised(probe.json_items, -1, "{}")
    assert type(error) is OverflowError and error.__notes__ == ["while processing 'slide_index'"]
    error = raised(probe.json_items, 0, 5)
    assert type(error) is TypeError and error.__notes__ == ["while processing 'items_json'"]
    # A reader that reports an engine error shows its message without the error's prefix.
    assert raised(probe.engine_json_items, "x").args == ("expected `[` at line 1 column 1",)
    assert raised(probe.positioned_json_items, "[] x").args == (
        "trailing characters at line 2 column 5",
    )
    assert json.loads(probe.positioned_json_items("[]"))["items"] == []


def test_results_and_errors(probe):
    error = raised(probe.engine_error, "slide index 9 was not found")
    assert type(error) is RuntimeError
    assert error.args == ("invalid input: slide index 9 was not found",)
    assert error.__cause__ is None and not hasattr(error, "__notes__")
    assert raised(probe.invalid_path).args == ("path contains invalid UTF-8 characters",)

    data = b"\x00abc\xff"
    reversed_bytes = probe.reversed_bytes(data)
    assert type(reversed_bytes) is bytes and reversed_bytes == data[::-1]
    assert data == b"\x00abc\xff"
    assert probe.reversed_bytes.__doc__ == "Returns the bytes reversed.\nSecond line."
    assert probe.reversed_bytes.__text_signature__ == "(data)"


def test_internal_faults_raise_panic_exception(probe):
    with pytest.raises(BaseException) as caught:
        try:
            probe.fault("index 3 out of range")
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as Exception")
    panic = caught.value
    panic_type = type(panic)
    assert panic_type.__name__ == "PanicException"
    assert issubclass(panic_type, BaseException) and not issubclass(panic_type, Exception)
    assert panic.args == ("index 3 out of range",)

    # One type for the whole process, whatever the fault.
    silent = raised(probe.silent_fault)
    assert type(silent) is panic_type and len(silent.args) == 1 and silent.args[0]
    assert type(raised(probe.wrong_accessor, "x")) is panic_type

    # Everything keeps working afterwards.
    assert probe.four_texts("a", "b", "c", "d")
    assert native.build_info_json() == BUILD_INFO
