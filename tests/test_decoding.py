"""Record decoding: which shapes a record may take, and the message of every
fault, in the order faults are looked for."""

import pytest

from conftest import run_error
from engine_model import RETENTION_INPUT, TIER_INPUT

TIER_ARRAY = TIER_INPUT.array_expectation()
RET_ARRAY = RETENTION_INPUT.array_expectation()
FULL = '"days_since_recall": 1, "retrieval_count": 2, "importance": 0.5, "frequency": 0.1'
# The longest array a TierInput may be, less its closing bracket: the
# numbers, then every flag.
TIER_LONGEST = len(TIER_INPUT.fields)
TIER_FULL = "[1, 2, 0.5, 0.1" + ", true" * (TIER_LONGEST - TIER_INPUT.required)


@pytest.mark.parametrize(
    "payload, tier_message, score_message",
    [
        # neither object nor array
        ("null", "invalid type: null, expected struct TierInput", "invalid type: null, expected struct RetentionInput"),
        ("5", "invalid type: integer `5`, expected struct TierInput", "invalid type: integer `5`, expected struct RetentionInput"),
        ("-5", "invalid type: integer `-5`, expected struct TierInput", None),
        ("2.0", "invalid type: floating point `2.0`, expected struct TierInput", None),
        ("true", "invalid type: boolean `true`, expected struct TierInput", None),
        ('"x"', 'invalid type: string "x", expected struct TierInput', 'invalid type: string "x", expected struct RetentionInput'),
        # absences, looked for in declaration order after all entries
        ("{}", "missing field `days_since_recall`", "missing field `days_since_recall`"),
        ('{"days_since_recall": 1}', "missing field `retrieval_count`", "missing field `retrieval_count`"),
        ('{"days_since_recall": 0, "retrieval_count": 0}', "missing field `importance`", "missing field `importance`"),
        ('{"days_since_recall": 0, "retrieval_count": 0, "importance": 0}', "missing field `frequency`", "missing field `frequency`"),
        # keys are exact and case-sensitive
        ('{"days_since_recall": 0, "retrieval_count": 0, "Importance": 0, "frequency": 0}', "missing field `importance`", "missing field `importance`"),
        ('{"days_since_recall ": 0}', "missing field `days_since_recall`", None),
        # type faults come before absences, the smallest key first
        ('{"frequency": "x"}', 'invalid type: string "x", expected f64', 'invalid type: string "x", expected f64'),
        ('{"retrieval_count": "x", "importance": "y", "days_since_recall": 1, "frequency": 1}', 'invalid type: string "y", expected f64', None),
        ('{"days_since_recall": 1, "retrieval_count": "x", "importance": 0.5, "frequency": true}', "invalid type: boolean `true`, expected f64", None),
        ('{"days_since_recall": 1, "retrieval_count": "2", "importance": null, "frequency": 1}', "invalid type: null, expected f64", "invalid type: null, expected f64"),
        ('{"days_since_recall": "1"}', 'invalid type: string "1", expected f64', None),
        ('{"importance": [], "days_since_recall": 0}', "invalid type: sequence, expected f64", None),
        ('{"importance": {}, "days_since_recall": 0}', "invalid type: map, expected f64", None),
        # flags: only true and false; score ignores them as unknown keys
        ("{" + FULL + ', "keep_forever": 1}', "invalid type: integer `1`, expected a boolean", None),
        ("{" + FULL + ', "keep_forever": null}', "invalid type: null, expected a boolean", None),
        ("{" + FULL + ', "is_procedural": -0.5}', "invalid type: floating point `-0.5`, expected a boolean", None),
        ("{" + FULL + ', "is_procedural": "true", "keep_forever": 0}', 'invalid type: string "true", expected a boolean', None),
        # array form: element by element, then the length
        ("[]", f"invalid length 0, expected {TIER_ARRAY}", f"invalid length 0, expected {RET_ARRAY}"),
        ("[1, 2]", f"invalid length 2, expected {TIER_ARRAY}", f"invalid length 2, expected {RET_ARRAY}"),
        ("[1, 2, 0.5]", f"invalid length 3, expected {TIER_ARRAY}", f"invalid length 3, expected {RET_ARRAY}"),
        ('[1, "x"]', 'invalid type: string "x", expected f64', 'invalid type: string "x", expected f64'),
        ("[1, true, 0.5, 0.1]", "invalid type: boolean `true`, expected f64", "invalid type: boolean `true`, expected f64"),
        ('[1, "2", 0.5, 0.1, 7]', 'invalid type: string "2", expected f64', 'invalid type: string "2", expected f64'),
        ("[1, 2, 0.5, 0.1, 0, false]", "invalid type: integer `0`, expected a boolean", "invalid length 6, expected fewer elements in array"),
        ("[1, 2, 0.5, 0.1, true, null]", "invalid type: null, expected a boolean", None),
        ('[1, 2, 0.5, 0.1, "x"]', 'invalid type: string "x", expected a boolean', "invalid length 5, expected fewer elements in array"),
        (TIER_FULL + ', "x"]', f"invalid length {TIER_LONGEST + 1}, expected fewer elements in array",
         f"invalid length {TIER_LONGEST + 1}, expected fewer elements in array"),
        (TIER_FULL + ", {}, []]", f"invalid length {TIER_LONGEST + 2}, expected fewer elements in array", None),
    ],
)
def test_decoding_faults(payload, tier_message, score_message):
    if tier_message is not None:
        assert run_error("tier", payload) == tier_message
    if score_message is not None:
        assert run_error("score", payload) == score_message


