"""The README is the user's manual: every block in it runs as shown. Its
`>>>` examples run as doctests (pytest's --doctest-glob, see pyproject.toml);
here its other Python and shell blocks are run, from a checkout, and what
they print is compared with the output the README shows after them."""

import os
import re
import subprocess
import sys

import pytest

from readme_blocks import GUIDES, README, code_blocks, scripts

ROOT = README.parent
sys.path.insert(0, str(ROOT / "examples"))

import memstore  # noqa: E402

RUNNABLE = [(path.name, b) for path in GUIDES for b in code_blocks(path=path)
            if b.run and b.language in ("python", "sh") and ">>>" not in b.code]


def same_output(shown, printed):
    """Equal but for the seconds a run took, and its cost per item and the
    engine's share of it."""
    timings = [(re.compile(r" in [0-9.]+ s$", re.M), " in N s"),
               (re.compile(r"^[0-9,]+ ns per item, the engine's share [0-9.]+%$", re.M), "TIMES")]
    for pattern, fixed in timings:
        shown, printed = pattern.sub(fixed, shown), pattern.sub(fixed, printed)
    return shown == printed


@pytest.fixture(scope="module")
def checkout(tmp_path_factory):
    """A folder where the README's shell commands run as from a checkout:
    `python3` is this interpreter, and `store/` holds shards of one's own."""
    folder = tmp_path_factory.mktemp("checkout")
    (folder / "examples").symlink_to(ROOT / "examples")
    (folder / "bin").mkdir()
    python3 = folder / "bin" / "python3"
    python3.write_text(f'#!/bin/sh\nexec "{sys.executable}" "$@"\n')
    python3.chmod(0o755)
    (folder / "store").mkdir()
    for args in memstore.shard_plan(folder / "store", 2000, 2, seed=3):
        memstore.write_shard(*args)
    return folder


@pytest.mark.parametrize("guide, block", RUNNABLE, ids=[f"{g}-line{b.line}" for g, b in RUNNABLE])
def test_block_runs_as_shown(guide, block, checkout, tmp_path):
    if block.language == "python":
        script = tmp_path / "block.py"
        script.write_text(block.code)
        command, cwd = [sys.executable, str(script)], ROOT
    else:
        command, cwd = ["bash", "-euo", "pipefail", "-c", block.code], checkout
    env = {**os.environ, "PATH": f"{checkout / 'bin'}{os.pathsep}{os.environ['PATH']}"}
    done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    if block.output is not None:
        assert same_output(block.output, done.stdout), done.stdout


def test_every_block_is_run_or_marked():
    blocks = code_blocks()
    assert len([b for b in blocks if not b.run]) <= 3  # the few that install or reach a cluster
    assert len(scripts()) >= 3
    assert sum(">>>" in b.code for b in blocks) >= 4
    for path in GUIDES:
        assert all(b.language in ("python", "sh", "text") for b in code_blocks(path=path))


def test_readme_opens_with_a_command_that_makes_its_own_environment():
    lines = README.read_text(encoding="utf-8").splitlines()
    assert lines[4].startswith("python3 -m venv .venv && . .venv/bin/activate && python3 -m pip install .")
    assert "examples/sqlite_store.py" in lines[5]
