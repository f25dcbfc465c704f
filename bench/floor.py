"""Builds and loads the floor module: a native no-op behind the same boundary
as the engine. It is compiled on first use into bench/build/ (git-ignored)
and never ships in the wheel."""

import importlib.machinery
import importlib.util
import pathlib
import shutil
import subprocess
import sysconfig

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE / "floor_module.c"
BUILD = HERE / "build"
NAME = "mnemo_bench_floor"


def _compile(target):
    compiler = shutil.which("cc") or shutil.which("gcc") or shutil.which("g++")
    if compiler is None:
        raise RuntimeError("no C compiler found to build the floor module")
    include = sysconfig.get_paths()["include"]
    BUILD.mkdir(exist_ok=True)
    subprocess.run(
        [compiler, "-O2", "-shared", "-fPIC", "-fvisibility=hidden", f"-I{include}",
         str(SOURCE), "-o", str(target)],
        check=True,
    )


def load():
    """The floor module, compiled if its source is newer than the build."""
    target = BUILD / f"{NAME}.abi3.so"
    if not target.exists() or target.stat().st_mtime < SOURCE.stat().st_mtime:
        _compile(target)
    loader = importlib.machinery.ExtensionFileLoader(NAME, str(target))
    found = importlib.util.spec_from_file_location(NAME, target, loader=loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module
