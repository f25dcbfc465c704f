"""The shipped examples and the sample store, and `run` in worker processes."""

import json
import multiprocessing
import pathlib
import pickle
import re
import subprocess
import sys
from concurrent.futures import ProcessPoolExecutor

import pytest

import mnemoweaver_engine_native as engine
from engine_model import TIER_INPUT

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"
sys.path.insert(0, str(EXAMPLES))

import make_sample_store  # noqa: E402
import memstore  # noqa: E402

SAMPLE = EXAMPLES / "sample_store.json"
NO_DASK = 'no Dask: python3 -m pip install "dask[distributed]"'


def run_example(name, *args, status=0):
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / name), *map(str, args)],
        capture_output=True,
        text=True,
        check=False,
    )
    assert done.returncode == status, done.stderr
    return done.stdout if status == 0 else done.stderr


def table_lines(text):
    """The lines of a rendered summary, less the one with the mean retention,
    whose last digit may depend on the order in which parts were added."""
    return [line for line in text.splitlines() if not line.startswith("retention:")]


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_run_pickles_by_reference(protocol):
    data = pickle.dumps(engine.run, protocol)
    assert b"mnemoweaver_engine_native" in data
    assert len(data) < 100  # a module and a name, nothing else
    assert pickle.loads(data) is engine.run


@pytest.mark.parametrize("method", ["fork", "forkserver", "spawn"])
def test_run_works_in_worker_processes(method):
    requests = [
        ("score", "[2,1,0.5,1]"),
        ("tier", '{"days_since_recall":0,"retrieval_count":1,"importance":0.5,"frequency":0.5}'),
        ("tier-batch", '{"items":[[0,0,0,0],[1000,0,0,0,false,true]]}'),
    ]
    context = multiprocessing.get_context(method)
    with ProcessPoolExecutor(2, mp_context=context) as pool:
        answers = list(pool.map(engine.run, *zip(*requests, strict=True)))
        failure = pool.submit(engine.run, "tier", "{}").exception()
    assert answers == [engine.run(command, payload) for command, payload in requests]
    assert type(failure) is RuntimeError
    assert failure.args == ("missing field `days_since_recall`",)


def test_sample_store_is_what_its_generator_writes():
    assert SAMPLE.read_text(encoding="utf-8") == make_sample_store.store_text()


def test_sample_store_has_every_form_and_every_decision():
    text = SAMPLE.read_text(encoding="utf-8")
    items = json.loads(text)["items"]
    assert len(items) == 3000
    objects = [item for item in items if isinstance(item, dict)]
    arrays = [item for item in items if isinstance(item, list)]
    assert len(objects) > 1000
    assert len(arrays) > 500
    assert {len(item) for item in arrays} == {4, 5, 6}
    assert any("is_procedural" not in item for item in objects)
    assert any(item.get("keep_forever") for item in objects)
    decisions = memstore.tier_all(text)
    assert len(decisions) == len(items)
    assert {(d["tier"], d["action"]) for d in decisions} == set(memstore.TIER_ACTIONS)


def test_tier_store_reports_every_item():
    out = run_example("tier_store.py")
    # The same without orjson: the examples fall back on the json module.
    without_orjson = (
        "import runpy, sys\n"
        f"sys.modules['orjson'] = None; sys.path.insert(0, {str(EXAMPLES)!r})\n"
        f"runpy.run_path({str(EXAMPLES / 'tier_store.py')!r}, run_name='__main__')\n"
    )
    done = subprocess.run([sys.executable, "-c", without_orjson], capture_output=True, text=True, check=True)
    assert done.stdout == out
    assert out.startswith("sample_store.json: 3,000 items\n")
    assert "\ntotal                                   3,000\n" in out
    for tier, action in memstore.TIER_ACTIONS:
        assert f"\n{tier:<17}{action:<20}" in out


@pytest.fixture
def shards(tmp_path):
    plan = memstore.shard_plan(tmp_path, 900, 4, seed=5)
    return [memstore.write_shard(*args) for args in plan]


