"""Helpers shared by the examples: a seeded generator of remembered items, the
batching of items into "tier-batch" payloads, the search for the item that
fails a batch, and a summary of decisions that can be merged across workers.

An item is either an object such as
    {"id": "m00042", "days_since_recall": 3.5, "retrieval_count": 2,
     "importance": 0.7, "frequency": 0.2, "is_procedural": true}
(unknown keys like "id" are ignored by the engine, and absent flags are false)
or an array of the same values in that order, [3.5, 2, 0.7, 0.2, true, false],
where the two flags may be left off the end.
"""

from __future__ import annotations

import json
import math
import pathlib
import random
import sys
from collections import Counter
from collections.abc import Callable, Iterable, Iterator, Sequence
from dataclasses import dataclass, field
from typing import Any, NoReturn, TypedDict

import mnemoweaver_engine_native as engine


def _json_codec() -> tuple[Callable[[Any], str], Callable[[str], Any]]:
    """Compact JSON text of a value, and the value of JSON text: orjson's when
    it is installed (about ten times faster to write, twice as fast to read),
    the standard library's otherwise. Both write the same text for the values
    used here."""
    try:
        import orjson
    except ImportError:
        return (lambda value: json.dumps(value, separators=(",", ":"))), json.loads
    return (lambda value: orjson.dumps(value).decode()), orjson.loads


dumps, loads = _json_codec()

Item = dict[str, str | float | bool] | list[float | bool]


class Decision(TypedDict):
    action: str
    retention: float
    tier: str


# Every (tier, action) pair the engine can decide, from hot to cold.
TIER_ACTIONS: tuple[tuple[str, str], ...] = (
    ("hot", "inject_to_prompt"),
    ("warm_episodic", "spaced_repetition"),
    ("warm_episodic", "maintain_warm"),
    ("warm_semantic", "long_term_semantic"),
    ("warm_semantic", "keep_forever_tag"),
    ("warm_procedural", "keep_procedural"),
    ("cold", "archive_on_demand"),
)

# Retention bands whose edges are the decision thresholds (0.4, 0.65, 0.8),
# the value of a fresh item (1.0) and the cap (10.0).
BANDS: tuple[tuple[float, str], ...] = (
    (0.0, "0 (fully decayed)"),
    (math.ulp(0.0), "(0, 0.4)"),
    (0.4, "[0.4, 0.65)"),
    (0.65, "[0.65, 0.8)"),
    (0.8, "[0.8, 1)"),
    (1.0, "[1, 2)"),
    (2.0, "[2, 10)"),
    (10.0, "10 (cap)"),
)


def generate_items(count: int, seed: int, first_id: int = 0) -> list[Item]:
    """A reproducible store of `count` items with a realistic spread.

    Most items are a few days to a few months old and were retrieved a
    handful of times; some were never retrieved, a few are core facts
    retrieved hundreds or thousands of times, about one in eight is
    procedural and one in thirty is tagged to be kept forever. About a third
    are written in the array form.
    """
    rng = random.Random(seed)
    items: list[Item] = []
    for number in range(first_id, first_id + count):
        profile = rng.random()
        if profile < 0.06:  # just stored, not yet recalled
            days = 0.0
        elif profile < 0.30:  # this week's conversation
            days = round(rng.uniform(0.0, 7.0), 2)
        else:  # older: median about three weeks, a long tail of years
            days = round(min(rng.lognormvariate(math.log(21.0), 1.3), 1500.0), 1)
        kind = rng.random()
        if kind < 0.22:
            retrievals = 0.0
        elif kind < 0.30:  # core facts, retrieved very often, recalled now and then
            retrievals = _log_uniform(rng, 50.0, 4000.0)
            days = round(rng.uniform(0.0, 240.0), 1)
        elif kind < 0.38:  # facts under review: retrieved often, recalled weeks ago
            retrievals = _log_uniform(rng, 20.0, 400.0)
            days = round(rng.uniform(7.0, 60.0), 1)
        elif kind < 0.42:  # a decayed count, kept fractional
            retrievals = round(rng.uniform(0.2, 6.0), 1)
        else:
            retrievals = float(min(int(rng.paretovariate(1.1)), 40))
        importance = round(rng.betavariate(2.0, 3.0), 2)
        frequency = round(rng.betavariate(1.5, 4.0), 2)
        procedural = rng.random() < 0.12
        keep = rng.random() < 0.033
        if rng.random() < 0.35:
            items.append(_array_item(days, retrievals, importance, frequency, procedural, keep))
        else:
            item: dict[str, str | float | bool] = {
                "id": f"m{number:05d}",
                "days_since_recall": days,
                "retrieval_count": retrievals,
                "importance": importance,
                "frequency": frequency,
            }
            if procedural or rng.random() < 0.2:
                item["is_procedural"] = procedural
            if keep:
                item["keep_forever"] = True
            items.append(item)
    return items


