#!/usr/bin/env python3
"""Runs a short selection of run() calls under valgrind memcheck: every path
of tests/call_paths.py, a few rounds each, with the interpreter's own
allocator switched to malloc so that valgrind sees every block. Fails when
an error or a definitely lost block has a frame in the module's shared
object; what the interpreter itself leaves behind is only counted.

Usage: valgrind_check.py PYTHON [ROUNDS]
PYTHON must have mnemoweaver_engine_native installed.
"""

import os
import pathlib
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

TESTS = pathlib.Path(__file__).resolve().parents[1] / "tests"
MODULE = "mnemoweaver_engine_native"

SELECTION = """
import sys
sys.path.insert(0, {tests!r})
import {module}
from call_paths import CALLS
for _ in range({rounds}):
    for call in CALLS:
        call()
print({module}.__file__)
"""


def leaked_bytes(error):
    xwhat = error.find("xwhat")
    return int(xwhat.findtext("leakedbytes", "0")) if xwhat is not None else 0


def describe(error):
    what = error.findtext("what") or error.findtext("xwhat/text") or ""
    frames = [f"{f.findtext('fn', '?')} ({pathlib.Path(f.findtext('obj', '?')).name})"
              for f in error.iter("frame")]
    return f"{error.findtext('kind')}: {what}\n      " + "\n      ".join(frames[:12])


def main():
    python = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    with tempfile.TemporaryDirectory() as tmp:
        report = pathlib.Path(tmp) / "memcheck.xml"
        script = SELECTION.format(tests=str(TESTS), module=MODULE, rounds=rounds)
        done = subprocess.run(
            ["valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
             "--errors-for-leak-kinds=definite", "--num-callers=40", "--xml=yes",
             f"--xml-file={report}", python, "-c", script],
            env={**os.environ, "PYTHONMALLOC": "malloc"}, capture_output=True, text=True,
        )
        if done.returncode != 0:
            print(done.stdout, done.stderr, sep="\n", file=sys.stderr)
            sys.exit(f"valgrind: the selection failed with status {done.returncode}")
        errors = ET.parse(report).getroot().findall("error")

    module_file = done.stdout.strip().splitlines()[-1]
    in_module = [e for e in errors
                 if any(f.findtext("obj") == module_file for f in e.iter("frame"))]
    elsewhere = [e for e in errors if e not in in_module]
    print(f"valgrind: {rounds} rounds of the call selection; "
          f"{len(in_module)} errors with a frame in the module "
          f"({sum(map(leaked_bytes, in_module))} bytes definitely lost); "
          f"{len(elsewhere)} in the interpreter alone "
          f"({sum(map(leaked_bytes, elsewhere))} bytes definitely lost)")
    for error in in_module:
        print("  " + describe(error), file=sys.stderr)
    sys.exit(1 if in_module else 0)


if __name__ == "__main__":
    main()
