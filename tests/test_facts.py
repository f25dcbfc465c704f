"""Each name the engine has one home for is spelt alike wherever it must be
repeated: the commands (the module's table, the stub's Literal, the
README) and the fields of the records (the C++ layouts, the README, the
stub's docstring), all as tests/engine_model.py has them."""

import ast
import pathlib
import re

import pytest

from conftest import run_error
from engine_model import COMMANDS, READS, RETENTION_INPUT, TIER_INPUT

ROOT = pathlib.Path(__file__).resolve().parents[1]
README = (ROOT / "README.md").read_text(encoding="utf-8")
STUB = (ROOT / "src" / "module" / "mnemoweaver_engine_native.pyi").read_text(encoding="utf-8")


def test_the_module_knows_the_commands():
    table = (ROOT / "src" / "commands" / "command_table.hpp").read_text(encoding="utf-8")
    entries = re.findall(r'^\s*\{"([^"]+)", run_\w+, PayloadShape::(\w+), record_info\(scoring::k(\w+)Layout\)',
                         table, re.M)
    assert sorted(entries) == sorted(
        (name, "items" if reads.batch else "record", reads.record.type_name) for name, reads in READS.items())
    for command in COMMANDS:
        assert not run_error(command, "null").startswith("unknown command")


def test_the_stub_lists_the_commands():
    (alias,) = (node for node in ast.parse(STUB).body
                if isinstance(node, ast.AnnAssign) and node.target.id == "_Command")
    assert sorted(ast.literal_eval(e) for e in alias.value.slice.elts) == sorted(COMMANDS)


@pytest.mark.parametrize("where, names", [
    (r"a command name, (.*?)\s\(exact", r'`"([a-z-]+)"`'),  # Calling the engine
    (r"\(#calling-the-engine\): (.*?)\n- ", r"\[([a-z-]+)\]\(#"),  # the contents
    (r"\n## Calling the engine\n(.*?)\n## ", r"^### ([a-z-]+)$"),  # the headings
], ids=["calling-the-engine", "contents", "headings"])
def test_the_readme_lists_the_commands(where, names):
    listed = re.findall(names, re.search(where, README, re.S).group(1), re.M)
    assert sorted(name for name in listed if name != "items") == sorted(COMMANDS)


@pytest.mark.parametrize("record, header", [
    (TIER_INPUT, "tier_input.hpp"),
    (RETENTION_INPUT, "retention_input.hpp"),
])
def test_the_layouts_have_the_fields(record, header):
    text = (ROOT / "src" / "scoring" / header).read_text(encoding="utf-8")
    assert re.search(r'RecordLayout<\w+, (\d+)> \w+\{\s*"(\w+)"', text).groups() == (
        str(len(record.fields)), record.type_name)
    fields = re.findall(r'\{"(\w+)", json::FieldType::(f64|boolean), (true|false)', text)
    assert [(name, kind, required == "true") for name, kind, required in fields] == [
        tuple(f) for f in record.fields]


def test_the_readme_and_the_stub_describe_the_fields():
    rows = re.findall(r"^\| (\d) \| `(\w+)` \| (number|boolean) \| (yes|no)", README, re.M)
    assert [(int(i), name, kind == "number", required == "yes") for i, name, kind, required in rows] == [
        (i, f.name, f.kind == "f64", f.required) for i, f in enumerate(TIER_INPUT.fields)]
    for record in (TIER_INPUT, RETENTION_INPUT):
        for count in re.findall(rf"{record.struct()} with (\d+) elements", README):
            assert int(count) == len(record.fields)
    docstring = ast.get_docstring(next(node for node in ast.parse(STUB).body
                                       if isinstance(node, ast.FunctionDef)))
    keys = re.search(r"objects\s+with the keys (.*?), or arrays", docstring, re.S).group(1)
    assert [k for k in re.split(r"[\s,]+", keys) if k not in ("and", "optionally")] == list(
        TIER_INPUT.names)
