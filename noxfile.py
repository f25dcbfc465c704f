"""The steps of the test suite as nox sessions, which tools/test.sh runs in
the order of its STEPS (`nox -l` lists them):

    wheel        the sdist and, from it, the manylinux x86_64 and aarch64
                 wheels (tools/build_wheels.sh), and the x86_64 wheel's checks
    tests-3.1x   the x86_64 wheel in a fresh environment of that CPython: the
                 Python tests and the README's examples
    aarch64      the aarch64 wheel's Python tests and the native unit tests,
                 under qemu-user with an emulated aarch64 CPython 3.11
    windows      the native unit tests built by MinGW-w64, under wine
    platforms    x86-64, x86-64 with every portable form, and aarch64 answer
                 24,000 payloads byte for byte alike
    native       the native unit tests (with SSE2, without SIMD, with every
                 portable form), then fuzzing, the sanitized corpus replay
                 and allocation failures, and valgrind

Every session installs what it uses (CMake and Ninja among it) into its own
environment under build/, or through the tools/ script it runs, and writes
only under build/ and dist/.
"""

from __future__ import annotations

import logging
import pathlib

import nox

ROOT = pathlib.Path(__file__).resolve().parent
BUILD = ROOT / "build" / "test"
DIST = ROOT / "dist"
PYTHONS = ["3.11", "3.12", "3.13"]
BUILD_TOOLS = ["cmake>=3.26", "ninja"]

nox.options.default_venv_backend = "venv"
nox.options.error_on_external_run = True
# The suite makes its environments with venv and pip; nox's note on every
# session that it found no uv is not news.
logging.getLogger("nox").addFilter(lambda record: record.getMessage() != "uv binary not found.")


def built_wheel(session: nox.Session) -> pathlib.Path:
    wheels = sorted(DIST.glob("*-cp311-abi3-manylinux*_x86_64.whl"))
    if len(wheels) != 1:
        session.error(f"expected one manylinux x86_64 wheel in {DIST} (run the wheel session)")
    return wheels[0]


@nox.session(python="3.11")
def wheel(session: nox.Session) -> None:
    """Builds the sdist and, from it, the manylinux wheels (each audited for
    the stable ABI by the script); checks the x86_64 wheel's contents
    (pyproject.toml's [tool.check-wheel-contents])."""
    session.install("check-wheel-contents", *BUILD_TOOLS)
    session.run("bash", str(ROOT / "tools" / "build_wheels.sh"), external=True)
    wheel = built_wheel(session)
    session.log(f"built {wheel.name}")
    session.run("check-wheel-contents", str(wheel))


def run_script(session: nox.Session, script: str, *args: str) -> None:
    session.install(*BUILD_TOOLS)
    session.run("bash", str(ROOT / "tools" / script), *args, external=True)


@nox.session(python="3.11")
def aarch64(session: nox.Session) -> None:
    """The aarch64 wheel and the native unit tests under qemu-user."""
    run_script(session, "test_wheels.sh", "aarch64")
    run_script(session, "cross_test.sh", "aarch64", "native")


@nox.session(python="3.11")
def windows(session: nox.Session) -> None:
    """The C++ core and its native unit tests built for Windows, under wine."""
    run_script(session, "cross_test.sh", "windows")


@nox.session(python="3.11")
def platforms(session: nox.Session) -> None:
    """The same answers, byte for byte, on every build and processor here."""
    run_script(session, "compare_platforms.sh")


@nox.session(python=PYTHONS)
def tests(session: nox.Session) -> None:
    """The Python tests and the README, against the installed wheel."""
    session.install(f"{built_wheel(session)}[test]")
    session.run("python", "-m", "pytest", "-q", "-rs", "-p", "no:cacheprovider", *session.posargs)


@nox.session(python="3.11")
def native(session: nox.Session) -> None:
    """The C++ unit tests, then tools/native_checks.sh with this environment's
    interpreter, which has the module and pytest."""
    session.install(*BUILD_TOOLS, f"{built_wheel(session)}[test]")
    for name, options in (
        ("native", []),
        ("native-no-simd", ["-DMNEMO_NO_SIMD=ON"]),
        ("native-portable", ["-DMNEMO_PORTABLE=ON"]),
    ):
        build = BUILD / name
        session.run(
            "cmake", "--fresh", "-S", str(ROOT), "-B", str(build), "-DMNEMO_PYTHON_MODULE=OFF",
            "-DMNEMO_BUILD_TESTS=ON", *options, silent=True,
        )  # fmt: skip
        session.run("cmake", "--build", str(build), silent=True)
        # CTest runs each group of cases as a test of its own; its whole
        # output shows only on failure, a line per group otherwise.
        output = session.run("ctest", "--test-dir", str(build), "--output-on-failure", silent=True)
        for line in str(output).splitlines():
            if " Test #" in line:
                session.log(f"{name}: {line.split(': ', 1)[1]}")
    python = pathlib.Path(session.virtualenv.location, "bin", "python")
    session.run("bash", str(ROOT / "tools" / "native_checks.sh"), str(python), external=True)
