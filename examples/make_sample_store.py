"""Writes the sample store that examples/tier_store.py tiers.

    python3 examples/make_sample_store.py [--items N] [--seed S] [--out PATH]

The store is a "tier-batch" payload, one item per line: {"items": [...]} with
a few descriptive members beside "items", which the engine ignores. The same
seed and count always give the same bytes.
"""

from __future__ import annotations

import argparse
import pathlib

from memstore import generate_items, item_text

HERE = pathlib.Path(__file__).resolve().parent
SAMPLE_STORE = HERE / "sample_store.json"
SAMPLE_ITEMS = 3000
SAMPLE_SEED = 20240611


def store_text(count: int = SAMPLE_ITEMS, seed: int = SAMPLE_SEED) -> str:
    lines = ",\n".join(item_text(item) for item in generate_items(count, seed))
    head = (
        '{"about":"sample store of remembered items, written by make_sample_store.py",\n'
        f'"seed":{seed},\n"items":[\n'
    )
    return head + lines + "\n]}\n"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--items", type=int, default=SAMPLE_ITEMS)
    parser.add_argument("--seed", type=int, default=SAMPLE_SEED)
    parser.add_argument("--out", type=pathlib.Path, default=SAMPLE_STORE)
    args = parser.parse_args()
    args.out.write_text(store_text(args.items, args.seed), encoding="utf-8")
    print(f"wrote {args.items} items to {args.out}")


if __name__ == "__main__":
    main()
