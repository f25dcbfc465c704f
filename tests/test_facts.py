"""Each name the engine has one home for is spelt alike wherever it must be
repeated: the commands (the module's table, the stub's Literal and
docstring, the README's text and Literal), the fields of the records (the
C++ layouts, the README, the stub's docstring), the messages of a payload
that is not JSON and the tier rules (the C++ and the README), all as
tests/engine_model.py has them; and the README's version is the package's."""

import ast
import json
import pathlib
import re
import tomllib

import pytest

import mnemoweaver_engine_native as engine
from conftest import run_error
from engine_model import COMMANDS, READS, RETENTION_INPUT, RULES, SYNTAX_REASONS, TIER_INPUT

ROOT = pathlib.Path(__file__).resolve().parents[1]
README = (ROOT / "README.md").read_text(encoding="utf-8")
PROSE = re.sub(r"\s*\n\s*", " ", README)  # lines joined, as Markdown reads them
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
    (r"\n## Calling the engine\n(.*?)\n## ", r"^### ([a-z-]+)$"),  # the headings
], ids=["calling-the-engine", "headings"])
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
        for count in re.findall(rf"{record.struct()} with (\d+) elements", PROSE):
            assert int(count) == len(record.fields)
    docstring = ast.get_docstring(next(node for node in ast.parse(STUB).body
                                       if isinstance(node, ast.FunctionDef)))
    keys = re.search(r"objects\s+with the keys (.*?), or arrays", docstring, re.S).group(1)
    assert [k for k in re.split(r"[\s,]+", keys) if k not in ("and", "optionally")] == list(
        TIER_INPUT.names)


def code_spans(text):
    return [span.strip() for _, span in re.findall(r"(`+)(.+?)\1(?!`)", text)]


def test_the_engine_and_the_readme_give_the_syntax_reasons():
    source = (ROOT / "src" / "json" / "error.cpp").read_text(encoding="utf-8")
    reasons = [r.replace("\\\\", "\\") for r in re.findall(r'return "([^"]+)";', source)]
    assert sorted(reasons) == sorted(SYNTAX_REASONS)
    listed = re.search(r"Reasons: (.*?)\.(?: |$)", PROSE).group(1)
    assert [span for span in code_spans(listed) if span not in ("null", "true", "false")] == list(
        SYNTAX_REASONS)


def test_the_readme_gives_the_rules_in_order():
    rows = re.findall(r"^\| (\d) \| .* \| `(\w+)` \| `(\w+)` \|$", README, re.M)
    assert [(int(rule), action, tier) for rule, action, tier in rows] == [
        (rule, *pair) for rule, pair in enumerate(RULES)]


def test_the_readme_writes_the_commands_literal():
    literals = re.findall(r'Literal\[("[^\]]*)\]', README)
    assert literals
    assert all(ast.literal_eval(f"({literal},)") == COMMANDS for literal in literals)


def test_the_stub_docstring_names_each_command_and_its_answer():
    docstring = ast.get_docstring(next(node for node in ast.parse(STUB).body
                                       if isinstance(node, ast.FunctionDef)))
    answers = dict(re.findall(r'"([a-z-]+)" (?:answers|takes) ``(\{[^`]*\})``', docstring))
    assert sorted(answers) == sorted(COMMANDS)
    for command, payload in (("score", "[0,0,0,0]"), ("tier", "[0,0,0,0]")):
        result = json.loads(engine.run(command, payload))["result"]
        assert re.findall(r'"(\w+)":', answers[command]) == list(result)
    assert re.search(r"# The (\w+) commands", STUB).group(1) == "three" and len(COMMANDS) == 3


def test_the_readme_gives_the_version():
    version = tomllib.loads((ROOT / "pyproject.toml").read_text(encoding="utf-8"))["project"]["version"]
    assert re.search(r"\bVersion (\S+),", README).group(1) == version
