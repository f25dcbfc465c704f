"""Tiers a store that outgrows one machine on a Dask cluster.

    python3 examples/dask_tier.py                          # demo store, local cluster
    python3 examples/dask_tier.py 's3://bucket/store/*.jsonl' --scheduler tcp://host:8786

Needs `pip install "dask[distributed]"` (and an fsspec backend such as s3fs
for remote paths). The store is a set of JSON-lines shards, one item per line
in object or array form, read where every worker can reach it. Each partition
is tiered on the worker that reads it and only its summary travels: the
per-partition summaries are merged into one. Without --scheduler a local
cluster of --workers processes is started; without shard paths a demo store
of --items generated items is written to a temporary directory first.
"""

from __future__ import annotations

import argparse
import contextlib
import pathlib
import tempfile
import time
from functools import reduce

import dask.bag
from dask.distributed import Client, LocalCluster

import memstore
from memstore import Summary, shard_plan, summarise_lines, write_shard


def merge_all(summaries: list[Summary]) -> Summary:
    return reduce(Summary.merge, summaries, Summary())


def tier_store(urlpath: str | list[str], blocksize: str | None = "64MiB") -> Summary:
    """The summary of every item under `urlpath` (a glob, a URL or a list of
    them), computed on the cluster of the current client."""
    lines = dask.bag.read_text(urlpath, blocksize=blocksize)
    summary: Summary = lines.reduction(summarise_lines, merge_all).compute()
    return summary


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
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True)
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
        summary = tier_store(paths)
        seconds = time.perf_counter() - start
        workers = len(client.scheduler_info()["workers"])

    print(f"tiered {summary.count:,} items on {workers} Dask workers in {seconds:.2f} s\n")
    print(summary.render())


if __name__ == "__main__":
    main()
