"""Dispatch on the command name, the response envelope, and tier-batch."""

import json
import random

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import mnemoweaver_engine_native as engine
from conftest import result_of, run_error
from engine_model import TIER_INPUT

ITEM = '{"days_since_recall": 2, "retrieval_count": 1, "importance": 0.5, "frequency": 0.5}'


@pytest.mark.parametrize(
    "command, message",
    [
        ("nope", "unknown command: nope"),
        ("", "unknown command: "),
        ("Tier", "unknown command: Tier"),
        ("tier ", "unknown command: tier "),
        (" tier", "unknown command:  tier"),
        ("tier-Batch", "unknown command: tier-Batch"),
        ("tier_batch", "unknown command: tier_batch"),
        ("scores", "unknown command: scores"),
        ("SCORE", "unknown command: SCORE"),
        ("tie", "unknown command: tie"),
        ("tier\0", "unknown command: tier\0"),
        ("tiér", "unknown command: tiér"),
        ('"quoted"\n', 'unknown command: "quoted"\n'),
    ],
)
def test_unknown_commands_are_named_verbatim(command, message):
    assert run_error(command, ITEM) == message


def test_whole_responses():
    assert engine.run("tier", ITEM) == (
        '{"ok":true,"result":{"action":"inject_to_prompt","retention":0.09631193509101253,"tier":"hot"}}'
    )
    assert engine.run("score", "[0,0,0,0]") == (
        '{"ok":true,"result":{"boost":1.0,"retention":1.0,"stability":0.001}}'
    )
    assert engine.run("tier-batch", '{"items":[]}') == '{"ok":true,"result":{"decisions":[]}}'
    # trailing whitespace is not a syntax fault
    assert engine.run("score", "[0,0,0,0] \n") == engine.run("score", "[0,0,0,0]")


def test_tier_batch_keeps_item_order_and_ignores_other_members():
    payload = '{"items": [[0, 0, 0, 0], [1000, 0, 0, 0, false, true]], "note": 1}'
    assert result_of("tier-batch", payload) == (
        '{"decisions":[{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"},'
        '{"action":"keep_forever_tag","retention":1.0,"tier":"warm_semantic"}]}'
    )


ZERO_ITEM = '{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"}'
KEPT_ITEM = '{"action":"keep_forever_tag","retention":1.0,"tier":"warm_semantic"}'


@pytest.mark.parametrize(
    "payload, outcome",
    [
        # A payload of the usual shape, {"items": [plain items]}, is decided
        # straight from its text; anything after a good start that departs
        # from that shape must still be answered as the document says.
        (' \n{ "items" : [ [0,0,0,0] ,\n [1000,0,0,0,false,true] ] } \n', [ZERO_ITEM, KEPT_ITEM]),
        ('{"items": [[0,0,0,0], {"days_since_recall": 0, "retrieval_count": 0, "importance": 0, "frequency": 0, "note": [1]}]}', [ZERO_ITEM, ZERO_ITEM]),
        ('{"items": [[0,0,0,0]], "items": [[1000,0,0,0,false,true]]}', [KEPT_ITEM]),
        ('{"items": [[0,0,0,0]], "items": 5}', "missing required field: items"),
        ('{"items": [[0,0,0,0]]} x', "trailing characters at line 1 column 24"),
        ('{"items": [[0,0,0,0] [0,0,0,0]]}', "expected `,` or `]` at line 1 column 22"),
        ('{"items": [[0,0,0,0],]}', "trailing comma at line 1 column 22"),
        ('{"items": [[0,0,0,0]]', "EOF while parsing an object at line 1 column 21"),
        ('{"items": [[0,0,0,0]]]', "expected `,` or `}` at line 1 column 22"),
        ('{"items": [[0,0,0,0], [0,0,0,0,1]]}', "invalid type: integer `1`, expected a boolean"),
    ],
)
def test_tier_batch_departures_from_the_usual_shape(payload, outcome):
    if isinstance(outcome, str):
        assert run_error("tier-batch", payload) == outcome
    else:
        assert result_of("tier-batch", payload) == '{"decisions":[' + ",".join(outcome) + "]}"


finite = st.floats(allow_nan=False, allow_infinity=False)
values = {f.name: finite if f.kind == "f64" else st.booleans() for f in TIER_INPUT.fields}
tier_items = st.one_of(
    st.integers(TIER_INPUT.required, len(TIER_INPUT.fields)).flatmap(
        lambda n: st.tuples(*(values[name] for name in TIER_INPUT.names[:n])).map(list)),
    st.fixed_dictionaries(
        {f.name: values[f.name] for f in TIER_INPUT.fields if f.required},
        optional={**{f.name: values[f.name] for f in TIER_INPUT.fields if not f.required},
                  "note": st.text()},
    ),
)


@settings(max_examples=200, deadline=None)
@given(st.lists(tier_items, max_size=20))
def test_tier_batch_equals_single_tier_calls(items):
    singles = [result_of("tier", json.dumps(item)) for item in items]
    assert result_of("tier-batch", json.dumps({"items": items})) == (
        '{"decisions":[' + ",".join(singles) + "]}"
    )


def long_batch_items(count, seed=5):
    rng = random.Random(seed)
    items = []
    for _ in range(count):
        values = [round(rng.uniform(0, 400), 2), rng.randint(0, 60), rng.random(), rng.random()]
        items.append(values if rng.random() < 0.3 else dict(zip(TIER_INPUT.names, values, strict=False)))
    return items


# Long enough (over 256 KiB) to be read in parts on a machine of two or more
# processors: the parts' answers and first fault are the one pass's.
@pytest.mark.parametrize(
    "fault, message",
    [
        (None, None),
        ([0, 0, 0, 0, 1], "invalid type: integer `1`, expected a boolean"),
        ("[0,0,0,,0]", "expected value at line 1 column {}"),
    ],
)
def test_a_long_batch_answers_as_single_calls(fault, message):
    items = long_batch_items(4000)
    if fault is None:
        singles = [result_of("tier", json.dumps(item)) for item in items]
        assert result_of("tier-batch", json.dumps({"items": items})) == (
            '{"decisions":[' + ",".join(singles) + "]}"
        )
        return
    items[3500] = [0, 0, 0, 0, False]
    payload = json.dumps({"items": items})
    payload = payload.replace("[0, 0, 0, 0, false]", json.dumps(fault) if isinstance(fault, list) else fault)
    if "{}" in message:
        message = message.format(payload.index(",,") + 2)
    assert len(payload) > 256 << 10
    assert run_error("tier-batch", payload) == message


@pytest.mark.parametrize(
    "command, payload, message",
    [
        # records that end inside a number, a key or a value
        ("score", "[2e1,-", "EOF while parsing a value at line 1 column 6"),
        ("tier", "[-", "EOF while parsing a value at line 1 column 2"),
        ("tier", "[1,2,3,4,t", "EOF while parsing a value at line 1 column 10"),
        ("score", '{"days_since_recall":-', "EOF while parsing a value at line 1 column 22"),
        ("score", '{"days_since_recall":1.', "EOF while parsing a value at line 1 column 23"),
        ("tier", '{"days_since_recall', "EOF while parsing a string at line 1 column 19"),
        ("tier-batch", '{"items":[[0,0,0,-', "EOF while parsing a value at line 1 column 18"),
        ("tier-batch", '{"items":[[0,0,0,0],[1e', "EOF while parsing a value at line 1 column 23"),
    ],
)
def test_records_cut_short(command, payload, message):
    assert run_error(command, payload) == message
