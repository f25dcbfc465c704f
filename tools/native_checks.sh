#!/usr/bin/env bash
# Hardening checks of the native code, run by tools/test.sh after the Python
# suites:
#   1. seed corpora from the calls the Python tests make (recorded through
#      PYTHON) and from a JSON conformance suite when there is one
#      (MNEMO_JSON_SUITE names its folder; by default ../shared/jsontestsuite);
#   2. the two libFuzzer harnesses (clang) side by side, MNEMO_FUZZ_SECONDS
#      each (60), through tools/fuzz.sh;
#   3. built with ASan and UBSan (default compiler): the corpus replay over
#      the seeds and everything the fuzzers kept, and the native tests'
#      group that fails each allocation of a call in turn;
#   4. valgrind memcheck of the installed module over a short selection of
#      calls.
# A sanitizer report, a violated property, a fuzzer finding or a valgrind
# error in the module fails the run. Without clang or valgrind the step is
# skipped with a warning, unless MNEMO_REQUIRE_NATIVE_TOOLS=1 (as in CI);
# what is skipped is also appended to the file MNEMO_NOT_DONE names (the
# test command's summary of what it did not do).
#
# Usage: tools/native_checks.sh PYTHON
#   PYTHON: an interpreter with the module and pytest installed.
# The fuzzers' corpora live in build/hardening/corpus-json and
# build/hardening/corpus-command, outside the tracked folders, and grow from
# run to run; fuzz/README.md tells how to fuzz for longer.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
PY=${1:?usage: tools/native_checks.sh PYTHON}
WORK=$ROOT/build/hardening
FUZZ_SECONDS=${MNEMO_FUZZ_SECONDS:-60}
SUITE=${MNEMO_JSON_SUITE:-$ROOT/../shared/jsontestsuite}/test_parsing
mkdir -p "$WORK"

# Every sanitizer report is fatal; leaks are reported at exit.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# not_done TEXT: a check this run leaves out, said now and in the summary.
not_done() {
    echo "   WARNING: $*"
    [ -z "${MNEMO_NOT_DONE:-}" ] || echo "${NOX_CURRENT_SESSION:-native}: $*" >>"$MNEMO_NOT_DONE"
}

missing_tool() {
    if [ "${MNEMO_REQUIRE_NATIVE_TOOLS:-0}" = 1 ]; then
        echo "$1 is required but not installed" >&2
        exit 1
    fi
    not_done "$2 skipped: $1 not installed (Debian: $3)"
}

elapsed() { echo "   ($((SECONDS - $1)) s)"; }

echo "== seed corpora"
start=$SECONDS
rm -rf "$WORK/seeds"
# The recording run wraps run(), so tests of the function object fail in it;
# only the recorded calls are used.
MNEMO_RECORD_CALLS=$WORK/calls.jsonl PYTHONPATH=$ROOT/fuzz MNEMO_NOT_DONE= \
    "$PY" -m pytest -q -p no:cacheprovider -p record_calls -m "not stress" tests \
    >"$WORK/record.log" 2>&1 || true
[ -s "$WORK/calls.jsonl" ] || { echo "no calls recorded; see $WORK/record.log" >&2; exit 1; }
suite_args=()
if [ -d "$SUITE" ]; then
    suite_args=(--suite "$SUITE")
else
    not_done "seeds without a JSON conformance suite: none at $SUITE" \
        "(MNEMO_JSON_SUITE names its folder)"
fi
"$PY" fuzz/make_seeds.py --out "$WORK/seeds" --calls "$WORK/calls.jsonl" "${suite_args[@]}"
elapsed $start

CORPUS=$WORK/corpus
mkdir -p "$CORPUS-json" "$CORPUS-command"
if command -v clang++ >/dev/null 2>&1; then
    start=$SECONDS
    bash tools/fuzz.sh --seconds "$FUZZ_SECONDS"
    elapsed $start
else
    missing_tool clang++ "fuzzing" "clang libclang-rt-14-dev"
fi

echo "== corpus replay and allocation failures under AddressSanitizer and UndefinedBehaviorSanitizer"
start=$SECONDS
cmake --fresh -S "$ROOT" -B "$WORK/sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMNEMO_PYTHON_MODULE=OFF -DMNEMO_SANITIZE=ON -DMNEMO_BUILD_TESTS=ON >/dev/null
cmake --build "$WORK/sanitize" --target replay_corpus native_tests >/dev/null
"$WORK/sanitize/replay_corpus" "$WORK/seeds" "$CORPUS-json" "$CORPUS-command"
"$WORK/sanitize/native_tests" --group allocation_failure
elapsed $start

if command -v valgrind >/dev/null 2>&1; then
    echo "== valgrind memcheck of the module"
    start=$SECONDS
    "$PY" tools/valgrind_check.py "$PY" 20
    elapsed $start
else
    missing_tool valgrind "the memcheck run" "valgrind"
fi
