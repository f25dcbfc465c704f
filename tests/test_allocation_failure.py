"""Each allocation of the interpreter failed in turn, through the hook of
CPython's test builds (_testcapi.set_nomemory), during the module's import
in a fresh process and during calls: each ends in MemoryError or the
answer, never a crash, another exception, a wrong answer or a leaked
reference, and the module answers correctly afterwards."""

import json
import subprocess
import sys
import textwrap

import pytest

import mnemoweaver_engine_native as engine

pytestmark = pytest.mark.stress

try:
    from _testcapi import remove_mem_hooks, set_nomemory
except ImportError:
    pytest.skip("this interpreter has no _testcapi.set_nomemory", allow_module_level=True)

ITEM = '{"days_since_recall":3,"retrieval_count":2,"importance":0.5,"frequency":0.25}'
# A call is failed in turn until it has answered as the unfailed one does
# MARGIN times in a row (an allocation the interpreter recovers from answers
# too); MAX_ALLOCATIONS bounds the work.
MARGIN = 20
MAX_ALLOCATIONS = 2000


def outcome(call, *args):
    try:
        return call(*args)
    except MemoryError:
        return MemoryError
    except RuntimeError as error:
        return "error: " + error.args[0]


def failed_in_turn(call, *args):
    """How many allocations the call reached, and the endings of the runs
    in which one of them failed without the call answering as it should."""
    expected = outcome(call, *args)
    seen, reached = [], 0
    for n in range(1, MAX_ALLOCATIONS):
        set_nomemory(n, n + 1)
        try:
            got = outcome(call, *args)
        except BaseException as error:  # any other ending is the fault
            got = MemoryError if type(error) is MemoryError else error
        finally:
            remove_mem_hooks()
        if got != expected:
            seen.append(got)
            reached = n
        elif n - reached == MARGIN:
            return reached, seen
    pytest.fail(f"{call} still failing after {MAX_ALLOCATIONS} allocations")


CALLS = [
    ("score", ITEM),
    ("tier", "[40,1,0.2,0.1,true,false]"),
    ("tier-batch", '{"items":[' + ",".join([ITEM] * 100) + "]}"),
    ("tier", '{"days_since_recall":"' + "x\\n" * 200 + '"}'),
    ("score", '{"days_since_recall":3,}'),
    ("forget", "{}"),
]


@pytest.mark.parametrize("command, payload", CALLS, ids=[c for c, _ in CALLS])
def test_each_allocation_of_a_call_failed_in_turn(command, payload):
    expected = outcome(engine.run, command, payload)
    references = sys.getrefcount(command), sys.getrefcount(payload)
    reached, seen = failed_in_turn(engine.run, command, payload)
    print(f"{command}: {reached} allocations failed in turn")
    assert {repr(o) for o in seen} <= {repr(MemoryError)}
    assert (sys.getrefcount(command), sys.getrefcount(payload)) == references
    assert outcome(engine.run, command, payload) == expected


IMPORT_IN_TURN = """
    import importlib.util, json, sys
    from _testcapi import remove_mem_hooks, set_nomemory
    found = importlib.util.find_spec("mnemoweaver_engine_native")
    def load():
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        return module
    endings = {}
    for n in range(1, %d):
        set_nomemory(n, n + 1)
        try:
            module = load()
        except BaseException as error:
            module = error
        finally:
            remove_mem_hooks()
        if not isinstance(module, BaseException):
            break
        ending = type(module).__name__
        endings[ending] = endings.get(ending, 0) + 1
    module = load()
    print(json.dumps({"reached": n, "endings": endings, "all": module.__all__,
                      "answer": module.run("score", "[0,0,0,0]")}))
"""


def test_each_allocation_of_the_import_failed_in_turn():
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(IMPORT_IN_TURN % MAX_ALLOCATIONS)],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    report = json.loads(done.stdout)
    print(f"import: {report['reached'] - 1} allocations failed in turn")
    assert set(report["endings"]) <= {"MemoryError"}
    assert report["all"] == ["run"]
    assert report["answer"] == engine.run("score", "[0,0,0,0]")
