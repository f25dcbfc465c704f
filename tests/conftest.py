import pathlib

import pytest

import mnemoweaver_engine_native as engine

SHARED = pathlib.Path(__file__).resolve().parents[2] / "shared"
JSON_SUITE = SHARED / "jsontestsuite" / "test_parsing"


def run_error(command, payload):
    """The message of the RuntimeError that run() raises."""
    with pytest.raises(RuntimeError) as info:
        engine.run(command, payload)
    assert len(info.value.args) == 1
    return info.value.args[0]


def reader_error(payload):
    """The reader's message for a payload, or None when it parses.

    A payload that parses reaches the command lookup, which refuses the empty
    command name, so "unknown command: " means the text was accepted.
    """
    message = run_error("", payload)
    return None if message == "unknown command: " else message


def result_of(command, payload):
    text = engine.run(command, payload)
    head, tail = '{"ok":true,"result":', "}"
    assert text.startswith(head) and text.endswith(tail)
    return text[len(head) : -len(tail)]


@pytest.fixture
def engine_run():
    return engine.run
