#!/usr/bin/env bash
# Byte-for-byte comparison of the engine's answers on x86-64 and on aarch64
# (under qemu-user, tools/cross_test.sh aarch64), and of the x86-64 build
# with every portable fallback (MNEMO_PORTABLE) against the default one,
# over a fixed set of 24,000 payloads that reach every way through the
# reader and the commands (tools/platform_answers.py). It also tells, without
# failing, how many answers change on x86-64 when glibc is made to pick the
# variants of exp and log without FMA: answers agree across machines only
# where the C library's exp and log do.
#
# Usage: tools/compare_platforms.sh
#   MNEMO_X86_64_MODULE_DIR: a directory holding the x86-64 module to compare
#   (an installed wheel, say) instead of a build made here.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/compare
mkdir -p "$WORK"
# CMake from PyPI where the machine has none.
command -v cmake >/dev/null || python3 -m pip install --quiet --disable-pip-version-check cmake

build_native() {
    local dir=$WORK/$1
    shift
    if ! { cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
               -DPython_EXECUTABLE="$(command -v python3)" "$@" && cmake --build "$dir" -j2; } \
           >"$dir.log" 2>&1; then
        cat "$dir.log" >&2
        return 1
    fi
}

# answers NAME MODULE_DIR [COMMAND PREFIX...]: the answers of one build.
answers() {
    local name=$1 dir=$2 start=$SECONDS
    shift 2
    PYTHONPATH=$dir "${@:-python3}" "$ROOT/tools/platform_answers.py" answer \
        "$WORK/payloads.jsonl" "$WORK/answers-$name.txt"
    echo "   $name: $(tail -1 "$WORK/answers-$name.txt") ($((SECONDS - start)) s)"
}

# same NAME: whether NAME answered every payload as x86-64 did.
same() {
    if cmp -s "$WORK/answers-x86_64.txt" "$WORK/answers-$1.txt"; then
        echo "   $1: the same bytes as x86-64 for all $(($(wc -l <"$WORK/payloads.jsonl"))) payloads"
        return 0
    fi
    echo "$1 differs from x86-64; the first payloads that differ:" >&2
    paste -d ' ' "$WORK/answers-x86_64.txt" "$WORK/answers-$1.txt" \
        | awk '$1 != $2 { print NR }' | head -5 \
        | while read -r n; do sed -n "${n}p" "$WORK/payloads.jsonl" | cut -c1-300 >&2; done
    return 1
}

echo "== payloads"
python3 tools/platform_answers.py make "$WORK/payloads.jsonl"
echo "== answers"
x86_dir=${MNEMO_X86_64_MODULE_DIR:-}
if [ -z "$x86_dir" ]; then
    build_native x86_64
    x86_dir=$WORK/x86_64
fi
answers x86_64 "$x86_dir"
build_native x86_64-portable -DMNEMO_PORTABLE=ON
answers x86_64-portable "$WORK/x86_64-portable"
answers aarch64 "" bash "$ROOT/tools/cross_test.sh" aarch64 -- python3
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA answers x86_64-no-fma "$x86_dir"
echo "== comparison"
echo "   x86_64 with glibc's exp and log without FMA: answers that differ: $(paste -d ' ' \
    "$WORK/answers-x86_64.txt" "$WORK/answers-x86_64-no-fma.txt" | head -n -1 | awk '$1 != $2' \
    | wc -l) (not a failure)"
status=0
same x86_64-portable || status=1
same aarch64 || status=1
exit $status
