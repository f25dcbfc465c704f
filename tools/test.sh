#!/usr/bin/env bash
# The whole test suite: the nox sessions of noxfile.py, in the order of STEPS.
#
#   bash tools/test.sh             every step (CI runs this)
#   bash tools/test.sh --quick     the x86_64 wheel and the Python tests on
#                                  3.11 only: no root, no cross tools
#   bash tools/test.sh SESSION...  the sessions named (see `nox -l`)
#
# nox itself lives in build/test/tools, and each session installs what it
# uses (CMake and Ninja among it) into its own environment, so nothing is
# taken from PATH but the CPython interpreters. A CPython 3.11-3.13 that is
# not installed is skipped with a warning, unless MNEMO_REQUIRE_ALL_PYTHONS=1
# (as in CI), which makes it a failure. Everything made goes under build/
# and dist/; what the cross steps install system-wide is said first, before
# anything changes. The run ends with each session's time and a list of the
# checks it did not do (skipped sessions and tests, missing tools), from
# build/test/not-done.txt, to which each step appends.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/test
TOOLS=$BUILD/tools

# The steps, in order. A new step is a session in noxfile.py named here.
STEPS=(wheel tests-3.11 tests-3.12 tests-3.13 aarch64 windows platforms native)
QUICK_STEPS=(wheel tests-3.11)
case "${1:-}" in
    "") ;;
    --quick) STEPS=("${QUICK_STEPS[@]}"); export MNEMO_WHEEL_ARCHS=x86_64 ;;
    -*) echo "usage: bash tools/test.sh [--quick | SESSION...]" >&2; exit 2 ;;
    *) STEPS=("$@") ;;
esac

# pip's notices about this machine's own configuration are not the suite's.
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_WARN_SCRIPT_LOCATION=1
# Caches of the tools run by the tests stay out of the tracked folders.
export PYTHONPYCACHEPREFIX=$BUILD/pycache HYPOTHESIS_STORAGE_DIRECTORY=$BUILD/hypothesis
# CMake builds with Ninja, at most two jobs (the machine has two cores).
export CMAKE_GENERATOR=Ninja CMAKE_BUILD_PARALLEL_LEVEL=2

find_python() {  # the directory of python3.MINOR, from pyenv or PATH
    local minor=$1 candidate
    if command -v pyenv >/dev/null 2>&1; then
        for candidate in "$(pyenv root)"/versions/3."$minor".*/bin/python3."$minor"; do
            [ -x "$candidate" ] && { dirname "$candidate"; return 0; }
        done
    fi
    for candidate in "python3.$minor" "/usr/bin/python3.$minor" "/usr/local/bin/python3.$minor"; do
        if "$candidate" -c 'import sys' >/dev/null 2>&1; then
            dirname "$(command -v "$candidate")"
            return 0
        fi
    done
    return 1
}

# nox finds each interpreter as python3.MINOR on PATH.
for minor in 13 12 11; do
    if dir=$(find_python "$minor"); then
        PATH=$dir:$PATH
    fi
done
export PATH