@pytest.mark.parametrize(
    "json_string, literal",
    [
        ('"abc"', '"abc"'),
        ('"a\\nb\\"c"', '"a\\nb\\"c"'),
        ('"\\\\ \\t \\r \\u0000"', '"\\\\ \\t \\r \\0"'),
        ('"\\u0001\\u001f\\u007f\\b\\f/"', '"\\u{1}\\u{1f}\\u{7f}\\u{8}\\u{c}/"'),
        ('"é ü 日本 😀 \'"', '"é ü 日本 😀 \'"'),
        # C1 controls, non-breaking and other spaces, format characters,
        # separators, private use, unassigned, combining marks
        ('"\\u0085\\u00a0\\u2003\\u3000"', '"\\u{85}\\u{a0}\\u{2003}\\u{3000}"'),
        ('"\\u00ad\\u200b\\u200d\\ufeff"', '"\\u{ad}\\u{200b}\\u{200d}\\u{feff}"'),
        ('"\\u2028\\u2029"', '"\\u{2028}\\u{2029}"'),
        ('"\\ue000\\udbff\\udfff"', '"\\u{e000}\\u{10ffff}"'),
        ('"\\u0378\\uffff"', '"\\u{378}\\u{ffff}"'),
        ('"e\\u0301\\u20dd"', '"e\\u{301}\\u{20dd}"'),
    ],
)
def test_string_wording_in_messages(json_string, literal):
    assert run_error("score", json_string) == f"invalid type: string {literal}, expected struct RetentionInput"


@pytest.mark.parametrize(
    "number, wording",
    [
        ("18446744073709551615", "integer `18446744073709551615`"),
        ("-9223372036854775808", "integer `-9223372036854775808`"),
        ("1e20", "floating point `1e+20`"),
        ("1.5", "floating point `1.5`"),
        ("-0", "floating point `-0.0`"),
    ],
)
def test_number_wording_in_messages(number, wording):
    assert run_error("score", number) == f"invalid type: {wording}, expected struct RetentionInput"


@pytest.mark.parametrize(
    "payload",
    [
        # unknown keys of any kind are skipped unexamined
        "{" + FULL + ', "note": [1, 2], "nested": {"days_since_recall": "x"}, "Keep_forever": null}',
        # the last duplicate wins before decoding sees the object
        '{"days_since_recall": "x", "days_since_recall": 1, "retrieval_count": 2, "importance": 0.5, "frequency": 0.1}',
        "[1, 2, 0.5, 0.1]",
        "[1.0, 2.0, 0.5, 0.1, false]",
        "[1, 2, 0.5, 0.1, false, false]",
        "{" + FULL + ', "is_procedural": false, "keep_forever": false}',
    ],
)
def test_equivalent_forms_decode_to_the_same_record(engine_run, payload):
    reference = engine_run("tier", "[1, 2, 0.5, 0.1]")
    assert engine_run("tier", payload) == reference
