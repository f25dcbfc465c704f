"""Tiers a store of remembered items and prints what the store should do.

    python3 examples/tier_store.py [STORE]

STORE is a "tier-batch" payload, {"items": [...]}, with each item in object
or array form; by default the shipped examples/sample_store.json. The whole
file goes to the engine as it is, in one call, and the summary shows how many
items land in each tier with which action, and how retention is spread.
"""

from __future__ import annotations

import argparse
import pathlib
import statistics

from memstore import Summary, tier_all

SAMPLE_STORE = pathlib.Path(__file__).resolve().parent / "sample_store.json"


def report(store: pathlib.Path) -> str:
    decisions = tier_all(store.read_text(encoding="utf-8"))
    summary = Summary().add(decisions)
    retentions = [d["retention"] for d in decisions]
    quartiles = []
    if len(retentions) > 1:
        quartiles = statistics.quantiles(retentions, n=4, method="inclusive")
    return f"{store.name}: {len(decisions):,} items\n\n" + summary.render(quartiles)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("store", nargs="?", type=pathlib.Path, default=SAMPLE_STORE)
    print(report(parser.parse_args().store))


if __name__ == "__main__":
    main()
