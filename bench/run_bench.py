"""Benchmark of the engine against its anchors, from one process.

    python bench/run_bench.py [--quick] [--no-memory] [--rounds N] [--against SO]

For each case it times, interleaved round by round, the floor (a native
no-op behind the same boundary, answering a prepared response of the same
size), the engine, orjson.loads of the same payload alone, and the same
command written in Python on orjson and on the standard json module. It
prints the medians per call and per item and the ratios, then the peak
memory of a 1,000,000-item tier-batch measured in a fresh process.

orjson is the newest the package index serves, installed by the benchmark
into a directory of its own (bench/newest_orjson.py); its version is printed.

With --against, another build of the module (the path of its shared object)
is timed in the same rounds, must answer every case byte for byte alike, and
only the two engines are compared.

The process, and with it every contender, runs pinned to one processor
(one_processor.py): the figures are per core."""

import argparse
import importlib.machinery
import importlib.util
import json
import os
import pathlib
import statistics
import subprocess
import sys
import time
from itertools import repeat

import mnemoweaver_engine_native as engine

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import floor
import newest_orjson
import one_processor
import payloads
import python_model

HERE = pathlib.Path(__file__).resolve().parent
MEMORY_ITEMS = 1_000_000


def cases(quick):
    yield "tier (one item)", "tier", payloads.TIER_EXAMPLE, 1
    yield "score", "score", payloads.SCORE_EXAMPLE, 1
    for n in (1, 100, 10_000) + (() if quick else (100_000,)):
        yield f"tier-batch {n:,}", "tier-batch", payloads.batch(n), n


def timed(fn, args, calls):
    loop = repeat(None, calls)
    start = time.perf_counter_ns()
    for _ in loop:
        fn(*args)
    return (time.perf_counter_ns() - start) / calls


def calibrate(fn, args, target_ns):
    once = timed(fn, args, 1)
    return max(1, min(200_000, int(target_ns / max(once, 1))))


def measure(contenders, args, rounds, target_ns):
    """Median time per call of each contender; rounds are interleaved so that
    a slow spell on a busy machine hits every contender alike."""
    calls = {name: calibrate(fn, args_of, target_ns) for name, (fn, args_of) in contenders.items()}
    samples = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, (fn, args_of) in contenders.items():
            samples[name].append(timed(fn, args_of, calls[name]))
    return {name: statistics.median(s) for name, s in samples.items()}


def same_result(a, b):
    """Equal up to the last bits of doubles: the engine reads numbers of more
    than 15 significant digits by its own two-rounding procedure, Python
    reads them correctly rounded, and the difference can carry into a
    retention's last digit."""
    def close(x, y):
        if isinstance(x, dict):
            return isinstance(y, dict) and x.keys() == y.keys() and all(close(x[k], y[k]) for k in x)
        if isinstance(x, list):
            return isinstance(y, list) and len(x) == len(y) and all(map(close, x, y))
        if isinstance(x, float):
            return isinstance(y, float) and abs(x - y) <= 1e-12 * max(abs(x), abs(y))
        return x == y
    return close(json.loads(a), json.loads(b))


