"""Every success and every failure path of run(), called 100,000 times, must
leave memory where it was: no Python objects kept (tracemalloc, allocated
blocks), no C++ memory kept (the C library's heap, resident set size), and
no reference taken from the arguments or the module."""

import gc
import importlib.util
import sys
import tracemalloc

import pytest

import mnemoweaver_engine_native as engine
from call_paths import CALLS
from memory_probe import describe, heap_in_use, rss_bytes

pytestmark = pytest.mark.stress

ROUNDS = 100_000
WARM_UP = 2_000

# Anything kept per call shows up as at least 100,000 small blocks or
# references, megabytes in all; these bounds leave room for caches, for
# objects of earlier tests that the collector frees meanwhile and for
# allocator noise only.
MAX_TRACED = 64 * 1024
MAX_BLOCKS = 200
MAX_HEAP = 512 * 1024
MAX_RSS = 2 * 1024 * 1024
MAX_REFERENCES = 10


def measure(call, rounds, watched=()):
    """Runs `call` `rounds` times after a warm-up; returns the growth of each
    figure over the measured rounds, the reference counts of `watched`
    included."""
    for _ in range(WARM_UP):
        call()
    gc.collect()
    refs = [sys.getrefcount(o) for o in watched]
    blocks, heap, rss = sys.getallocatedblocks(), heap_in_use(), rss_bytes()
    tracemalloc.start()
    try:
        for _ in range(rounds):
            call()
        traced = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    gc.collect()

    def grow(after, before):
        return None if before is None else after - before

    return {
        "traced": traced,
        "blocks": sys.getallocatedblocks() - blocks,
        "heap": grow(heap_in_use(), heap),
        "rss": grow(rss_bytes(), rss),
        "references": max((sys.getrefcount(o) - n for o, n in zip(watched, refs, strict=False)), default=0),
    }


def check_growth(name, growth):
    figures = ", ".join(
        f"{k} {v}" if k in ("blocks", "references") else f"{k} {describe(v)}"
        for k, v in growth.items()
    )
    print(f"{name}: {figures}")
    assert growth["traced"] < MAX_TRACED, figures
    assert growth["blocks"] < MAX_BLOCKS, figures
    assert growth["references"] < MAX_REFERENCES, figures
    if growth["heap"] is not None:
        assert growth["heap"] < MAX_HEAP, figures
    if growth["rss"] is not None:
        assert growth["rss"] < MAX_RSS, figures


@pytest.mark.parametrize("call", CALLS, ids=repr)
def test_path_keeps_no_memory_and_no_references(call):
    watched = [*call.arguments(), engine, engine.run, call.raises or str]
    check_growth(call.name, measure(call, ROUNDS, watched))


def test_repeated_initialisation_returns_the_one_module():
    # A second import of a single-phase module calls the initialisation
    # function again, which must hand out the stored module each time.
    found = engine.__spec__

    def reimport():
        assert importlib.util.module_from_spec(found) is engine

    check_growth("re-import", measure(reimport, ROUNDS, [engine]))
    assert sys.modules[engine.__name__] is engine
