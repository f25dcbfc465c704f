"""The engine as the tests know it, written once in plain Python: the names
of its commands, the fields of its two records, the reasons of a payload
that is not JSON, the retention formula and the tier rules. The tests compare the module with it (and check that the
copies of these names elsewhere agree with it, tests/test_facts.py); the
benchmark's Python contender (bench/python_model.py) scores with it."""

import math
from typing import NamedTuple

# Why a payload is not one JSON document: the reason that starts the message,
# before " at line L column C".
SYNTAX_REASONS = (
    "EOF while parsing a value", "EOF while parsing a list", "EOF while parsing an object",
    "EOF while parsing a string", "expected value", "expected `:`", "expected `,` or `]`",
    "expected `,` or `}`", "expected ident", "key must be a string", "trailing comma",
    "trailing characters", "invalid number", "number out of range", "invalid escape",
    "control character (\\u0000-\\u001F) found while parsing a string",
    "lone leading surrogate in hex escape", "unexpected end of hex escape",
    "recursion limit exceeded",
)

# The tier rules in the order they are tried: (action, tier) of each.
RULES = (
    ("keep_forever_tag", "warm_semantic"),
    ("inject_to_prompt", "hot"),
    ("keep_procedural", "warm_procedural"),
    ("long_term_semantic", "warm_semantic"),
    ("spaced_repetition", "warm_episodic"),
    ("archive_on_demand", "cold"),
    ("maintain_warm", "warm_episodic"),
)


class Field(NamedTuple):
    name: str
    kind: str  # "f64" or "boolean"
    required: bool


class Record(NamedTuple):
    type_name: str
    fields: tuple[Field, ...]

    @property
    def names(self):
        return tuple(f.name for f in self.fields)

    @property
    def required(self):
        """How many fields an array form must have at least: the required
        fields come first."""
        return sum(f.required for f in self.fields)

    def struct(self):
        """How messages name the record: "struct TierInput"."""
        return f"struct {self.type_name}"

    def array_expectation(self):
        """What a message says an array too short should have been."""
        return f"struct {self.type_name} with {len(self.fields)} elements"


_NUMBERS = tuple(Field(name, "f64", True) for name in
                 ("days_since_recall", "retrieval_count", "importance", "frequency"))
TIER_INPUT = Record("TierInput", (*_NUMBERS, Field("is_procedural", "boolean", False),
                                  Field("keep_forever", "boolean", False)))
RETENTION_INPUT = Record("RetentionInput", _NUMBERS)


class Reads(NamedTuple):
    """What a command reads: its record, and whether the payload is one
    record or an object whose "items" array holds the records."""
    record: Record
    batch: bool


READS = {
    "score": Reads(RETENTION_INPUT, batch=False),
    "tier": Reads(TIER_INPUT, batch=False),
    "tier-batch": Reads(TIER_INPUT, batch=True),
}
COMMANDS = tuple(READS)


def _clamp_unit(x):
    c = 0.0 if x < 0.0 else x
    return 1.0 if c > 1.0 else c


def score(days_since_recall, retrieval_count, importance, frequency):
    """(retention, stability, boost), with the engine's order of operations."""
    count = retrieval_count if retrieval_count > 0.0 else 0.0
    s = math.log(count + 1.0)
    stability = s if s > 0.001 else 0.001
    age = days_since_recall if days_since_recall > 0.0 else 0.0
    decay = math.exp((-age) / stability)
    boost = ((count * 0.45 + 1.0) + _clamp_unit(importance) * 0.3) + _clamp_unit(frequency) * 0.25
    product = decay * boost
    retention = 0.0 if product < 0.0 else product
    return (10.0 if retention > 10.0 else retention), stability, boost


def decide(days_since_recall, retrieval_count, importance, frequency, is_procedural=False,
           keep_forever=False):
    """The decision of a TierInput: {"action", "retention", "tier"}."""
    if keep_forever:
        return {"action": RULES[0][0], "retention": 1.0, "tier": RULES[0][1]}
    days, count = days_since_recall, retrieval_count
    r = score(days, count, importance, frequency)[0]
    if days <= 7.0 and count > 0.0:
        rule = 1
    elif count >= 3.0 and is_procedural:
        rule = 2
    elif r >= 0.8:
        rule = 3
    elif days <= 30.0 and r >= 0.65:
        rule = 4
    elif days >= 180.0 or r < 0.4:
        rule = 5
    else:
        rule = 6
    action, tier = RULES[rule]
    return {"action": action, "retention": r, "tier": tier}
