"""The type stub installed with the module: mypy finds it, it matches the
module at run time, every public name of it imports, the examples and the
README's Python blocks pass `mypy --strict` with it, and it turns away what
`run` would refuse."""

import ast
import importlib.util
import pathlib
import subprocess
import sys

import pytest

from readme_blocks import scripts

mypy_api = pytest.importorskip("mypy.api", reason="no mypy: the test extra has it")

ROOT = pathlib.Path(__file__).resolve().parents[1]

MISUSE = """\
import mnemoweaver_engine_native as engine
engine.run("Tier", "{}")
count: int = engine.run("score", "[0, 0, 0, 0]")
engine.run("tier", b"{}")
engine.run("tier-batch", payload="{}")
engine.PanicException
"""

EXPECTED = [
    ("2", "arg-type"),  # not one of the three commands
    ("3", "assignment"),  # the response is a str
    ("4", "arg-type"),  # the payload is a str, not bytes
    ("5", "call-arg"),  # the keyword is payload_json
    ("6", "attr-defined"),  # not an attribute of the module
]


def test_examples_and_readme_pass_strict_and_the_stub_rejects_misuse(tmp_path):
    examples = sorted((ROOT / "examples").glob("*.py"))
    if importlib.util.find_spec("distributed") is None:
        examples = [path for path in examples if path.name != "dask_tier.py"]
    for block in scripts():  # the README's Python blocks, as a user copies them
        examples.append(tmp_path / f"readme_line{block.line}.py")
        examples[-1].write_text(block.code)
    misuse = tmp_path / "misuse.py"
    misuse.write_text(MISUSE)
    out, err, status = mypy_api.run(
        [
            "--strict",
            "--config-file",
            str(ROOT / "pyproject.toml"),
            "--cache-dir",
            str(tmp_path / "cache"),
            "--show-error-codes",
            "--no-pretty",
            *map(str, examples),
            str(misuse),
        ]
    )
    errors = [line for line in out.splitlines() if ": error: " in line]
    found = [(line.split(":")[1], line.rsplit("[", 1)[1].rstrip("]")) for line in errors]
    assert all(line.startswith(str(misuse)) for line in errors), out
    assert found == EXPECTED, out
    assert status == 1, err


def test_every_public_name_of_the_stub_imports(tmp_path):
    stub = ROOT / "src" / "module" / "mnemoweaver_engine_native.pyi"
    tree = ast.parse(stub.read_text(encoding="utf-8"))
    names = set()
    for node in tree.body:
        if isinstance(node, ast.FunctionDef | ast.ClassDef):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign | ast.Assign):
            targets = node.targets if isinstance(node, ast.Assign) else [node.target]
            names.update(t.id for t in targets if isinstance(t, ast.Name))
    public = sorted(name for name in names if not name.startswith("_"))
    assert "run" in public
    script = tmp_path / "user.py"
    script.write_text(f"from mnemoweaver_engine_native import {', '.join(public)}\n")
    out, _, status = mypy_api.run(["--strict", "--cache-dir", str(tmp_path / "cache"), str(script)])
    assert status == 0, out
    done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr


def test_stub_matches_the_module_at_run_time(tmp_path):
    done = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "mnemoweaver_engine_native"],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        check=False,
    )
    assert done.returncode == 0, done.stdout + done.stderr