def test_parallel_example_agrees_with_one_process(shards):
    lines = [line for path in shards for line in path.read_text().splitlines()]
    assert len(lines) == 900
    single = memstore.Summary().add(memstore.tier_all(memstore.batch_payload(lines)))
    out = run_example("parallel_tier.py", "--workers", 2, *shards)
    head, table = out.split("\n\n", 1)
    assert re.fullmatch(r"tiered 900 items in 4 shards on 2 worker processes in [0-9.]+ s", head)
    assert table_lines(table) == table_lines(single.render())


def test_parallel_example_writes_and_tiers_a_demo_store():
    out = run_example("parallel_tier.py", "--workers", 2, "--items", 500, "--shards", 3)
    assert "writing a demo store of 500 items as 3 shards" in out
    assert "tiered 500 items in 3 shards on 2 worker processes" in out
    assert "\ntotal                                     500\n" in out


def test_dask_example_agrees_with_one_process(shards):
    pytest.importorskip("distributed", reason=NO_DASK)
    from dask.distributed import Client, LocalCluster

    import dask_tier

    with LocalCluster(n_workers=2, threads_per_worker=1) as cluster, Client(cluster):
        summary = dask_tier.tier_store([str(path) for path in shards])
    single = memstore.summarise_lines(line for path in shards for line in path.open())
    assert table_lines(summary.render()) == table_lines(single.render())
    assert summary.count == 900


def test_dask_example_without_dask_says_how_to_install_it():
    script = EXAMPLES / "dask_tier.py"
    without_dask = (
        "import runpy, sys\n"
        f"sys.modules['dask'] = None; sys.argv = [{str(script)!r}, '--help']; sys.path.insert(0, {str(EXAMPLES)!r})\n"
        f"runpy.run_path({str(script)!r}, run_name='__main__')\n"
    )
    done = subprocess.run([sys.executable, "-c", without_dask], capture_output=True, text=True, check=False)
    assert (done.returncode, done.stdout, done.stderr.count("\n")) == (1, "", 1), done.stderr
    assert done.stderr.startswith("dask_tier.py: needs Dask (")
    assert done.stderr.endswith('): python3 -m pip install "dask[distributed]"\n')


@pytest.mark.parametrize(
    "text, message",
    [
        (None, "cannot read {store}: No such file or directory"),
        ('{"items": [[1, 2, 0.5, 0.1],', "cannot tier {store}: EOF while parsing a value at line 1 column 28"),
        ('{"items": [[1, 2, 0.5, 0.1], [1, 2, 0.5], {"x": 1}]}', "cannot tier {store}: item index 1: invalid length 3, expected " + TIER_INPUT.array_expectation()),
        ("[]", "cannot tier {store}: missing required field: items"),
    ],
)
def test_tier_store_fails_in_one_line(tmp_path, text, message):
    store = tmp_path / "store.json"
    if text is not None:
        store.write_text(text)
    err = run_example("tier_store.py", store, status=1)
    assert err == f"tier_store.py: {message.format(store=store)}\n"


@pytest.mark.parametrize("example", ["parallel_tier.py", "dask_tier.py"])
def test_scaling_examples_name_the_item_that_fails(shards, example):
    if example == "dask_tier.py":
        pytest.importorskip("distributed", reason=NO_DASK)
    lines = shards[2].read_text().splitlines()
    lines[40:41] = ["", '[1, "2", 0.5, 0.1]']  # a blank line is skipped, not counted as an item
    shards[2].write_text("\n".join(lines) + "\n")
    err = run_example(example, "--workers", 2, *shards, status=1)
    assert err == (
        f"{example}: {shards[2]}: line 42 (item index 40): invalid type: string \"2\", expected f64\n"
    )


def test_failing_item_is_found_in_a_long_batch():
    texts = ["[1, 2, 0.5, 0.1]"] * 1000
    assert memstore.failing_item(texts) is None
    for bad in (0, 1, 517, 999):
        assert memstore.failing_item([*texts[:bad], "[1]", *texts[bad:]]) == bad
