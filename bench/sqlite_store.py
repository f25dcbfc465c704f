"""Re-tiering a SQLite store of a million items: time per item and the engine's share.

    python bench/sqlite_store.py [--items N] [--chunk N] [--rounds R]

Makes a store of N generated items (1,000,000 by default) in a database file
in a temporary folder, then re-tiers the whole of it R times, each a month
later than the last so that tiers change, with the example's own code
(examples/sqlite_store.py: payloads built by SQLite, one engine call per
chunk, decisions written back by SQLite, one transaction), on one processor
(one_processor.py), as every benchmark's are. Prints each round and the
median time per item, the engine's share of it, and the file's size."""

import argparse
import pathlib
import statistics
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "examples"))
from one_processor import pin

import sqlite_store

MONTH = 30 * 86400


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--items", type=int, default=1_000_000)
    parser.add_argument("--chunk", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    heading = pin()
    now = 1_800_000_000
    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "memory.db"
        connection = sqlite_store.connect(path)
        sqlite_store.fill_demo_store(connection, args.items, seed=1, now=now)
        per_item, shares = [], []
        for round_ in range(args.rounds):
            now += MONTH
            done = sqlite_store.retier(connection, now, args.chunk)
            per_item.append(done.seconds / done.items * 1e9)
            shares.append(done.engine_seconds / done.seconds)
            print(f"round {round_ + 1}: {done.items:,} items in {done.chunks} chunks, "
                  f"{done.seconds:.2f} s, {per_item[-1]:,.0f} ns per item, engine {shares[-1]:.1%}")
        size = path.stat().st_size
        connection.close()
    print(f"{heading}, SQLite {sqlite_store.sqlite3.sqlite_version}: "
          f"median {statistics.median(per_item):,.0f} ns per item "
          f"({min(per_item):,.0f}-{max(per_item):,.0f}), the engine {statistics.median(shares):.1%}, "
          f"file {size / 1e6:.0f} MB")


if __name__ == "__main__":
    main()
