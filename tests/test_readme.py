"""The README is the user's manual: its examples must be what the engine does."""

import doctest
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
README = ROOT / "README.md"


def test_readme_examples_run_as_shown():
    result = doctest.testfile(str(README), module_relative=False, report=True)
    assert result.attempted > 20
    assert result.failed == 0


def test_readme_shows_the_real_output_of_the_main_job():
    text = README.read_text(encoding="utf-8")
    shown = re.search(
        r"<!-- output of: python3 examples/tier_store.py -->\n```text\n(.*?)```", text, re.S
    )
    assert shown, "the README lost the output block of examples/tier_store.py"
    done = subprocess.run(
        [sys.executable, str(ROOT / "examples" / "tier_store.py")],
        capture_output=True,
        text=True,
        check=True,
    )
    assert done.stdout == shown.group(1)


def test_readme_opens_with_the_two_commands():
    lines = README.read_text(encoding="utf-8").splitlines()
    assert lines[2:6] == [
        "```sh",
        "python3 -m pip install . && python3 examples/tier_store.py",
        "bash tools/test.sh",
        "```",
    ]
