"""What the portable forms cost on x86-64: the default build (SSE2, 128-bit
products, builtins) against MNEMO_NO_SIMD and MNEMO_PORTABLE builds of the
module, timed in rounds that alternate the builds (one process per build and
round, so that a slow spell of the shared machine slows each build alike),
then callgrind instruction counts of the command layer (bench/instructions.py)
for each form.

    python3 bench/portable_cost.py [--rounds N] [--no-callgrind]
"""

import argparse
import pathlib
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "portable-cost"
FORMS = {"default": [], "no-simd": ["-DMNEMO_NO_SIMD=ON"], "portable": ["-DMNEMO_PORTABLE=ON"]}

# One round in a fresh process: the best of a few repeats of each case, in
# nanoseconds per call (single calls) or per item (the batch).
ROUND = """
import sys, timeit
sys.path.insert(0, {bench!r})
import mnemoweaver_engine_native as engine
from payloads import SCORE_EXAMPLE, TIER_EXAMPLE, batch
items = batch(10000)
cases = {{"tier": (lambda: engine.run("tier", TIER_EXAMPLE), 20000, 1),
         "score": (lambda: engine.run("score", SCORE_EXAMPLE), 20000, 1),
         "tier-batch 10,000": (lambda: engine.run("tier-batch", items), 10, 10000)}}
for name, (call, number, units) in cases.items():
    best = min(timeit.repeat(call, number=number, repeat=5))
    print(name, best / number / units * 1e9)
"""


def build(form, flags):
    directory = BUILD / form
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(directory), "-DCMAKE_BUILD_TYPE=Release",
                    f"-DPython_EXECUTABLE={sys.executable}", *flags], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(directory), "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return directory


def one_round(directory):
    code = ROUND.format(bench=str(ROOT / "bench"))
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True,
                         env={"PYTHONPATH": str(directory)}).stdout
    return {line.rsplit(" ", 1)[0]: float(line.rsplit(" ", 1)[1]) for line in out.splitlines()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--no-callgrind", action="store_true")
    args = parser.parse_args()
    dirs = {form: build(form, flags) for form, flags in FORMS.items()}
    times = {form: {} for form in FORMS}
    for _ in range(args.rounds):
        for form, directory in dirs.items():
            for case, ns in one_round(directory).items():
                times[form].setdefault(case, []).append(ns)
    print("medians of", args.rounds, "interleaved rounds, ns per call (per item for the batch):")
    for case in times["default"]:
        base = statistics.median(times["default"][case])
        row = [f"{case:18s} default {base:7.1f}"]
        for form in ("no-simd", "portable"):
            t = statistics.median(times[form][case])
            row.append(f"{form} {t:7.1f} ({(t / base - 1) * 100:+.1f} %)")
        print("  ".join(row))
    if not args.no_callgrind:
        for form, flags in FORMS.items():
            print(f"callgrind, {form}:", flush=True)
            subprocess.run([sys.executable, str(ROOT / "bench" / "instructions.py"),
                            "--build", str(BUILD / f"instructions-{form}"),
                            *[f"--cmake-arg={f}" for f in flags]], check=True)


if __name__ == "__main__":
    main()