source tools/system_packages.sh
# What this run changes outside the checkout, said before anything changes.
announce() {
    local aarch64=0 windows=0 step wanted=() missing made=build/
    for step in "${STEPS[@]}"; do
        case "$step" in
            wheel)
                made="build/ and dist/ (emptied, then the sdist and wheels)"
                [ "${MNEMO_WHEEL_ARCHS:-x86_64 aarch64}" = x86_64 ] || aarch64=1
                ;;
            aarch64 | platforms) aarch64=1 ;;
            windows) windows=1 ;;
        esac
    done
    [ "$aarch64" = 1 ] && wanted+=("${AARCH64_PACKAGES[@]}")
    [ "$windows" = 1 ] && wanted+=("${WINDOWS_PACKAGES[@]}")
    echo "== what this run changes on the machine" \
        "(CONTRIBUTING.md's \"What the test command installs\" tells how to undo it)"
    echo "   in the checkout: $made; build/ is about 1.4 GB after a whole run"
    if [ ${#wanted[@]} -eq 0 ]; then
        echo "   nothing outside the checkout (no root needed)," \
            "but for pip's and nox's caches and pytest's temporary folders"
        return 0
    fi
    if [ "$aarch64" = 1 ]; then
        if arm64_added; then
            echo "   dpkg's arm64 architecture: added before"
        else
            echo "   dpkg's arm64 architecture: added now (dpkg --add-architecture arm64)"
        fi
    fi
    missing=$(missing_packages "${wanted[@]}" | tr '\n' ' ')
    echo "   Debian packages: ${wanted[*]}"
    if [ -z "$missing" ]; then
        echo "   all of them installed before"
    else
        echo "   installed now with apt-get update and apt-get install, as root: $missing"
        [ "$(id -u)" = 0 ] || echo "   (through sudo)"
        command -v apt-get >/dev/null \
            || echo "   but there is no apt-get here: those sessions will fail (--quick needs none)"
    fi
    if [ "$windows" = 1 ]; then
        if [ -d "$WINE_PREFIX" ]; then
            echo "   wine's prefix: $WINE_PREFIX, made before ($(du -sh "$WINE_PREFIX" | cut -f1))"
        else
            echo "   wine's prefix: $WINE_PREFIX, made now (about 700 MB)"
        fi
        echo "   wine's menu entries under ~/.config/menus and ~/.local/share"
    fi
}
announce

echo "== nox in $TOOLS"
if [ ! -x "$TOOLS/bin/python" ]; then
    builder=python3
    dir=$(find_python 11) && builder=$dir/python3.11
    "$builder" -m venv "$TOOLS"
fi
"$TOOLS/bin/python" -m pip install -qq "nox>=2024.10.9"

missing=--no-error-on-missing-interpreters
[ "${MNEMO_REQUIRE_ALL_PYTHONS:-0}" = 1 ] && missing=--error-on-missing-interpreters
# Each step appends what it leaves out to this file, as "SESSION: what and why".
export MNEMO_NOT_DONE=$BUILD/not-done.txt
: >"$MNEMO_NOT_DONE"
start=$SECONDS
status=0
"$TOOLS/bin/nox" --noxfile "$ROOT/noxfile.py" --envdir "$BUILD/nox" --download-python never \
    "$missing" --report "$BUILD/report.json" --sessions "${STEPS[@]}" || status=$?
took="$(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"

# Each session's result and time, from nox's report, then what was not done.
"$TOOLS/bin/python" - "$BUILD/report.json" "$MNEMO_NOT_DONE" "$status" "$took" <<'PY'
import json, sys
report, not_done, status, took = sys.argv[1:]
try:
    with open(report, encoding="utf-8") as f:
        sessions = json.load(f)["sessions"]
except (OSError, ValueError, KeyError):
    sessions = []
print("== sessions")
lines = []
for s in sessions:
    name = (s.get("signatures") or [s["name"]])[0]  # tests-3.11 rather than tests
    seconds = round(s.get("duration") or 0)
    time = f"{seconds // 60:2} min {seconds % 60:2} s" if s["result"] != "skipped" else ""
    print(f"   {name:<12} {s['result']:<8} {time}")
    if s["result"] == "skipped":
        lines.append(f"{name}: session skipped: {(s.get('reason') or '').rstrip('.')}")
with open(not_done, encoding="utf-8") as f:
    lines += [line.rstrip("\n") for line in f if line.strip()]
print(f"== not done in this run: {len(lines) or 'nothing'}")
for line in lines:
    print(f"   {line}")
outcome = "all tests passed" if status == "0" else "tests FAILED (see the sessions above)"
print(f"== {outcome} in {took}" + (f"; {len(lines)} not done (listed above)" if lines else ""))
PY
exit "$status"
