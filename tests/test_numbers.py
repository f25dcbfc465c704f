"""Number text both ways: the reader's significand/exponent procedure and the
layout of doubles. A number placed where a boolean belongs is named in the
decoding message, which shows how it was read and how it is written."""

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import mnemoweaver_engine_native as engine
from conftest import result_of, run_error
from number_model import OUT_OF_RANGE, layout, number_texts, read_number


def wording(number_text):
    message = run_error("tier", f"[0,0,0,0,{number_text}]")
    head, tail = "invalid type: ", ", expected a boolean"
    assert message.startswith(head) and message.endswith(tail), message
    return message[len(head) : -len(tail)]


@pytest.mark.parametrize(
    "text, expected",
    [
        ("0", "integer `0`"),
        ("7", "integer `7`"),
        ("-3", "integer `-3`"),
        ("18446744073709551615", "integer `18446744073709551615`"),
        ("-9223372036854775808", "integer `-9223372036854775808`"),
        ("18446744073709551616", "floating point `1.8446744073709552e+19`"),
        ("-9223372036854775809", "floating point `-9.223372036854776e+18`"),
        ("-0", "floating point `-0.0`"),
        ("0.0", "floating point `0.0`"),
        ("-0.0", "floating point `-0.0`"),
        ("1.0", "floating point `1.0`"),
        ("1e0", "floating point `1.0`"),
        ("10.0", "floating point `10.0`"),
        ("0.1", "floating point `0.1`"),
        ("0.001", "floating point `0.001`"),
        ("0.00001", "floating point `0.00001`"),
        ("0.000012345", "floating point `0.000012345`"),
        ("0.000001", "floating point `1e-6`"),
        ("1e-7", "floating point `1e-7`"),
        ("1.5e-7", "floating point `1.5e-7`"),
        ("-2.5", "floating point `-2.5`"),
        ("100.25", "floating point `100.25`"),
        ("123456789.0", "floating point `123456789.0`"),
        ("1e15", "floating point `1000000000000000.0`"),
        ("1e16", "floating point `1e+16`"),
        ("1.5e16", "floating point `1.5e+16`"),
        ("1e20", "floating point `1e+20`"),
        ("1e21", "floating point `1e+21`"),
        # the 21st digit is dropped and counted in the exponent
        ("123456789012345678901", "floating point `1.2345678901234567e+20`"),
        ("1.7976931348623157e308", "floating point `1.7976931348623157e+308`"),
        ("5e-324", "floating point `5e-324`"),
        ("1e-400", "floating point `0.0`"),
        ("-1e-400", "floating point `-0.0`"),
        ("0e999999999999", "floating point `0.0`"),
        ("-0e999999999999", "floating point `-0.0`"),
        ("1e-99999999999", "floating point `0.0`"),
        ("9007199254740993", "integer `9007199254740993`"),
        # S = 90071992547409930 is rounded to a double before the division
        ("9007199254740993.0", "floating point `9007199254740994.0`"),
        # not correctly rounded beyond 2^53 and 10^22: the procedure decides
        ("8.988465674311579e307", "floating point `8.98846567431158e+307`"),
        ("1" * 300 + ".5", "floating point `1.1111111111111112e+299`"),
    ],
)
def test_number_values(text, expected):
    assert wording(text) == expected


def model_number(text):
    """The wording of the value the reader's procedure gives, or OUT_OF_RANGE."""
    value = read_number(text)
    if value == OUT_OF_RANGE:
        return value
    if isinstance(value, int):
        return f"integer `{value}`"
    return "floating point `" + layout(value) + "`"


@settings(max_examples=3000, deadline=None)
@given(number_texts)
@example("4.9406564584124654e-324")
@example("2.2250738585072011e-308")
@example("179769313486231570000000000000000000000000000000000000000000000000000000")
def test_reader_follows_the_procedure(text):
    expected = model_number(text)
    if expected == OUT_OF_RANGE:
        assert run_error("tier", f"[0,0,0,0,{text}]").startswith("number out of range at line 1")
    else:
        assert wording(text) == expected


@settings(max_examples=3000, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False))
def test_doubles_are_written_with_the_shortest_digits(x):
    # The engine reads repr(x) by its own procedure, so compare with the
    # model's reading of the same text rather than with x itself.
    text = repr(x)
    assert wording(text) == model_number(text)


@pytest.mark.parametrize(
    "payload, boost",
    [("[0,1e308,0,0]", "4.5e+307"), ("[0,0,0,0]", "1.0"), ("[0,1e-320,0,0]", "1.0")],
)
def test_doubles_in_responses(payload, boost):
    assert f'"boost":{boost},' in result_of("score", payload)


def outcome(command, payload):
    """The response, or the error message without its position."""
    try:
        return engine.run(command, payload)
    except RuntimeError as error:
        return "error: " + error.args[0].split(" at line ")[0]


@settings(max_examples=2000, deadline=None)
@given(number_texts, st.sampled_from(["", " " * 80]))
@example("0.40060096390626077", " " * 80)
@example("12345678.87654321", " " * 80)
@example("0.0000000000000000000012345", " " * 80)
def test_plain_records_read_numbers_as_documents_do(text, tail):
    # Plain records are read straight from their text, by whole blocks of
    # digits when the text goes on long enough after a number; an escaped
    # key sends the same record through the general reader instead.
    fields = ", ".join(
        f'"{name}": {text}'
        for name in ("days_since_recall", "retrieval_count", "importance", "frequency")
    )
    plain = "{" + fields + "}" + tail
    general = '{"n\\u006fte": 0, ' + fields + "}" + tail
    assert outcome("score", plain) == outcome("score", general)
