"""The steps of the test suite as nox sessions, which tools/test.sh runs in
the order of its STEPS (`nox -l` lists them):

    wheel        the sdist, the cp311-abi3 wheel built from it, and its checks
    tests-3.1x   the wheel in a fresh environment of that CPython: the Python
                 tests and the README's examples
    native       the native unit tests (with and without SIMD), then fuzzing,
                 the sanitized corpus replay and valgrind

Every session installs what it uses (CMake and Ninja among it) into its own
environment under build/test/nox and writes only under build/.
"""

from __future__ import annotations

import logging
import pathlib
import shutil

import nox

ROOT = pathlib.Path(__file__).resolve().parent
BUILD = ROOT / "build" / "test"
DIST = BUILD / "dist"
PYTHONS = ["3.11", "3.12", "3.13"]
BUILD_TOOLS = ["cmake>=3.26", "ninja"]

nox.options.default_venv_backend = "venv"
nox.options.error_on_external_run = True
# The suite makes its environments with venv and pip; nox's note on every
# session that it found no uv is not news.
logging.getLogger("nox").addFilter(lambda record: record.getMessage() != "uv binary not found.")


def built_wheel(session: nox.Session) -> pathlib.Path:
    wheels = sorted(DIST.glob("*.whl"))
    if len(wheels) != 1 or "-cp311-abi3-" not in wheels[0].name:
        session.error(f"expected one cp311-abi3 wheel in {DIST} (run the wheel session): {wheels}")
    return wheels[0]


@nox.session(python="3.11")
def wheel(session: nox.Session) -> None:
    """Builds the sdist and, from it, the wheel; audits the wheel's ABI and
    checks its contents (pyproject.toml's [tool.check-wheel-contents])."""
    session.install("build", "abi3audit", "check-wheel-contents", *BUILD_TOOLS)
    shutil.rmtree(DIST, ignore_errors=True)
    session.run("python", "-m", "build", "--outdir", str(DIST), str(ROOT), silent=True)
    wheel = built_wheel(session)
    session.log(f"built {wheel.name}")
    session.run("abi3audit", "--strict", "--summary", str(wheel))
    session.run("check-wheel-contents", str(wheel))


@nox.session(python=PYTHONS)
def tests(session: nox.Session) -> None:
    """The Python tests and the README, against the installed wheel."""
    session.install(f"{built_wheel(session)}[test]")
    session.run("python", "-m", "pytest", "-q", "-p", "no:cacheprovider", *session.posargs)


@nox.session(python="3.11")
def native(session: nox.Session) -> None:
    """The C++ unit tests, then tools/native_checks.sh with this environment's
    interpreter, which has the module and pytest."""
    session.install(*BUILD_TOOLS, f"{built_wheel(session)}[test]")
    for name, options in (("native", []), ("native-portable", ["-DMNEMO_NO_SIMD=ON"])):
        build = BUILD / name
        session.run(
            "cmake", "--fresh", "-S", str(ROOT), "-B", str(build), "-DMNEMO_PYTHON_MODULE=OFF",
            "-DMNEMO_BUILD_TESTS=ON", *options, silent=True,
        )  # fmt: skip
        session.run("cmake", "--build", str(build), silent=True)
        session.run(str(build / "native_tests"), external=True)
    python = pathlib.Path(session.virtualenv.location, "bin", "python")
    session.run("bash", str(ROOT / "tools" / "native_checks.sh"), str(python), external=True)