def _log_uniform(rng: random.Random, low: float, high: float) -> float:
    return float(round(math.exp(rng.uniform(math.log(low), math.log(high)))))


def _array_item(
    days: float, count: float, importance: float, frequency: float, procedural: bool, keep: bool
) -> Item:
    values: list[float | bool] = [days, count, importance, frequency, procedural, keep]
    while len(values) > 4 and values[-1] is False:
        values.pop()  # trailing false flags may be left off
    return values


def item_text(item: Item) -> str:
    """The compact JSON text of one item (integral counts without ".0")."""

    def compact(value: str | float | bool) -> str | float | bool | int:
        if isinstance(value, float) and value.is_integer():
            return int(value)
        return value

    if isinstance(item, list):
        return dumps([compact(v) for v in item])
    return dumps({k: compact(v) for k, v in item.items()})


def batch_payload(item_texts: Iterable[str]) -> str:
    """A "tier-batch" payload made of items that are already JSON text."""
    return '{"items":[' + ",".join(item_texts) + "]}"


def numbered_chunks(lines: Iterable[str], size: int) -> Iterator[list[tuple[int, str]]]:
    """The non-blank lines with their line numbers (from 1), in lists of at
    most `size`."""
    chunk: list[tuple[int, str]] = []
    for number, text in enumerate(lines, 1):
        text = text.strip()
        if text:
            chunk.append((number, text))
        if len(chunk) == size:
            yield chunk
            chunk = []
    if chunk:
        yield chunk


def decisions_of(response: str) -> list[Decision]:
    """The decisions of a "tier-batch" response, in item order."""
    decisions: list[Decision] = loads(response)["result"]["decisions"]
    return decisions


def tier_all(payload: str) -> list[Decision]:
    """Decide every item of one "tier-batch" payload in one call."""
    return decisions_of(engine.run("tier-batch", payload))


def failing_item(item_texts: Sequence[str]) -> int | None:
    """The index of the item that makes a batch of these items fail, or None
    when the batch does not fail.

    A batch fails at its first item that does not decode, and the engine's
    message does not say which one it was; the shortest failing prefix ends
    with it, and halving finds that prefix in a few calls."""
    good, bad = 0, len(item_texts)  # a batch of the first `good` items passes
    try:
        engine.run("tier-batch", batch_payload(item_texts))
        return None
    except RuntimeError:
        pass
    while bad - good > 1:
        middle = (good + bad) // 2
        try:
            engine.run("tier-batch", batch_payload(item_texts[:middle]))
            good = middle
        except RuntimeError:
            bad = middle
    return bad - 1


class ItemError(RuntimeError):
    """An item of a store that the engine refused, with where it is."""

    def __init__(self, source: str, line: int, index: int, reason: str) -> None:
        super().__init__(source, line, index, reason)
        self.source, self.line, self.index, self.reason = source, line, index, reason

    def __str__(self) -> str:
        return f"{self.source}: line {self.line} (item index {self.index}): {self.reason}"


def summarise_lines(
    lines: Iterable[str], source: str = "<lines>", chunk_size: int = 50_000
) -> Summary:
    """The summary of items given one JSON text per line (a JSON-lines shard),
    tiered `chunk_size` items per call. An item the engine refuses raises
    ItemError, which names `source`, the line and the item's index."""
    summary = Summary()
    for chunk in numbered_chunks(lines, chunk_size):
        texts = [text for _, text in chunk]
        try:
            decisions = tier_all(batch_payload(texts))
        except RuntimeError as error:
            bad = failing_item(texts)
            if bad is None:  # cannot happen: the same batch fails every time
                raise
            raise ItemError(source, chunk[bad][0], summary.count + bad, str(error)) from None
        summary.add(decisions)
    return summary


