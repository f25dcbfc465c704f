"""Tiers a store that outgrows one machine on a Dask cluster.

    python3 examples/dask_tier.py                          # demo store, local cluster
    python3 examples/dask_tier.py 's3://bucket/store/*.jsonl' --scheduler tcp://host:8786

Needs `pip install "dask[distributed]"` (and an fsspec backend such as s3fs
for remote paths). The store is a set of JSON-lines shards, one item per line
in object or array form, read where every worker can reach it. Each partition
is tiered on the worker that reads it and only its summary travels: the
per-partition summaries are merged into one. Without --scheduler a local
cluster of --workers processes is started; without shard paths a demo store
of --items generated items is written to a temporary directory first. Each
shard is one partition, so that an item the engine refuses can be named by
its shard, line and index: it ends the program with one line that says so.
When standard output is a terminal, Dask's progress bar shows the shards
being tiered.
"""

from __future__ import annotations

import argparse
import contextlib
import logging
import pathlib
import sys
import tempfile
import time
from collections.abc import Iterable
from functools import reduce

import memstore
from memstore import Summary, fail, shard_plan, summarise_lines, write_shard

try:
    import dask.bag
    from dask.distributed import Client, LocalCluster, get_client, progress
except ImportError as missing:
    fail(f'needs Dask ({missing}): python3 -m pip install "dask[distributed]"')


def merge_all(summaries: list[Summary]) -> Summary:
    return reduce(Summary.merge, summaries, Summary())


def summarise_shard(lines_and_paths: Iterable[tuple[str, str]]) -> Summary:
    """Runs on a worker: the summary of one shard, read as (line, path) pairs."""
    pairs = list(lines_and_paths)
    source = pairs[0][1] if pairs else "<empty shard>"
    return summarise_lines((line for line, _ in pairs), source=source)


def tier_store(urlpath: str | list[str], show_progress: bool = False) -> Summary:
    """The summary of every item under `urlpath` (a glob, a URL or a list of
    them), computed on the cluster of the current client, one shard per
    partition; with `show_progress`, Dask's progress bar shows it go."""
    lines = dask.bag.read_text(urlpath, blocksize=None, include_path=True)
    reduction = lines.reduction(summarise_shard, merge_all)
    if not show_progress:
        summary: Summary = reduction.compute()
        return summary
    future = get_client().compute(reduction)
    progress(future)  # returns when the work is done
    print()  # the bar ends without a line feed
    result: Summary = future.result()
    return result


def urls_of(paths: list[str]) -> str:
    return " ".join(paths)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="*", help="shard paths or globs (local or remote)")
    parser.add_argument("--scheduler", help="address of a running scheduler")
    parser.add_argument("--workers", type=int, default=2, help="processes of the local cluster")
    parser.add_argument("--items", type=int, default=1_000_000, help="size of the demo store")
    parser.add_argument("--shards", type=int, default=8, help="shards of the demo store")
    args = parser.parse_args()

    with contextlib.ExitStack() as stack:
        if args.scheduler:
            client = stack.enter_context(Client(args.scheduler))
        else:
            # The workers' own log of a failed task would repeat the one
            # line that this program prints.
            cluster = LocalCluster(
                n_workers=args.workers,
                threads_per_worker=1,
                processes=True,
                silence_logs=logging.CRITICAL,
            )
            client = stack.enter_context(Client(stack.enter_context(cluster)))
        tmp = stack.enter_context(tempfile.TemporaryDirectory())
        client.upload_file(memstore.__file__)  # the workers import the helpers from it
        paths = args.paths
        if not paths:
            print(f"writing a demo store of {args.items:,} items as {args.shards} shards ...")
            plan = shard_plan(pathlib.Path(tmp), args.items, args.shards, seed=1)
            written = client.gather(client.map(write_shard, *zip(*plan, strict=True)))
            paths = [str(path) for path in written]
        start = time.perf_counter()
        try:
            summary = tier_store(paths, show_progress=sys.stdout.isatty())
        except RuntimeError as error:  # an ItemError, whose class Dask may send by value
            fail(str(error))
        except OSError as error:
            fail(f"cannot read the store: {error}")
        except ValueError as error:  # no file matches
            fail(f"cannot read the store: {error.args[0]}: {urls_of(paths)}")
        seconds = time.perf_counter() - start
        workers = len(client.scheduler_info()["workers"])

    print(f"tiered {summary.count:,} items on {workers} Dask workers in {seconds:.2f} s\n")
    print(summary.render())


if __name__ == "__main__":
    main()
