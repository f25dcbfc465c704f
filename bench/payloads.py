"""Payloads of the benchmark: the single-item examples and batches of
realistic random items, made the same way on every run (fixed seed)."""

import json
import pathlib
import random
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))

from engine_model import TIER_INPUT

TIER_EXAMPLE = '{"days_since_recall": 2, "retrieval_count": 1, "importance": 0.5, "frequency": 0.5}'
SCORE_EXAMPLE = '{"days_since_recall": 3, "retrieval_count": 5, "importance": 0.8, "frequency": 0.4}'

FIELDS = TIER_INPUT.names


def random_item(rng):
    """One remembered item as a memory store would send it: ages with a few
    decimals, whole retrieval counts, importance as a short decimal, frequency
    at full double precision; four to six fields; one in five in array form."""
    values = [
        round(rng.uniform(0.0, 400.0), rng.choice((1, 2, 3))),
        rng.choice((0, 1, 2, 3, 5, 8, 13, 21, 34, 55, rng.randint(0, 1000))),
        round(rng.random(), 2),
        rng.random(),
        rng.random() < 0.2,
        rng.random() < 0.05,
    ]
    count = rng.choice((4, 5, 6))
    if rng.random() < 0.2:
        return values[:count]
    return dict(zip(FIELDS, values[:count], strict=False))


def batch(count, seed=20240611):
    """The tier-batch payload text of `count` random items."""
    rng = random.Random(seed)
    return json.dumps({"items": [random_item(rng) for _ in range(count)]})


def dumps_item(rng):
    """One item as a caller writes it with json.dumps: the three measures with
    three or four decimals, the retrieval count whole, four to six fields,
    one in five in array form."""
    values = [
        round(rng.uniform(0.0, 400.0), rng.choice((3, 4))),
        rng.choice((0, 1, 2, 3, 5, 8, 13, 21, 34, 55, rng.randint(0, 1000))),
        round(rng.random(), rng.choice((3, 4))),
        round(rng.random(), rng.choice((3, 4))),
        rng.random() < 0.2,
        rng.random() < 0.05,
    ]
    count = rng.choice((4, 5, 6))
    if rng.random() < 0.2:
        return values[:count]
    return dict(zip(FIELDS, values[:count], strict=False))


def dumps_batch(count, seed=20240612):
    """The tier-batch payload text of `count` items of `dumps_item`, written
    by json.dumps with its default separators (", " and ": ")."""
    rng = random.Random(seed)
    return json.dumps({"items": [dumps_item(rng) for _ in range(count)]})


# The item mixes a batch can be made of, by name.
MIXES = {"bench": batch, "json.dumps": dumps_batch}
