"""Tiers a large store in parallel worker processes.

    python3 examples/parallel_tier.py [SHARD ...] [--workers N]
    python3 examples/parallel_tier.py --items 2000000 --shards 16 --pin

A large store is kept as shards: JSON-lines files, one item per line in object
or array form. Each worker process takes one shard at a time, tiers it with the
engine and sends back only its summary (counts per tier and action and per
retention band); the parent merges the summaries. Without shard files, a demo
store of --items generated items is first written as --shards shards to a
temporary directory, by the same workers.

A shard that cannot be read, or an item that the engine refuses, ends the
program with one line that names the shard, the line and the item's index.

`run` holds the interpreter lock while it works and uses the calling thread
alone, so threads would take turns; processes run side by side. With --pin,
where the system allows it, each worker is kept on a processor of its own
(the processors this process may use, in turn), so that workers do not
crowd one another. The engine's own share of the work is small (it
decides millions of items per second on one core): what the workers spread out
is the reading, the JSON on the Python side and the counting.
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import pathlib
import tempfile
import time
from collections.abc import Sequence
from concurrent.futures import ProcessPoolExecutor
from functools import reduce
from multiprocessing.sharedctypes import Synchronized

from memstore import ItemError, Summary, fail, shard_plan, summarise_lines, write_shard


def pin_worker(processors: list[int], started: Synchronized[int]) -> None:
    """Runs in each new worker: keeps it on the next processor of the list."""
    with started.get_lock():
        index = started.value
        started.value += 1
    os.sched_setaffinity(0, {processors[index % len(processors)]})


def worker_pool(workers: int, pin: bool) -> ProcessPoolExecutor:
    if not (pin and hasattr(os, "sched_setaffinity")):
        return ProcessPoolExecutor(workers)
    processors = sorted(os.sched_getaffinity(0))
    started = multiprocessing.Value("i", 0)
    return ProcessPoolExecutor(workers, initializer=pin_worker, initargs=(processors, started))


def tier_shard(path: pathlib.Path) -> Summary:
    """Runs in a worker: the summary of one shard."""
    with path.open(encoding="utf-8") as lines:
        return summarise_lines(lines, source=str(path))


def tier_shards(paths: Sequence[pathlib.Path], pool: ProcessPoolExecutor) -> Summary:
    """The summary of the whole store, one shard per task."""
    return reduce(Summary.merge, pool.map(tier_shard, paths), Summary())


def write_demo_store(
    directory: pathlib.Path, items: int, shards: int, pool: ProcessPoolExecutor
) -> list[pathlib.Path]:
    plan = shard_plan(directory, items, shards, seed=1)
    return list(pool.map(write_shard, *zip(*plan, strict=True)))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("shards", nargs="*", type=pathlib.Path, help="JSON-lines shard files")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--items", type=int, default=1_000_000, help="size of the demo store")
    parser.add_argument("--shards", dest="count", type=int, default=8, help="demo shards")
    parser.add_argument("--pin", action="store_true", help="each worker on a processor of its own")
    args = parser.parse_args()

    with worker_pool(args.workers, args.pin) as pool, tempfile.TemporaryDirectory() as tmp:
        paths = args.shards
        if not paths:
            print(f"writing a demo store of {args.items:,} items as {args.count} shards ...")
            paths = write_demo_store(pathlib.Path(tmp), args.items, args.count, pool)
        start = time.perf_counter()
        try:
            summary = tier_shards(paths, pool)
        except ItemError as error:
            fail(str(error))
        except OSError as error:
            fail(f"cannot read {error.filename}: {error.strerror}")
        except UnicodeDecodeError as error:
            fail(f"cannot read a shard: not UTF-8 text ({error.reason})")
        seconds = time.perf_counter() - start

    print(
        f"tiered {summary.count:,} items in {len(paths)} shards on {args.workers} worker "
        f"process{'' if args.workers == 1 else 'es'} in {seconds:.2f} s\n"
    )
    print(summary.render())


if __name__ == "__main__":
    main()
