import collections
import os
import pathlib

import pytest

import mnemoweaver_engine_native as engine

# A JSON conformance suite: MNEMO_JSON_SUITE names its folder (the one that
# holds test_parsing/), by default shared/jsontestsuite beside the checkout.
SHARED = pathlib.Path(__file__).resolve().parents[2] / "shared"
JSON_SUITE = pathlib.Path(os.environ.get("MNEMO_JSON_SUITE") or SHARED / "jsontestsuite") / "test_parsing"
NO_JSON_SUITE = f"no JSON conformance suite at {JSON_SUITE} (MNEMO_JSON_SUITE names its folder)"


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


def pytest_terminal_summary(terminalreporter, config):
    """Appends what this run left out, each skip reason with its count and
    the deselected tests, to the file named by MNEMO_NOT_DONE: tools/test.sh
    prints it at its end, so that a green run shows what it did not check."""
    path = os.environ.get("MNEMO_NOT_DONE")
    if not path or hasattr(config, "workerinput"):  # not in pytest-xdist's workers
        return
    step = os.environ.get("NOX_CURRENT_SESSION", "pytest")  # set by nox
    reasons = collections.Counter()
    for report in terminalreporter.stats.get("skipped", []):
        reason = report.longrepr[2] if isinstance(report.longrepr, tuple) else str(report.longrepr)
        reasons[reason.removeprefix("Skipped: ")] += 1
    lines = [f"{step}: {count} skipped: {reason}" for reason, count in sorted(reasons.items())]
    deselected = len(terminalreporter.stats.get("deselected", []))
    if deselected:
        markexpr = config.option.markexpr
        lines.append(f"{step}: {deselected} deselected" + (f" by -m {markexpr!r}" if markexpr else ""))
    with open(path, "a", encoding="utf-8") as out:
        out.writelines(line + "\n" for line in lines)
