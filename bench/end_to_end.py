"""What a call costs a Python caller from end to end, per item.

    python bench/end_to_end.py [--items N] [--rounds R]

For a tier-batch of N items (100,000 by default) held as Python dicts, it
times, interleaved round by round: building the payload text (json.dumps as
it is and compact, orjson.dumps with its bytes decoded to str, and orjson on
items held as lists), the engine's call, and reading the response back
(json.loads and orjson.loads). It prints the median cost per item of each
step and of the two whole paths, the standard library's and orjson's, on
one processor (one_processor.py)."""

import argparse
import json
import pathlib
import random
import sys

import orjson

import mnemoweaver_engine_native as engine

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from one_processor import pin
from payloads import FIELDS, random_item
from run_bench import fmt_time, measure


def items_as_dicts(count, seed=20240611):
    rng = random.Random(seed)
    items = (random_item(rng) for _ in range(count))
    return [item if isinstance(item, dict) else dict(zip(FIELDS, item, strict=False)) for item in items]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--items", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    heading = pin()

    items = items_as_dicts(args.items)
    rows = [[item[name] for name in FIELDS if name in item] for item in items]
    payload = orjson.dumps({"items": items}).decode()
    response = engine.run("tier-batch", payload)
    assert json.loads(response) == orjson.loads(response)
    assert engine.run("tier-batch", json.dumps({"items": items})) == response

    steps = {
        "json.dumps": (lambda: json.dumps({"items": items}), ()),
        "json.dumps, compact": (lambda: json.dumps({"items": items}, separators=(",", ":")), ()),
        "orjson.dumps().decode()": (lambda: orjson.dumps({"items": items}).decode(), ()),
        "orjson.dumps().decode(), items as lists": (
            lambda: orjson.dumps({"items": rows}).decode(), ()),
        "engine": (engine.run, ("tier-batch", payload)),
        "json.loads": (json.loads, (response,)),
        "orjson.loads": (orjson.loads, (response,)),
    }
    medians = measure(steps, (), args.rounds, target_ns=20e6)
    per_item = {name: ns / args.items for name, ns in medians.items()}
    paths = {
        "standard library: json.dumps + engine + json.loads":
            ("json.dumps", "engine", "json.loads"),
        "orjson: orjson.dumps().decode() + engine + orjson.loads":
            ("orjson.dumps().decode()", "engine", "orjson.loads"),
    }

    print(f"{heading}; orjson {orjson.__version__}; "
          f"tier-batch of {args.items:,} items held as dicts, medians of {args.rounds} rounds\n")
    print("| step | per item | per call |")
    print("|---|---:|---:|")
    for name, ns in per_item.items():
        print(f"| {name} | {fmt_time(ns)} | {fmt_time(medians[name])} |")
    for name, steps_of_path in paths.items():
        total = sum(per_item[step] for step in steps_of_path)
        share = per_item["engine"] / total
        print(f"| **{name}** | **{fmt_time(total)}** | engine {share:.0%} of it |")


if __name__ == "__main__":
    main()
