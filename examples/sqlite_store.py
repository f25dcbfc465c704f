"""Keeps a memory store in SQLite and re-tiers the whole store in one transaction.

    python3 examples/sqlite_store.py [DATABASE] [--chunk N] [--items N]

The store is one table, `items`, with each item's last recall as a Unix
timestamp (seconds) and its tier, action and retention as the engine last
decided them. A re-tier reads the rows where they are: SQLite's JSON
functions build each chunk's "tier-batch" payload in the query, one engine
call decides the chunk, and SQLite writes every decision back from the
response (json_each), so no item passes through Python objects. All chunks
are written inside one transaction, committed once: an item the engine
refuses, an error or a stop half-way leaves every row as it was, and the
store is in WAL mode, so readers see the old tiers until the commit and the
new ones after it, never a mix.

Without DATABASE a demo store is made in a temporary folder from the items
of the sample store (or --items generated ones) and re-tiered. A DATABASE
that does not exist yet is made the same way and kept. Needs SQLite 3.38 or
later (its JSON functions and ->> operator), as Python's sqlite3 has it.
"""

from __future__ import annotations

import argparse
import contextlib
import pathlib
import sqlite3
import statistics
import tempfile
import time
from collections.abc import Callable, Iterator
from dataclasses import dataclass

import mnemoweaver_engine_native as engine
from make_sample_store import SAMPLE_ITEMS, SAMPLE_SEED
from memstore import Decision, Item, Summary, fail, failing_item, generate_items

MINIMUM_SQLITE = (3, 38, 0)
SECONDS_PER_DAY = 86400
NUMBER_FIELDS = ("days_since_recall", "retrieval_count", "importance", "frequency")

SCHEMA = """
CREATE TABLE IF NOT EXISTS items (
    id TEXT PRIMARY KEY,
    last_recall INTEGER NOT NULL,  -- Unix time, seconds
    retrieval_count REAL NOT NULL,
    importance REAL NOT NULL,
    frequency REAL NOT NULL,
    is_procedural INTEGER NOT NULL DEFAULT 0,
    keep_forever INTEGER NOT NULL DEFAULT 0,
    tier TEXT,
    action TEXT,
    retention REAL
)
"""

# The next chunk of rows after rowid :after, as the rowids in order and a
# "tier-batch" payload of the same rows in the same order (both aggregates
# walk the one chunk), each item in array form. A last recall that is not a
# number (SQLite keeps what it is given) goes to the engine as it is, to be
# refused, rather than counted as 0 by the subtraction.
CHUNK_PAYLOAD = """
WITH chunk AS (SELECT rowid AS row, * FROM items WHERE rowid > :after ORDER BY rowid LIMIT :size)
SELECT count(*), max(row), json_group_array(row), json_object('items', json_group_array(json_array(
    iif(typeof(last_recall) IN ('integer', 'real'), (:now - last_recall) / 86400.0, last_recall),
    retrieval_count, importance, frequency,
    CASE WHEN is_procedural THEN json('true') ELSE json('false') END,
    CASE WHEN keep_forever THEN json('true') ELSE json('false') END)))
FROM chunk
"""

# Decision k of the response goes to the row whose rowid is element k of
# :rows. The decisions are materialised so that SQLite indexes them by
# position: matching two json_each tables directly would compare every pair.
WRITE_BACK = """
WITH decision AS MATERIALIZED (SELECT key, value FROM json_each(:response, '$.result.decisions'))
UPDATE items SET
    tier = decision.value ->> 'tier',
    action = decision.value ->> 'action',
    retention = decision.value ->> 'retention'
FROM json_each(:rows) AS target JOIN decision ON decision.key = target.key
WHERE items.rowid = target.value
"""

ITEM_TEXTS = "SELECT value FROM json_each(:payload, '$.items')"


class RefusedRow(RuntimeError):
    """A row of the store whose item the engine refused."""

    def __init__(self, row_id: str, reason: str) -> None:
        super().__init__(row_id, reason)
        self.row_id, self.reason = row_id, reason

    def __str__(self) -> str:
        return f"row {self.row_id!r}: {self.reason}"


@dataclass
class Retier:
    """What one re-tier did: items, chunks, and its seconds in all and in the engine."""

    items: int = 0
    chunks: int = 0
    seconds: float = 0.0
    engine_seconds: float = 0.0


def check_sqlite_version() -> None:
    if sqlite3.sqlite_version_info < MINIMUM_SQLITE:
        needed = ".".join(map(str, MINIMUM_SQLITE[:2]))
        fail(
            f"needs SQLite {needed} or later (its JSON functions and ->>), "
            f"but this Python's sqlite3 has SQLite {sqlite3.sqlite_version}"
        )


def connect(path: pathlib.Path | str) -> sqlite3.Connection:
    """A connection in WAL mode that leaves transactions to the code."""
    connection = sqlite3.connect(path, isolation_level=None)
    connection.execute("PRAGMA journal_mode = WAL")
    connection.execute(SCHEMA)
    return connection


Row = tuple[str, int, float, float, float, bool, bool]


