"""The payload reader: what it accepts, and the exact message and position of
every fault. Reader faults surface whatever the command, so the tables use
the empty command, which answers "unknown command: " once a payload parses."""

import contextlib

import pytest

from conftest import JSON_SUITE, NO_JSON_SUITE, reader_error, run_error

REC = "recursion limit exceeded"


@pytest.mark.parametrize(
    "payload, message",
    [
        # end of input and whitespace; columns count bytes on the last line
        ("", "EOF while parsing a value at line 1 column 0"),
        ("   ", "EOF while parsing a value at line 1 column 3"),
        (" \n\t ", "EOF while parsing a value at line 2 column 2"),
        ("\r\n", "EOF while parsing a value at line 2 column 0"),
        ("\f1", "expected value at line 1 column 1"),
        ("\ufeff1", "expected value at line 1 column 1"),
        ("\u00a01", "expected value at line 1 column 1"),
        ("x", "expected value at line 1 column 1"),
        ("\n]", "expected value at line 2 column 1"),
        ("\r]", "expected value at line 1 column 2"),
        ("{} {}", "trailing characters at line 1 column 4"),
        ('{"a":1}x', "trailing characters at line 1 column 8"),
        ("1x", "trailing characters at line 1 column 2"),
        ('"é" x', "trailing characters at line 1 column 6"),
        ("[1]\n\n  2", "trailing characters at line 3 column 3"),
        # literals: each letter is consumed before it is compared
        ("nulL", "expected ident at line 1 column 4"),
        ("nul", "EOF while parsing a value at line 1 column 3"),
        ("tru", "EOF while parsing a value at line 1 column 3"),
        ("t", "EOF while parsing a value at line 1 column 1"),
        ("fals", "EOF while parsing a value at line 1 column 4"),
        ("fAlse", "expected ident at line 1 column 2"),
        ("True", "expected value at line 1 column 1"),
        ("nullx", "trailing characters at line 1 column 5"),
        ("NaN", "expected value at line 1 column 1"),
        ("Infinity", "expected value at line 1 column 1"),
        # arrays
        ("[", "EOF while parsing a list at line 1 column 1"),
        ("[1,2", "EOF while parsing a list at line 1 column 4"),
        ("[1,", "EOF while parsing a value at line 1 column 3"),
        ("[1, ", "EOF while parsing a value at line 1 column 4"),
        ("[1,]", "trailing comma at line 1 column 4"),
        ("[1 , ]", "trailing comma at line 1 column 6"),
        ("[,1]", "expected value at line 1 column 2"),
        ("[1 2]", "expected `,` or `]` at line 1 column 4"),
        ("[1x]", "expected `,` or `]` at line 1 column 3"),
        ("[1}", "expected `,` or `]` at line 1 column 3"),
        ("]", "expected value at line 1 column 1"),
        # objects
        ("{", "EOF while parsing an object at line 1 column 1"),
        ("{ ", "EOF while parsing an object at line 1 column 2"),
        ("{1:2}", "key must be a string at line 1 column 2"),
        ("{a}", "key must be a string at line 1 column 2"),
        ('{"a"', "EOF while parsing an object at line 1 column 4"),
        ('{"a" 1}', "expected `:` at line 1 column 6"),
        ('{"a":', "EOF while parsing a value at line 1 column 5"),
        ('{"a":}', "expected value at line 1 column 6"),
        ('{"a":1', "EOF while parsing an object at line 1 column 6"),
        ('{"a":1,', "EOF while parsing a value at line 1 column 7"),
        ('{"a":1,}', "trailing comma at line 1 column 8"),
        ('{"a":1,2}', "key must be a string at line 1 column 8"),
        ('{"a":1 "b":2}', "expected `,` or `}` at line 1 column 8"),
        ('{"a":1]', "expected `,` or `}` at line 1 column 7"),
        ('{"a', "EOF while parsing a string at line 1 column 3"),
        # strings
        ('"abc', "EOF while parsing a string at line 1 column 4"),
        ('"a\tb"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"),
        ('"a\nb"', "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"),
        ('"\x00"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 2"),
        ('"\\x"', "invalid escape at line 1 column 3"),
        ('"\\', "EOF while parsing a string at line 1 column 2"),
        ('"\\u12', "EOF while parsing a string at line 1 column 5"),
        ('"\\u12"', "EOF while parsing a string at line 1 column 6"),
        ('"\\u12g4"', "invalid escape at line 1 column 7"),
        ('"\\uD800"', "unexpected end of hex escape at line 1 column 8"),
        ('"\\ud800', "EOF while parsing a string at line 1 column 7"),
        ('"\\ud800\\', "EOF while parsing a string at line 1 column 8"),
        ('"\\ud800x"', "unexpected end of hex escape at line 1 column 8"),
        ('"\\ud800\\n"', "unexpected end of hex escape at line 1 column 9"),
        ('"\\ud800\\u12"', "EOF while parsing a string at line 1 column 12"),
        ('"\\ud800\\u00zz"', "invalid escape at line 1 column 13"),
        ('"\\ud800\\u0041"', "lone leading surrogate in hex escape at line 1 column 13"),
        ('"\\ud800\\ud800"', "lone leading surrogate in hex escape at line 1 column 13"),
        ('"\\udc00"', "lone leading surrogate in hex escape at line 1 column 7"),
        ('"ok\\u0041\\q"', "invalid escape at line 1 column 11"),
        ('"\\u0041\x01"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 8"),
        ('"\\u0041', "EOF while parsing a string at line 1 column 7"),
        # numbers
        ("-", "EOF while parsing a value at line 1 column 1"),
        ("-x", "invalid number at line 1 column 2"),
        ("--1", "invalid number at line 1 column 2"),
        ("+1", "expected value at line 1 column 1"),
        (".5", "expected value at line 1 column 1"),
        ("01", "invalid number at line 1 column 2"),
        ("-01", "invalid number at line 1 column 3"),
        ("00", "invalid number at line 1 column 2"),
        ("1.", "EOF while parsing a value at line 1 column 2"),
        ("1.x", "invalid number at line 1 column 3"),
        ("1.e5", "invalid number at line 1 column 3"),
        ("1e", "EOF while parsing a value at line 1 column 2"),
        ("1e+", "EOF while parsing a value at line 1 column 3"),
        ("1ex", "invalid number at line 1 column 3"),
        ("1e+x", "invalid number at line 1 column 4"),
        ("0x10", "trailing characters at line 1 column 2"),
        ("1e400", "number out of range at line 1 column 5"),
        ("-1e400", "number out of range at line 1 column 6"),
        ("[1e400]", "number out of range at line 1 column 6"),
        ("1e999999999999", "number out of range at line 1 column 12"),
        ("1.5e2147483648", "number out of range at line 1 column 14"),
        ("1" * 400, "number out of range at line 1 column 400"),
        ("1.8e308", "number out of range at line 1 column 7"),
        # nesting: the 128th bracket is refused at its own column
        ("[" * 128, f"{REC} at line 1 column 128"),
        ("{\"a\":" * 127 + "{", f"{REC} at line 1 column {127 * 5 + 1}"),
        ("[" * 127 + "{", f"{REC} at line 1 column 128"),
        ("[" * 100000, f"{REC} at line 1 column 128"),
        ("[" * 127, "EOF while parsing a list at line 1 column 127"),
    ],
)
def test_reader_errors(payload, message):
    assert reader_error(payload) == message


@pytest.mark.parametrize(
    "payload",
    [
        "{}", "[]", "0", "-0", "null", "true", "false", '""', " \t\r\n{} \t\r\n",
        '{"a":1,"a":2}', "[" * 127 + "]" * 127, "[" * 126 + "{}" + "]" * 126,
        '"\\"\\\\\\/\\b\\f\\n\\r\\t\\u0000\\uffff\\uD83D\\uDE00"', '"\x7f\u00e9\U0001F600"',
        "1E5", "1e-5", "0.0e+0", "-0.5E-2", "0e999999999999", "1e-400", "1e-99999999999",
        "18446744073709551616", "1" * 300 + ".5", "0." + "0" * 500 + "1",
    ],
)
def test_reader_accepts(payload):
    assert reader_error(payload) is None


def test_errors_are_reported_whatever_the_command():
    assert run_error("nope", "") == "EOF while parsing a value at line 1 column 0"
    assert run_error("tier", "[1,2") == "EOF while parsing a list at line 1 column 4"
    assert run_error("score", "{} x") == "trailing characters at line 1 column 4"


def test_positions_count_bytes_and_line_feeds_only():
    payload = '{\r\n  "ключ": [1,\n 2,, 3]}'
    # line 3 is " 2,, 3]}" and the second comma is its fourth byte
    assert reader_error(payload) == "expected value at line 3 column 4"


def _suite_files(prefix):
    if not JSON_SUITE.is_dir():
        return []
    return sorted(p for p in JSON_SUITE.iterdir() if p.name.startswith(prefix))


@pytest.mark.skipif(not JSON_SUITE.is_dir(), reason=NO_JSON_SUITE)
@pytest.mark.parametrize("path", _suite_files("y_"), ids=lambda p: p.name)
def test_conformance_accepts(path):
    text = path.read_bytes().decode("utf-8")
    assert reader_error(text) is None


@pytest.mark.skipif(not JSON_SUITE.is_dir(), reason=NO_JSON_SUITE)
@pytest.mark.parametrize("path", _suite_files("n_"), ids=lambda p: p.name)
def test_conformance_rejects(path):
    data = path.read_bytes()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        # Python cannot hand such bytes over as a str: with the undecodable
        # bytes kept as lone surrogates, the interpreter refuses to encode.
        text = data.decode("utf-8", errors="surrogateescape")
        with pytest.raises(UnicodeEncodeError):
            run_error("", text)
        return
    message = reader_error(text)
    assert message is not None and " at line " in message


@pytest.mark.skipif(not JSON_SUITE.is_dir(), reason=NO_JSON_SUITE)
@pytest.mark.parametrize("path", _suite_files("i_"), ids=lambda p: p.name)
def test_conformance_implementation_defined_never_crash(path):
    text = path.read_bytes().decode("utf-8", errors="surrogateescape")
    with contextlib.suppress(UnicodeEncodeError):
        reader_error(text)
