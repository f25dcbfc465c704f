"""Threads calling run() at the same time get exactly the answers of serial
calls, run() starts no thread of its own, and an interpreter other than the
first cannot import the module."""

import json
import os
import random
import subprocess
import sys
import threading
import time

import pytest

import mnemoweaver_engine_native as engine
from call_paths import CALLS, Call
from engine_model import RETENTION_INPUT


def outcome(call):
    result = call()
    if isinstance(result, BaseException):
        return type(result), result.args
    return "ok", result


def mixed_calls():
    """Every path of run() and a few hundred distinct items for each command."""
    rng = random.Random(20240611)
    calls = list(CALLS)
    items = []
    for i in range(200):
        item = [rng.uniform(-5, 400), rng.choice([0, 0.5, 1, 2.9, 3, 30, 680, 640000]),
                rng.uniform(-0.5, 1.5), rng.uniform(-0.5, 1.5)]
        flags = [rng.random() < 0.4, rng.random() < 0.1]
        items.append(item + flags)
        calls.append(Call(f"tier-{i}", "tier", json.dumps(item + flags)))
        calls.append(Call(f"score-{i}", "score", json.dumps(dict(
            zip(RETENTION_INPUT.names, item, strict=True)))))
    calls.append(Call("batch-of-all", "tier-batch", json.dumps({"items": items})))
    calls.append(Call("batch-failing-late", "tier-batch", json.dumps({"items": [*items, []]}),
                      raises=RuntimeError))
    return calls


@pytest.mark.stress
def test_threads_get_the_answers_of_serial_calls():
    calls = mixed_calls()
    expected = [outcome(c) for c in calls]
    threads, rounds = 16, 10
    barrier = threading.Barrier(threads)
    mismatches = []

    def worker(seed):
        order = list(range(len(calls)))
        random.Random(seed).shuffle(order)
        barrier.wait()
        for _ in range(rounds):
            for i in order:
                got = outcome(calls[i])
                if got != expected[i]:
                    mismatches.append((calls[i].name, got, expected[i]))

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        pool = [threading.Thread(target=worker, args=(seed,)) for seed in range(threads)]
        for t in pool:
            t.start()
        for t in pool:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert mismatches == []


# Long batches, in a child process that says when its calls begin; the
# parent counts the child's threads all the while.
LONG_BATCHES = """
import sys
import mnemoweaver_engine_native as engine
payload = '{"items":[' + ",".join(['[3.5,2,0.8,0.25,false,false]'] * 1_000_000) + ']}'
print("calling", flush=True)
for _ in range(6):
    engine.run("tier-batch", payload)
"""


def thread_count(pid):
    try:
        return len(os.listdir(f"/proc/{pid}/task"))
    except FileNotFoundError:  # the child has ended
        return 0


@pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="needs Linux's /proc/PID/task")
def test_long_batches_start_no_thread():
    child = subprocess.Popen([sys.executable, "-c", LONG_BATCHES], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "calling\n"
        before = thread_count(child.pid)
        counts = set()
        while child.poll() is None:
            counts.add(thread_count(child.pid))
            time.sleep(0.0005)
    finally:
        child.kill()
        child.wait()
    assert child.returncode == 0
    assert counts - {0} <= {before}, f"{before} thread(s) before the calls, {sorted(counts)} during them"


# Run inside the second interpreter: reports what importing the module did
# through a pipe, since the interpreters share no objects.
IMPORT_SCRIPT = """
import os, sys
sys.path.insert(0, {directory!r})
try:
    import mnemoweaver_engine_native
except ImportError as e:
    outcome = "ImportError: " + str(e)
except BaseException as e:
    outcome = type(e).__name__ + ": " + str(e)
else:
    outcome = "imported"
os.write({fd}, outcome.encode())
"""

OWN_REFUSAL = "ImportError: mnemoweaver_engine_native does not support sub-interpreters"


def xxsubinterpreters(isolated):
    def run(script):
        interpreters = pytest.importorskip(
            "_xxsubinterpreters", reason="no _xxsubinterpreters (CPython 3.13 renamed it): runs on 3.11 and 3.12")
        interp = interpreters.create(isolated=isolated)
        try:
            interpreters.run_string(interp, script)
        finally:
            interpreters.destroy(interp)
    return run


def interpreters_module(config):
    def run(script):
        interpreters = pytest.importorskip(
            "_interpreters", reason="no _interpreters (new in CPython 3.13): runs on 3.13 and later")
        interp = interpreters.create(config)
        try:
            assert interpreters.exec(interp, script) is None
        finally:
            interpreters.destroy(interp)
    return run


def in_testcapi_subinterp(script):
    testcapi = pytest.importorskip(
        "_testcapi", reason="no _testcapi: this CPython was built without its test modules")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("no _testcapi.run_in_subinterp")
    assert testcapi.run_in_subinterp(script) == 0


# Legacy sub-interpreters load single-phase modules, so the module's own
# check refuses; an isolated one of 3.12 and later refuses such modules
# itself, also with ImportError.
@pytest.mark.parametrize(
    "facility, own_check",
    [
        (xxsubinterpreters(isolated=False), True),
        (xxsubinterpreters(isolated=True), sys.version_info < (3, 12)),
        (interpreters_module("legacy"), True),
        (interpreters_module("isolated"), False),
        (in_testcapi_subinterp, True),
    ],
    ids=["xxsubinterpreters-legacy", "xxsubinterpreters-isolated", "interpreters-legacy",
         "interpreters-isolated", "testcapi"],
)
def test_second_interpreter_cannot_import(facility, own_check):
    read, write = os.pipe()
    try:
        facility(IMPORT_SCRIPT.format(directory=os.path.dirname(engine.__file__), fd=write))
        os.close(write)
        write = None
        with os.fdopen(read, "rb") as f:
            read = None
            outcome = f.read().decode()
    finally:
        for fd in (read, write):
            if fd is not None:
                os.close(fd)
    assert outcome.startswith("ImportError: "), outcome
    if own_check:
        assert outcome.startswith(OWN_REFUSAL), outcome
    else:
        assert "subinterpreters" in outcome or "sub-interpreters" in outcome, outcome
    # the first interpreter keeps its module
    assert engine.run("score", "[0, 0, 0, 0]").startswith('{"ok":true,')
