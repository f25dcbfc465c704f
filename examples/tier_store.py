"""Tiers a store of remembered items and prints what the store should do.

    python3 examples/tier_store.py [STORE]

STORE is a "tier-batch" payload, {"items": [...]}, with each item in object
or array form; by default the shipped examples/sample_store.json. The whole
file goes to the engine as it is, in one call, and the summary shows how many
items land in each tier with which action, and how retention is spread. A
store that cannot be read or tiered ends the program with one line that says
why (and, for an item the engine refuses, which item it is).
"""

from __future__ import annotations

import argparse
import pathlib
import statistics

from memstore import Summary, dumps, fail, failing_item, loads, read_text, tier_all

SAMPLE_STORE = pathlib.Path(__file__).resolve().parent / "sample_store.json"


def refused_item(text: str) -> int | None:
    """The index of the item that the engine refuses in a store that is
    valid JSON with an "items" array, or None."""
    try:
        items = loads(text)["items"]
    except (ValueError, TypeError, KeyError):
        return None
    if not isinstance(items, list):
        return None
    return failing_item([dumps(item) for item in items])


def report(store: pathlib.Path) -> str:
    text = read_text(store)
    try:
        decisions = tier_all(text)
    except RuntimeError as error:
        index = refused_item(text)
        where = "" if index is None else f" item index {index}:"
        fail(f"cannot tier {store}:{where} {error}")
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
