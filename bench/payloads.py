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


def _item(rng, age_decimals, importance_decimals, frequency_decimals):
    """One remembered item: the age in days rounded to age_decimals(rng)
    places, a whole retrieval count, importance and frequency in 0..1 rounded
    to their decimals(rng) places (None: at full double precision), the two
    flags; four to six fields; one in five in array form."""

    def measure(decimals):
        x = rng.random()
        return x if decimals is None else round(x, decimals(rng))

    values = [
        round(rng.uniform(0.0, 400.0), age_decimals(rng)),
        rng.choice((0, 1, 2, 3, 5, 8, 13, 21, 34, 55, rng.randint(0, 1000))),
        measure(importance_decimals),
        measure(frequency_decimals),
        rng.random() < 0.2,
        rng.random() < 0.05,
    ]
    count = rng.choice((4, 5, 6))
    if rng.random() < 0.2:
        return values[:count]
    return dict(zip(FIELDS, values[:count], strict=False))


def random_item(rng):
    """One item as a memory store would send it: ages with one to three
    decimals, importance with two, frequency at full double precision."""
    return _item(rng, lambda r: r.choice((1, 2, 3)), lambda r: 2, None)


def batch(count, seed=20240611):
    """The tier-batch payload text of `count` random items."""
    rng = random.Random(seed)
    return json.dumps({"items": [random_item(rng) for _ in range(count)]})


def dumps_item(rng):
    """One item as a caller writes it with json.dumps: the three measures with
    three or four decimals."""

    def three_or_four(r):
        return r.choice((3, 4))

    return _item(rng, three_or_four, three_or_four, three_or_four)


def dumps_batch(count, seed=20240612):
    """The tier-batch payload text of `count` items of `dumps_item`, written
    by json.dumps with its default separators (", " and ": ")."""
    rng = random.Random(seed)
    return json.dumps({"items": [dumps_item(rng) for _ in range(count)]})


# The item mixes a batch can be made of, by name.
MIXES = {"bench": batch, "json.dumps": dumps_batch}
