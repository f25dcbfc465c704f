"""The SQLite store of examples/sqlite_store.py, against a real database file:
a re-tier changes every row or none, and readers never see it half done."""

import json
import sqlite3
import sys

import pytest

import mnemoweaver_engine_native as engine
from test_examples import EXAMPLES, run_example

sys.path.insert(0, str(EXAMPLES))
import sqlite_store

NOW = 1_800_000_000
LATER = NOW + 30 * 86400  # a month on, most tiers differ


def rows(connection):
    return connection.execute("SELECT * FROM items ORDER BY rowid").fetchall()


@pytest.fixture
def store(tmp_path):
    """A store of 2,000 items, tiered once, and its rows as they are then."""
    path = tmp_path / "memory.db"
    connection = sqlite_store.connect(path)
    sqlite_store.fill_demo_store(connection, 2000, seed=7, now=NOW)
    sqlite_store.retier(connection, NOW, chunk=500)
    yield path, connection, rows(connection)
    connection.close()


def test_a_retier_writes_every_decision(store):
    _, connection, before = store
    done = sqlite_store.retier(connection, LATER, chunk=300)
    assert (done.items, done.chunks) == (2000, 7)
    after = rows(connection)
    assert sum(old != new for old, new in zip(before, after, strict=True)) > 1000
    for row, decision in zip(after, sqlite_store.decisions(connection), strict=True):
        days = (LATER - row[1]) / 86400
        item = json.dumps([days, *row[2:5], bool(row[5]), bool(row[6])])
        assert decision == json.loads(engine.run("tier", item))["result"]


@pytest.mark.parametrize("column, value, reason", [
    ("importance", "high", 'invalid type: string "high", expected f64'),
    ("last_recall", "yesterday", 'invalid type: string "yesterday", expected f64'),
])
def test_a_refused_item_leaves_every_row_and_names_its_own(store, column, value, reason):
    path, connection, before = store
    connection.execute(f"UPDATE items SET {column} = ? WHERE rowid = 1234", (value,))
    before = rows(connection)
    with pytest.raises(sqlite_store.RefusedRow) as refused:
        sqlite_store.retier(connection, LATER, chunk=500)  # the third chunk fails
    assert (refused.value.row_id, refused.value.reason) == (before[1233][0], reason)
    assert rows(connection) == before
    err = run_example("sqlite_store.py", path, status=1)
    assert err == f"sqlite_store.py: cannot tier {path}: row {before[1233][0]!r}: {reason}\n"


def test_a_retier_stopped_in_the_write_back_changes_nothing(store):
    _, connection, before = store
    updates = []

    def stop_in_the_second_write_back(statement):
        if statement.lstrip().startswith("WITH decision"):
            updates.append(statement)
            if len(updates) == 2:
                connection.set_progress_handler(lambda: 1 / 0, 1000)

    connection.set_trace_callback(stop_in_the_second_write_back)
    with pytest.raises(sqlite3.OperationalError, match="interrupted"):
        sqlite_store.retier(connection, LATER, chunk=500)
    connection.set_progress_handler(None, 0)
    connection.set_trace_callback(None)
    assert not connection.in_transaction
    assert rows(connection) == before


def test_a_reader_sees_the_old_tiers_or_the_new_never_a_mix(store):
    path, connection, before = store
    reader = sqlite3.connect(path)
    seen = []
    sqlite_store.retier(connection, LATER, chunk=400, on_chunk=lambda done: seen.append(rows(reader)))
    assert len(seen) == 5
    assert all(rows_seen == before for rows_seen in seen)
    assert rows(reader) == rows(connection) != before
    reader.close()


def test_an_older_sqlite_is_named(monkeypatch, capsys):
    monkeypatch.setattr(sqlite3, "sqlite_version_info", (3, 37, 2))
    monkeypatch.setattr(sqlite3, "sqlite_version", "3.37.2")
    with pytest.raises(SystemExit) as stopped:
        sqlite_store.check_sqlite_version()
    assert str(stopped.value).endswith(
        "needs SQLite 3.38 or later (its JSON functions and ->>), but this Python's sqlite3 has SQLite 3.37.2")