def load_other_build(path):
    """Another build of the module, imported beside the installed one under
    another package name (its initialisation function keeps its own name)."""
    name = "other_build." + engine.__name__
    loader = importlib.machinery.ExtensionFileLoader(name, str(path))
    found = importlib.util.spec_from_file_location(name, str(path), loader=loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


def compare_builds(args):
    other = load_other_build(args.against)
    print("| case | this build | other build | this ÷ other |")
    print("|---|---:|---:|---:|")
    for label, command, payload, items in cases(args.quick):
        if engine.run(command, payload) != other.run(command, payload):
            raise SystemExit(f"{label}: the two builds answer differently")
        contenders = {"this": (engine.run, (command, payload)),
                      "other": (other.run, (command, payload))}
        rounds = args.rounds or (41 if items <= 100 else 21 if items <= 10_000 else 11)
        m = measure(contenders, (command, payload), rounds, target_ns=20e6)
        print(f"| {label} | {fmt_time(m['this'] / items)} | {fmt_time(m['other'] / items)} | "
              f"{m['this'] / m['other']:.3f} |", flush=True)


def run_cases(args, orjson):
    floor_module = floor.load()
    py_orjson = python_model.orjson_model()
    py_json = python_model.json_model()
    rows = []
    for label, command, payload, items in cases(args.quick):
        response = engine.run(command, payload)
        floor_module.prepare(response)
        for model in (py_orjson, py_json):
            if not same_result(model.run(command, payload), response):
                raise SystemExit(f"{label}: the Python model disagrees with the engine")
        contenders = {
            "floor": (floor_module.run, (command, payload)),
            "engine": (engine.run, (command, payload)),
            "orjson.loads": (orjson.loads, (payload,)),
            "py+orjson": (py_orjson.run, (command, payload)),
            "py+json": (py_json.run, (command, payload)),
        }
        rounds = args.rounds or (21 if items <= 100 else 11 if items <= 10_000 else 7)
        medians = measure(contenders, (command, payload), rounds, target_ns=20e6)
        rows.append((label, items, len(payload), len(response), medians))
        print(f"  measured {label}", file=sys.stderr)
    return rows


def fmt_time(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} µs"
    return f"{ns:.0f} ns"


def print_tables(rows):
    print("Per call (median):\n")
    print("| case | payload | floor | engine | orjson.loads | Python+orjson | Python+json | engine ÷ floor |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for label, _items, size, _, m in rows:
        print(f"| {label} | {size:,} B | {fmt_time(m['floor'])} | {fmt_time(m['engine'])} | "
              f"{fmt_time(m['orjson.loads'])} | {fmt_time(m['py+orjson'])} | {fmt_time(m['py+json'])} | "
              f"{m['engine'] / m['floor']:.2f} |")
    print("\nPer item (median), and how many times faster the engine is:\n")
    print("| case | engine | orjson.loads | Python+orjson | Python+json | loads ÷ engine | Python+orjson ÷ engine | Python+json ÷ engine |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for label, items, _, _, m in rows:
        e = m["engine"]
        print(f"| {label} | {fmt_time(e / items)} | {fmt_time(m['orjson.loads'] / items)} | "
              f"{fmt_time(m['py+orjson'] / items)} | {fmt_time(m['py+json'] / items)} | "
              f"{m['orjson.loads'] / e:.1f} | {m['py+orjson'] / e:.1f} | {m['py+json'] / e:.1f} |")


def memory_payload():
    path = HERE / "build" / f"batch_{MEMORY_ITEMS}.json"
    if not path.exists():
        path.parent.mkdir(exist_ok=True)
        path.write_text(payloads.batch(MEMORY_ITEMS))
    return path


def peak_of(path, mode):
    # The fresh process imports the same orjson as this one.
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(
        filter(None, (str(newest_orjson.TARGET), os.environ.get("PYTHONPATH"))))}
    out = subprocess.run([sys.executable, str(HERE / "memory_peak.py"), str(path), mode],
                         check=True, capture_output=True, text=True, env=env).stdout
    return json.loads(out)


def print_memory():
    path = memory_payload()
    print(f"\nPeak memory of one call on {MEMORY_ITEMS:,} items, each in a fresh process:\n")
    print("| call | payload | peak growth of the resident set | of which the result str | additional, not counting the result | ÷ payload |")
    print("|---|---:|---:|---:|---:|---:|")
    for mode, label in (("engine", "engine tier-batch"), ("orjson", "orjson.loads (its result is the parsed tree)")):
        m = peak_of(path, mode)
        growth = m["peak"] - m["rss_before"]
        result = m["result_bytes"] or 0
        extra = growth - result
        mb = lambda n: f"{n / 1e6:.1f} MB"  # noqa: E731
        print(f"| {label} | {mb(m['payload_bytes'])} | {mb(growth)} | {mb(result) if result else '—'} | "
              f"{mb(extra)} | {extra / m['payload_bytes']:.2f} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="skip the 100,000-item case")
    parser.add_argument("--no-memory", action="store_true", help="skip the peak-memory measurement")
    parser.add_argument("--rounds", type=int, default=0, help="rounds per case (default by size)")
    parser.add_argument("--against", metavar="SO", help="time another build's shared object beside this one")
    args = parser.parse_args()
    heading = one_processor.pin()
    if args.against:
        print(f"{heading}\n")
        compare_builds(args)
        return
    orjson = newest_orjson.load()
    print(f"{heading}; orjson {orjson.__version__}\n")
    print_tables(run_cases(args, orjson))
    if not args.no_memory:
        print_memory()


if __name__ == "__main__":
    main()
