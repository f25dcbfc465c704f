#!/usr/bin/env bash
# Fuzzes both libFuzzer harnesses side by side, with ASan and UBSan, for the
# time given, then prints for each its executions, the inputs it kept, its
# corpus size, its peak resident memory and any finding.
#
#   bash tools/fuzz.sh MINUTES       (bash tools/fuzz.sh --seconds N)
#
# Builds the harnesses (clang) in build/hardening/fuzz. The corpora are
# build/hardening/corpus-json and build/hardening/corpus-command (MNEMO_CORPUS
# names another folder to hold both, as the fuzzing workflow does), and grow
# from run to run. The seeds are build/hardening/seeds, as
# tools/native_checks.sh makes them from the Python tests' calls; where they
# are missing they are made without those calls. A finding is written to
# build/hardening/findings/ (MNEMO_FINDINGS), and fails the run once both
# harnesses are done; fuzz/README.md tells how to replay it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/hardening
case "${1:-}" in
    --seconds) SECONDS_EACH=${2:?usage: tools/fuzz.sh MINUTES | --seconds N} ;;
    [0-9]*) SECONDS_EACH=$(($1 * 60)) ;;
    *) echo "usage: tools/fuzz.sh MINUTES | --seconds N" >&2; exit 2 ;;
esac
CORPUS=${MNEMO_CORPUS:-$WORK}
FINDINGS=${MNEMO_FINDINGS:-$WORK/findings}
SEEDS=$WORK/seeds
SUITE=${MNEMO_JSON_SUITE:-$ROOT/../shared/jsontestsuite}/test_parsing
mkdir -p "$WORK" "$FINDINGS" "$CORPUS/corpus-json" "$CORPUS/corpus-command"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

if [ ! -s "$SEEDS/json.dict" ]; then
    suite_args=()
    [ -d "$SUITE" ] && suite_args=(--suite "$SUITE")
    python3 fuzz/make_seeds.py --out "$SEEDS" "${suite_args[@]}"
fi

cmake -S "$ROOT" -B "$WORK/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DMNEMO_PYTHON_MODULE=OFF -DMNEMO_FUZZ=ON >/dev/null
cmake --build "$WORK/fuzz" >/dev/null

echo "== fuzz_json and fuzz_command side by side, $SECONDS_EACH s each"
pids=()
for harness in json command; do
    # Only libFuzzer's own findings count: it leaves a crash, leak, oom or
    # timeout file behind and fails.
    "$WORK/fuzz/fuzz_$harness" -max_total_time="$SECONDS_EACH" -dict="$SEEDS/json.dict" \
        -max_len=16384 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$FINDINGS/$harness-" \
        "$CORPUS/corpus-$harness" "$SEEDS/$harness" >"$WORK/fuzz_$harness.log" 2>&1 &
    pids+=($!)
done
failed=()
for i in 0 1; do
    harness=$([ "$i" = 0 ] && echo json || echo command)
    log=$WORK/fuzz_$harness.log
    verdict="no finding"
    if ! wait "${pids[$i]}"; then
        tail -n 60 "$log" >&2
        verdict="A FINDING: $(cd "$FINDINGS" && echo "$harness"-*)"
        failed+=("$harness")
    fi
    stat() { sed -n "s/^stat::$1: *//p" "$log"; }
    echo "   fuzz_$harness: $(stat number_of_executed_units) executions," \
         "$(stat new_units_added) new inputs kept, $(find "$CORPUS/corpus-$harness" -type f | wc -l)" \
         "in the corpus, peak resident $(stat peak_rss_mb) MB, $verdict"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found a fault in ${failed[*]}; the inputs are in $FINDINGS" >&2
    exit 1
fi
