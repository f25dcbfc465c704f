"""Responses of the three commands, byte for byte: the examples of the
scoring model, and random items checked against a Python model of the
formula, the rules and the number text."""

import json

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import mnemoweaver_engine_native as engine
from conftest import run_error
from engine_model import TIER_INPUT, decide, score
from number_model import OUT_OF_RANGE, layout, number_texts, read_number

HEAD = '{"ok":true,"result":'


def decision_text(decision):
    return (f'{{"action":"{decision["action"]}","retention":{layout(decision["retention"])},'
            f'"tier":"{decision["tier"]}"}}')


@pytest.mark.parametrize(
    "payload, result",
    [
        ("[0,0,0,0]", '{"boost":1.0,"retention":1.0,"stability":0.001}'),
        ('{"days_since_recall":0,"retrieval_count":0,"importance":0,"frequency":0}',
         '{"boost":1.0,"retention":1.0,"stability":0.001}'),
        ("[2,1,0.5,1]", '{"boost":1.8499999999999999,"retention":0.10329106082224533,"stability":0.6931471805599453}'),
        ("[0,20,1,1]", '{"boost":10.55,"retention":10.0,"stability":3.044522437723423}'),
        ("[1,0,0,0]", '{"boost":1.0,"retention":0.0,"stability":0.001}'),
        ("[0,1e308,0,0]", '{"boost":4.5e+307,"retention":10.0,"stability":709.1962086421661}'),
        ("[0.0005,0,0,0]", '{"boost":1.0,"retention":0.6065306597126334,"stability":0.001}'),
        ("[10,3,0.5,0.2]", '{"boost":2.55,"retention":0.0018783118732797512,"stability":1.3862943611198906}'),
        ("[3,5,0.8,0.4]", '{"boost":3.5900000000000003,"retention":0.6728857828729203,"stability":1.791759469228055}'),
        ("[-5,-2,-1,2]", '{"boost":1.25,"retention":1.25,"stability":0.001}'),
        ("[0,0.1,0,0]", '{"boost":1.045,"retention":1.045,"stability":0.09531017980432493}'),
    ],
)
def test_score_results(payload, result):
    assert engine.run("score", payload) == HEAD + result + "}"


COUNTS = [*range(0, 300), -0.0, -3, 1e-300, 0.5, 2.5, 254.999, 255.0000001, 1023, 1024, 2**53, 1e308]


def test_stability_of_every_small_count():
    # Every small whole count, and counts beside them that must not be
    # taken for them.
    for count in COUNTS:
        stability = score(1, count, 0.5, 0.5)[1]
        text = engine.run("score", f"[1,{count!r},0.5,0.5]")
        assert json.loads(text)["result"]["stability"] == stability
        assert f',"stability":{layout(stability)}}}}}' in text, count


@pytest.mark.parametrize(
    "payload, result",
    [
        ('{"days_since_recall": 2, "retrieval_count": 1, "importance": 0.5, "frequency": 0.5}',
         '{"action":"inject_to_prompt","retention":0.09631193509101253,"tier":"hot"}'),
        ("[0,1,0.5,0.5,false,false]", '{"action":"inject_to_prompt","retention":1.7249999999999999,"tier":"hot"}'),
        ("[1000,0,0,0,false,true]", '{"action":"keep_forever_tag","retention":1.0,"tier":"warm_semantic"}'),
        ("[7,0,0,0]", '{"action":"archive_on_demand","retention":0.0,"tier":"cold"}'),
        ("[0,0,0,0]", '{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"}'),
        ("[-5,1,0,0]", '{"action":"inject_to_prompt","retention":1.45,"tier":"hot"}'),
        ("[0,100,0,0]", '{"action":"inject_to_prompt","retention":10.0,"tier":"hot"}'),
        ("[0,0,2,-1]", '{"action":"long_term_semantic","retention":1.3,"tier":"warm_semantic"}'),
    ],
)
def test_tier_results(payload, result):
    assert engine.run("tier", payload) == HEAD + result + "}"


@pytest.mark.parametrize(
    "item, action, tier",
    [
        ([7, 0.5, 0, 0], "inject_to_prompt", "hot"),
        ([7.000001, 0.5, 0, 0], "archive_on_demand", "cold"),
        ([10, 3, 0, 0, True], "keep_procedural", "warm_procedural"),
        ([10, 2.9, 0, 0, True], "archive_on_demand", "cold"),
        ([5, 3, 0, 0, True], "inject_to_prompt", "hot"),
        ([10, 30, 0, 0], "spaced_repetition", "warm_episodic"),
        ([8, 30, 0, 0], "long_term_semantic", "warm_semantic"),
        ([40, 680, 0, 0], "maintain_warm", "warm_episodic"),
        ([180, 640000, 0, 0], "archive_on_demand", "cold"),
        ([179, 640000, 0, 0], "maintain_warm", "warm_episodic"),
        ([180, 1000000, 0, 0], "long_term_semantic", "warm_semantic"),
    ],
)
def test_rule_cascade(item, action, tier):
    decision = json.loads(engine.run("tier", json.dumps(item)))["result"]
    assert (decision["action"], decision["tier"]) == (action, tier)


