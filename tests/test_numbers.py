"""Number text both ways: the reader's significand/exponent procedure and the
layout of doubles. A number placed where a boolean belongs is named in the
decoding message, which shows how it was read and how it is written."""

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import mnemoweaver_engine_native as engine
from conftest import result_of, run_error
from engine_model import RETENTION_INPUT
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


# After an integer digit is dropped, fraction digits are still added while
# they fit: 1844674407370955161 then 6 (dropped), then a fraction digit of
# 0 to 5 (taken) and every later one (dropped).
BOUNDARY = "1844674407370955161"


@pytest.mark.parametrize(
    "text, expected",
    [
        (BOUNDARY + "6.0e-16", "floating point `1844.6744073709551`"),
        (BOUNDARY + "600000000000000000000000.0", "floating point `1.844674407370955e+42`"),
        (BOUNDARY + "6.5e-16", "floating point `1844.6744073709551`"),
        (BOUNDARY + "6.6e-16", "floating point `1844.6744073709554`"),
        (BOUNDARY + "9.123e-20", "floating point `0.1844674407370955`"),
        (BOUNDARY + "7.45", "floating point `1.8446744073709552e+19`"),
        ("-" + BOUNDARY + "8.0e-30", "floating point `-1.844674407370955e-11`"),
    ],
)
@pytest.mark.parametrize("where", ["near the end", "before a long tail", "general reader"])
def test_fraction_digits_after_a_dropped_integer_digit(text, expected, where):
    assert model_number(text) == expected
    if where == "near the end":
        assert wording(text) == expected
        return
    head, tail = "invalid type: ", ", expected a boolean"
    payload = {
        "before a long tail": f"[0,0,0,0,{text}]" + " " * 80,
        "general reader": f'{{"n\\u006fte":0,"days_since_recall":0,"retrieval_count":0,'
        f'"importance":0,"frequency":0,"is_procedural":{text}}}',
    }[where]
    assert run_error("tier", payload) == head + expected + tail


@pytest.mark.parametrize(
    "command, payload, expected",
    [
        ("score", f"[0,{BOUNDARY}6.0e-16,0,0]",
         '{"boost":831.1034833169298,"retention":10.0,"stability":7.520600022134299}'),
        ("score", f"[0,{BOUNDARY}600000000000000000000000.0,0,0]",
         '{"boost":8.301034833169298e+41,"retention":10.0,"stability":97.32087669469955}'),
        ("tier-batch", f'{{"items":[[{BOUNDARY}6.0e-16,6.000164060701676e+18,0,0]]}}',
         '{"decisions":[{"action":"long_term_semantic","retention":0.8,"tier":"warm_semantic"}]}'),
    ],
)
def test_fraction_digits_after_a_dropped_integer_digit_in_results(command, payload, expected):
    assert result_of(command, payload) == expected


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
    fields = ", ".join(f'"{name}": {text}' for name in RETENTION_INPUT.names)
    plain = "{" + fields + "}" + tail
    general = '{"n\\u006fte": 0, ' + fields + "}" + tail
    assert outcome("score", plain) == outcome("score", general)