def read_text(path: pathlib.Path) -> str:
    """The text of a file, or the end of the program with one line that says
    why it cannot be read."""
    try:
        return path.read_text(encoding="utf-8")
    except OSError as error:
        fail(f"cannot read {path}: {error.strerror or error}")
    except UnicodeDecodeError:
        fail(f"cannot read {path}: not UTF-8 text")


def fail(message: str) -> NoReturn:
    """Ends the program with `message` as one line on standard error."""
    sys.exit(f"{pathlib.Path(sys.argv[0]).name}: {message}")


def write_shard(path: pathlib.Path, count: int, seed: int, first_id: int = 0) -> pathlib.Path:
    """Writes `count` generated items to `path` as JSON lines."""
    items = generate_items(count, seed, first_id)
    path.write_text("".join(item_text(item) + "\n" for item in items), encoding="utf-8")
    return path


def shard_plan(
    directory: pathlib.Path, items: int, shards: int, seed: int
) -> list[tuple[pathlib.Path, int, int, int]]:
    """Arguments of `write_shard` for a store of `items` items in `shards`
    files of nearly equal size, each with its own seed and id range."""
    plan = []
    first = 0
    for index in range(shards):
        count = items // shards + (index < items % shards)
        plan.append((directory / f"shard-{index:04d}.jsonl", count, seed + index, first))
        first += count
    return plan


def readable(retention: float) -> str:
    """A retention with four decimals at most; one too small to show is
    written as below 0.0001 rather than rounded to 0."""
    text = f"{retention:.4f}".rstrip("0").rstrip(".")
    return "< 0.0001" if text == "0" and retention > 0 else text


def band_of(retention: float) -> int:
    index = 0
    for i, (lower, _) in enumerate(BANDS):
        if retention >= lower:
            index = i
    return index


@dataclass
class Summary:
    """Counts of decisions per (tier, action) and per retention band.

    Summaries of parts of a store merge into the summary of the whole, so
    workers can each summarise their share and send back only the counts.
    """

    pairs: Counter[tuple[str, str]] = field(default_factory=Counter)
    bands: list[int] = field(default_factory=lambda: [0] * len(BANDS))
    count: int = 0
    total: float = 0.0
    low: float = math.inf
    high: float = -math.inf

    def add(self, decisions: Iterable[Decision]) -> Summary:
        for d in decisions:
            self.pairs[d["tier"], d["action"]] += 1
            retention = d["retention"]
            self.bands[band_of(retention)] += 1
            self.count += 1
            self.total += retention
            self.low = min(self.low, retention)
            self.high = max(self.high, retention)
        return self

    def merge(self, other: Summary) -> Summary:
        return Summary(
            self.pairs + other.pairs,
            [a + b for a, b in zip(self.bands, other.bands, strict=True)],
            self.count + other.count,
            self.total + other.total,
            min(self.low, other.low),
            max(self.high, other.high),
        )

    def render(self, quartiles: Sequence[float] = ()) -> str:
        """A readable table of tiers and actions and a retention histogram."""
        if not self.count:
            return "no items"
        lines = [f"{'tier':<17}{'action':<20}{'items':>8}{'share':>8}"]
        for tier, action in TIER_ACTIONS:
            n = self.pairs[tier, action]
            lines.append(f"{tier:<17}{action:<20}{n:>8,}{n / self.count:>8.1%}")
        lines.append(f"{'total':<37}{self.count:>8,}")
        lines.append("")
        stats = [f"min {readable(self.low)}"]
        if len(quartiles) == 3:
            stats += [f"q1 {readable(quartiles[0])}", f"median {readable(quartiles[1])}"]
            stats += [f"q3 {readable(quartiles[2])}"]
        stats += [f"max {readable(self.high)}", f"mean {readable(self.total / self.count)}"]
        lines.append("retention: " + ", ".join(stats))
        widest = max(self.bands)
        for (_, label), n in zip(BANDS, self.bands, strict=True):
            bar = "#" * round(40 * n / widest) if widest else ""
            lines.append(f"  {label:<18}{n:>8,}  {bar}".rstrip())
        return "\n".join(lines)