@pytest.mark.parametrize(
    "payload, result",
    [
        ('{"items": []}', '{"decisions":[]}'),
        ('{"items": [[0, 0, 0, 0], [1000, 0, 0, 0, false, true]], "note": 1}',
         '{"decisions":[{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"},'
         '{"action":"keep_forever_tag","retention":1.0,"tier":"warm_semantic"}]}'),
        # the last "items" wins, as for any repeated key
        ('{"items": 5, "items": [[0,0,0,0]]}',
         '{"decisions":[{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"}]}'),
        ('{"items": [5], "items": []}', '{"decisions":[]}'),
        # a key spelt with an escape is the same key
        ('{"\\u0069tems": [[1000,0,0,0,false,true]]}',
         '{"decisions":[{"action":"keep_forever_tag","retention":1.0,"tier":"warm_semantic"}]}'),
        # "items" inside an item is just an unknown key of the item
        ('{"items": [{"items": [], "days_since_recall": 0, "retrieval_count": 0,'
         ' "importance": 0, "frequency": 0}]}',
         '{"decisions":[{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"}]}'),
    ],
)
def test_tier_batch_results(payload, result):
    assert engine.run("tier-batch", payload) == HEAD + result + "}"


@pytest.mark.parametrize(
    "payload, message",
    [
        ("{}", "missing required field: items"),
        ("[]", "missing required field: items"),
        ("null", "missing required field: items"),
        ('{"item": []}', "missing required field: items"),
        ('{"items": {}}', "missing required field: items"),
        ('{"items": null}', "missing required field: items"),
        ('{"Items": []}', "missing required field: items"),
        ('{"items": [], "items": null}', "missing required field: items"),
        ('{"wrapper": {"items": []}}', "missing required field: items"),
        ('{"items": [[0, 0, 0, 0], 5, []]}', "invalid type: integer `5`, expected struct TierInput"),
        ('{"items": [{"days_since_recall": 3}]}', "missing field `retrieval_count`"),
        ('{"items": [[0,0,0,0], [0,0,0,0,1]]}', "invalid type: integer `1`, expected a boolean"),
        ('{"items": [[1, 2]], "items": [[1, 2, 3]]}',
         f"invalid length 3, expected {TIER_INPUT.array_expectation()}"),
        # the whole payload is read before any item is decoded
        ('{"items": [5, [0,0,0,0]]} x', "trailing characters at line 1 column 27"),
        ('{"items": [5, [0,0,0,0]', "EOF while parsing a list at line 1 column 23"),
        ('{"items": [5, [0,0,0,0]]', "EOF while parsing an object at line 1 column 24"),
        ('{"items": [5, [0,0,0,0,]]}', "trailing comma at line 1 column 24"),
        ('{"items": [[0,0,0,0]], "x": [1,]}', "trailing comma at line 1 column 32"),
    ],
)
def test_tier_batch_errors(payload, message):
    assert run_error("tier-batch", payload) == message


# Random items: numbers of many shapes, both record forms, fields in any
# order, unknown keys, and the whitespace a caller's serializer may put in.
record_numbers = st.one_of(
    number_texts.filter(lambda t: read_number(t) != OUT_OF_RANGE),
    st.integers(-1000, 10**6).map(str),
    st.floats(-10.0, 1000.0, allow_nan=False).map(repr),
    st.floats(allow_nan=False, allow_infinity=False).map(repr),
    st.tuples(st.integers(0, 999), st.integers(0, 99)).map(lambda t: f"{t[0]}.{t[1]:02d}"),
    st.tuples(st.integers(1, 9), st.integers(-12, 5)).map(lambda t: f"{t[0]}e{t[1]}"),
)
spaces = st.sampled_from(["", " ", "\n  ", "\t"])


# The fields the generator fills: the required numbers, then any of the
# optional fields in order (an array may stop after any of them).
REQUIRED = sum(f.required for f in TIER_INPUT.fields)
assert all(f.kind == "f64" for f in TIER_INPUT.fields[:REQUIRED])
assert all(f.kind == "boolean" for f in TIER_INPUT.fields[REQUIRED:])


@st.composite
def items(draw):
    numbers = draw(st.lists(record_numbers, min_size=REQUIRED, max_size=REQUIRED))
    flags = draw(st.lists(st.booleans(), max_size=len(TIER_INPUT.fields) - REQUIRED))
    values = numbers + ["true" if f else "false" for f in flags]
    sp = draw(spaces)
    if draw(st.booleans()):
        text = "[" + ("," + sp).join(values) + "]"
    else:
        entries = [f'"{name}":{sp}{value}' for name, value in zip(TIER_INPUT.names, values, strict=False)]
        entries += draw(st.lists(st.sampled_from(
            ['"note": "x\\n\\u00e9"', '"tags": [1, {"a": null}]', '"Importance": 5', '"z": {}']),
            max_size=2, unique=True))
        entries = draw(st.permutations(entries))
        text = "{" + sp + ("," + sp).join(entries) + sp + "}"
    inputs = [float(read_number(v)) for v in numbers]
    return text, numbers, decide(*inputs, *flags)


@settings(max_examples=200, deadline=None)
@given(st.lists(items(), max_size=30), spaces)
def test_tier_batch_matches_the_model(batch, sp):
    payload = "{" + sp + '"items":' + sp + "[" + ("," + sp).join(t for t, _, _ in batch) + "]" + sp + "}"
    expected = ",".join(decision_text(d) for _, _, d in batch)
    assert engine.run("tier-batch", payload) == HEAD + '{"decisions":[' + expected + "]}}"


@settings(max_examples=300, deadline=None)
@given(items())
def test_single_commands_agree_with_the_batch(item):
    text, numbers, decision = item
    assert engine.run("tier", text) == HEAD + decision_text(decision) + "}"
    batch = engine.run("tier-batch", '{"items":[' + text + "]}")
    assert batch == HEAD + '{"decisions":[' + decision_text(decision) + "]}}"
    scores = score(*(float(read_number(v)) for v in numbers))
    retention, stability, boost = (layout(x) for x in scores)
    assert engine.run("score", "[" + ",".join(numbers) + "]") == (
        HEAD + f'{{"boost":{boost},"retention":{retention},"stability":{stability}}}}}')
