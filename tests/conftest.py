import collections
import os
import pathlib

import pytest
from hypothesis import HealthCheck, settings

import mnemoweaver_engine_native as engine

# Under emulation (tools/cross_test.sh passes --hypothesis-profile=emulated)
# every draw is many times slower, and hypothesis's first draw also scans the
# tests' sources: the speed checks would judge the emulator, not the code.
settings.register_profile("emulated", deadline=None, suppress_health_check=[HealthCheck.too_slow])

# A JSON conformance suite: MNEMO_JSON_SUITE names its folder (the one that
# holds test_parsing/), by default shared/jsontestsuite beside the checkout.
SHARED = pathlib.Path(__file__).resolve().parents[2] / "shared"
SUITE = pathlib.Path(os.environ.get("MNEMO_JSON_SUITE") or SHARED / "jsontestsuite")
JSON_SUITE = SUITE / "test_parsing"
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


def not_done(lines):
    """Appends to the file named by MNEMO_NOT_DONE what this run left out:
    tools/test.sh prints it at its end, so that a green run shows what it
    did not check."""
    path = os.environ.get("MNEMO_NOT_DONE")
    if path and lines:
        step = os.environ.get("NOX_CURRENT_SESSION", "pytest")  # set by nox
        with open(path, "a", encoding="utf-8") as out:
            out.writelines(f"{step}: {line}\n" for line in lines)


def pytest_terminal_summary(terminalreporter, config):
    """Each skip reason with its count, from the process that prints the
    summary (pytest-xdist's workers, if any, report their skips to it)."""
    if hasattr(config, "workerinput"):
        return
    reasons = collections.Counter()
    for report in terminalreporter.stats.get("skipped", []):
        reason = report.longrepr[2] if isinstance(report.longrepr, tuple) else str(report.longrepr)
        reasons[reason.removeprefix("Skipped: ")] += 1
    not_done([f"{count} skipped: {reason}" for reason, count in sorted(reasons.items())])


DESELECTED = []


def pytest_deselected(items):
    DESELECTED.extend(items)


def pytest_sessionfinish(session):
    """The deselected tests, counted where they are collected: in the one
    process, or in the first of pytest-xdist's workers, which all collect
    the same."""
    worker = getattr(session.config, "workerinput", {}).get("workerid", "gw0")
    if DESELECTED and worker == "gw0":
        markexpr = session.config.option.markexpr
        not_done([f"{len(DESELECTED)} deselected" + (f" by -m {markexpr!r}" if markexpr else "")])
