"""The retention formula and the tier decision, through the score and tier
commands, to the last digit."""

import json
import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import result_of


@pytest.mark.parametrize(
    "item, boost, retention, stability",
    [
        ("[0,0,0,0]", "1.0", "1.0", "0.001"),
        ("[1,0,0,0]", "1.0", "0.0", "0.001"),
        ("[0.0005,0,0,0]", "1.0", "0.6065306597126334", "0.001"),
        # the boost is summed left to right from the retrieval term
        ("[2,1,0.5,1]", "1.8499999999999999", "0.10329106082224533", "0.6931471805599453"),
        ("[10,3,0.5,0.2]", "2.55", "0.0018783118732797512", "1.3862943611198906"),
        ("[3,5,0.8,0.4]", "3.5900000000000003", "0.6728857828729203", "1.791759469228055"),
        ("[0,20,1,1]", "10.55", "10.0", "3.044522437723423"),
        ("[-5,-2,-1,2]", "1.25", "1.25", "0.001"),
        # log of the rounded sum 1.1, not log1p(0.1)
        ("[0,0.1,0,0]", "1.045", "1.045", "0.09531017980432493"),
        ("[0,1e308,0,0]", "4.5e+307", "10.0", "709.1962086421661"),
        ("[0,0.0010005,0,0]", "1.000450225", "1.000450225", "0.001"),
        ("[-0.0,-0.0,-0.0,-0.0]", "1.0", "1.0", "0.001"),
        ("[2,1,0.5,0.5]", "1.7249999999999999", "0.09631193509101253", "0.6931471805599453"),
        ('{"days_since_recall": 0, "retrieval_count": 0, "importance": 0, "frequency": 0, "keep_forever": true}',
         "1.0", "1.0", "0.001"),
    ],
)
def test_score(item, boost, retention, stability):
    assert result_of("score", item) == f'{{"boost":{boost},"retention":{retention},"stability":{stability}}}'


def decision(item):
    return json.loads(result_of("tier", item))


@pytest.mark.parametrize(
    "item, action, tier, retention",
    [
        ("[0,1,0.5,0.5,false,false]", "inject_to_prompt", "hot", 1.7249999999999999),
        ("[1000,0,0,0,false,true]", "keep_forever_tag", "warm_semantic", 1.0),
        ("[1000,5,1,1,true,true]", "keep_forever_tag", "warm_semantic", 1.0),
        # rule 1: recent (inclusive 7 days, negative ages too) with a positive count
        ("[7,0.5,0,0]", "inject_to_prompt", "hot", None),
        ("[7.000001,0.5,0,0]", "archive_on_demand", "cold", None),
        ("[7,0,0,0]", "archive_on_demand", "cold", 0.0),
        ("[-5,1,0,0]", "inject_to_prompt", "hot", 1.45),
        ("[0,100,0,0]", "inject_to_prompt", "hot", 10.0),
        ("[0,1e-300,0,0]", "inject_to_prompt", "hot", None),
        # rule 2: procedural with at least 3 retrievals, after rule 1
        ("[10,3,0,0,true]", "keep_procedural", "warm_procedural", None),
        ("[10,2.9,0,0,true]", "archive_on_demand", "cold", None),
        ("[5,3,0,0,true]", "inject_to_prompt", "hot", None),
        ("[10,3,0,0,false]", "archive_on_demand", "cold", None),
        # rule 3: retention at least 0.8, before the age test of rule 5
        ("[0,0,0,0]", "long_term_semantic", "warm_semantic", 1.0),
        ("[0,0,2,-1]", "long_term_semantic", "warm_semantic", 1.3),
        ("[8,30,0,0]", "long_term_semantic", "warm_semantic", None),
        ("[180,1000000,0,0]", "long_term_semantic", "warm_semantic", None),
        ("[-1,0,0,0]", "long_term_semantic", "warm_semantic", 1.0),
        # rule 4: up to 30 days with retention at least 0.65
        ("[10,30,0,0]", "spaced_repetition", "warm_episodic", None),
        ("[40,680,0,0]", "maintain_warm", "warm_episodic", None),
        # rule 5: 180 days or more, or retention strictly below 0.4
        ("[180,640000,0,0]", "archive_on_demand", "cold", None),
        ("[179,640000,0,0]", "maintain_warm", "warm_episodic", None),
        ("[0.75,0,0,0]", "archive_on_demand", "cold", 0.0),
    ],
)
def test_tier_cascade(item, action, tier, retention):
    d = decision(item)
    assert (d["action"], d["tier"]) == (action, tier)
    if retention is not None:
        assert d["retention"] == retention


def retention_for(days, count):
    return json.loads(result_of("score", f"[{days},{count},0,0]"))["retention"]


def count_with_retention(days, target, above):
    """A retrieval count whose retention at `days` lies just above (or below)
    `target`, found by bisection on the engine's own scores."""
    lo, hi = 0.0, 1e12
    for _ in range(200):
        mid = (lo + hi) / 2
        if retention_for(days, mid) >= target:
            hi = mid
        else:
            lo = mid
    return hi if above else lo


@pytest.mark.parametrize(
    "days, target, at_or_above, below",
    [
        (20, 0.8, "long_term_semantic", "spaced_repetition"),
        (20, 0.65, "spaced_repetition", "maintain_warm"),
        (60, 0.4, "maintain_warm", "archive_on_demand"),
    ],
)
def test_retention_thresholds_from_both_sides(days, target, at_or_above, below):
    up = count_with_retention(days, target, above=True)
    down = count_with_retention(days, target, above=False)
    assert retention_for(days, up) >= target > retention_for(days, down)
    assert decision(f"[{days},{up!r},0,0]")["action"] == at_or_above
    assert decision(f"[{days},{down!r},0,0]")["action"] == below


finite = st.floats(allow_nan=False, allow_infinity=False, width=64)
items = st.tuples(finite, finite, finite, finite, st.booleans(), st.booleans())


@settings(max_examples=500, deadline=None)
@given(items)
def test_score_and_tier_agree_to_the_bit(item):
    days, count, importance, frequency, procedural, forever = item
    numbers = f"[{days!r},{count!r},{importance!r},{frequency!r}"
    score = json.loads(result_of("score", numbers + "]"))
    tier = decision(numbers + f",{json.dumps(procedural)},{json.dumps(forever)}]")
    if forever:
        assert (tier["retention"], tier["action"]) == (1.0, "keep_forever_tag")
    else:
        assert math.copysign(1, tier["retention"]) == math.copysign(1, score["retention"])
        assert tier["retention"] == score["retention"]
    assert 0.0 <= score["retention"] <= 10.0
    assert score["stability"] >= 0.001
    assert score["boost"] >= 1.0