def demo_rows(items: list[Item], now: int) -> Iterator[Row]:
    """The rows of generated items, last recalled their age before `now`."""
    for number, item in enumerate(items):
        if isinstance(item, dict):
            values = [item[name] for name in NUMBER_FIELDS]
            flags = [bool(item.get("is_procedural")), bool(item.get("keep_forever"))]
            row_id = str(item.get("id", f"m{number:05d}"))
        else:
            values, flags = list(item[:4]), [*map(bool, item[4:]), False, False][:2]
            row_id = f"m{number:05d}"
        days, count, importance, frequency = (float(v) for v in values)
        # Whole seconds: an age given to a hundredth of a day, as generated
        # ones are, reads back as the same double.
        last_recall = now - round(days * SECONDS_PER_DAY)
        yield row_id, last_recall, count, importance, frequency, flags[0], flags[1]


def fill_demo_store(connection: sqlite3.Connection, count: int, seed: int, now: int) -> None:
    with transaction(connection):
        connection.executemany(
            "INSERT INTO items (id, last_recall, retrieval_count, importance, frequency,"
            " is_procedural, keep_forever) VALUES (?, ?, ?, ?, ?, ?, ?)",
            demo_rows(generate_items(count, seed), now),
        )


@contextlib.contextmanager
def transaction(connection: sqlite3.Connection) -> Iterator[None]:
    """BEGIN IMMEDIATE ... COMMIT, or ROLLBACK on any exception (SQLite may
    already have rolled back an interrupted statement's transaction)."""
    connection.execute("BEGIN IMMEDIATE")
    try:
        yield
    except BaseException:
        if connection.in_transaction:
            connection.execute("ROLLBACK")
        raise
    connection.execute("COMMIT")


def retier(
    connection: sqlite3.Connection,
    now: float,
    chunk: int = 100_000,
    on_chunk: Callable[[int], None] = lambda done: None,
) -> Retier:
    """Re-tiers every row as of Unix time `now`, `chunk` rows per engine call,
    in one transaction. A refused item raises RefusedRow, naming its row's id;
    then, as after any exception, no row has changed."""
    done = Retier()
    start = time.perf_counter()
    with transaction(connection):
        after = 0
        while True:
            count, last, rows, payload = connection.execute(
                CHUNK_PAYLOAD, {"after": after, "size": chunk, "now": now}
            ).fetchone()
            if not count:
                break
            called = time.perf_counter()
            try:
                response = engine.run("tier-batch", payload)
            except RuntimeError as error:
                raise refused_row(connection, rows, payload, str(error)) from None
            done.engine_seconds += time.perf_counter() - called
            connection.execute(WRITE_BACK, {"response": response, "rows": rows})
            after = last
            done.items += count
            done.chunks += 1
            on_chunk(done.items)
    done.seconds = time.perf_counter() - start
    return done


def refused_row(connection: sqlite3.Connection, rows: str, payload: str, reason: str) -> RefusedRow:
    """The refusal of a chunk, with the id of the row whose item was refused
    (found by halving the chunk's items)."""
    texts = [text for (text,) in connection.execute(ITEM_TEXTS, {"payload": payload})]
    index = failing_item(texts)
    if index is None:  # cannot happen: the same batch fails every time
        return RefusedRow("?", reason)
    (row_id,) = connection.execute(
        "SELECT id FROM items WHERE rowid = json_extract(:rows, '$[' || :index || ']')",
        {"rows": rows, "index": index},
    ).fetchone()
    return RefusedRow(str(row_id), reason)


def decisions(connection: sqlite3.Connection) -> Iterator[Decision]:
    for tier, action, retention in connection.execute(
        "SELECT tier, action, retention FROM items ORDER BY rowid"
    ):
        yield {"tier": tier, "action": action, "retention": retention}


def report(connection: sqlite3.Connection, name: str, done: Retier) -> str:
    stored = list(decisions(connection))
    retentions = [d["retention"] for d in stored]
    summary = Summary().add(stored)
    quartiles = []
    if len(retentions) > 1:
        quartiles = statistics.quantiles(retentions, n=4, method="inclusive")
    per_item = done.seconds / done.items * 1e9 if done.items else 0.0
    share = done.engine_seconds / done.seconds if done.seconds else 0.0
    chunks = f"{done.chunks} chunk" + ("" if done.chunks == 1 else "s")
    return (
        f"{name}: {done.items:,} items, re-tiered in one transaction of {chunks}"
        f" in {done.seconds:.2f} s\n{per_item:,.0f} ns per item, the engine's share {share:.1%}\n\n"
        + summary.render(quartiles)
    )


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("database", nargs="?", type=pathlib.Path, help="made if missing")
    parser.add_argument("--chunk", type=int, default=100_000, help="items per engine call")
    parser.add_argument("--items", type=int, default=SAMPLE_ITEMS, help="size of a new demo store")
    args = parser.parse_args()
    check_sqlite_version()

    now = int(time.time())
    with contextlib.ExitStack() as stack:
        path = args.database
        if path is None:
            path = pathlib.Path(stack.enter_context(tempfile.TemporaryDirectory())) / "memory.db"
        new = not path.exists()
        try:
            connection = stack.enter_context(contextlib.closing(connect(path)))
            if new:
                fill_demo_store(connection, args.items, SAMPLE_SEED, now)
            done = retier(connection, now, args.chunk)
        except RefusedRow as error:
            fail(f"cannot tier {path}: {error}")
        except sqlite3.Error as error:
            fail(f"cannot use {path}: {error}")
        print(report(connection, path.name, done))


if __name__ == "__main__":
    main()
