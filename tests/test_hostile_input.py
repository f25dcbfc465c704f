"""Big and hostile inputs: each gets its right answer or its specified error,
with memory that stays in proportion to the input, and never a crash.
Running out of memory raises MemoryError and leaves the module working."""

import gc
import os
import subprocess
import sys
import textwrap

import pytest

import mnemoweaver_engine_native as engine
from engine_model import COMMANDS
from memory_probe import peak_rss_bytes, reset_peak_rss, rss_bytes

pytestmark = pytest.mark.stress

MB = 1 << 20
OK = '{"ok":true,"result":'
ZERO_ITEM = '"days_since_recall":0,"retrieval_count":0,"importance":0,"frequency":0'
SCORE_OF_ZERO_ITEM = OK + '{"boost":1.0,"retention":1.0,"stability":0.001}}'
DECISION_OF_ZERO_ITEM = '{"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"}'


def answer(command, payload):
    try:
        return engine.run(command, payload)
    except RuntimeError as e:
        return "error: " + e.args[0]


def measured_answer(command, payload):
    """The answer, and how far the resident set rose above its level before
    the call (None where the kernel cannot reset the peak)."""
    gc.collect()
    can_measure = reset_peak_rss()
    before = rss_bytes()
    result = answer(command, payload)
    peak = peak_rss_bytes() if can_measure else None
    return result, (None if peak is None or before is None else peak - before)


def check(command, payload, expected, max_growth):
    result, growth = measured_answer(command, payload)
    assert result == expected
    if growth is not None:
        print(f"{command} with {len(payload) / MB:.1f} MB: resident set rose {growth / MB:.1f} MB")
        assert growth <= max_growth, f"resident set rose {growth / MB:.1f} MB"


# --- 100 MB payloads -------------------------------------------------------

def test_100_mb_payload_with_a_long_unknown_member():
    note = "x" * (100 * MB)
    payload = "{" + ZERO_ITEM + ',"note":"' + note + '"}'
    check("score", payload, SCORE_OF_ZERO_ITEM, max_growth=130 * MB)


def test_100_mb_of_whitespace_before_a_fault():
    check("tier", " " * (100 * MB) + "x",
          "error: expected value at line 1 column 104857601", max_growth=16 * MB)
    check("tier", "\n" * (100 * MB) + "]",
          "error: expected value at line 104857601 column 1", max_growth=16 * MB)


def test_100_mb_payload_of_whitespace_around_a_document():
    pad = " \n\t\r" * (25 * MB // 2)
    check("score", pad + "[0,0,0,0]" + pad, SCORE_OF_ZERO_ITEM, max_growth=16 * MB)


# --- ten million elements --------------------------------------------------

TEN_MILLION = 10_000_000
ZEROS = "[" + "0," * (TEN_MILLION - 1) + "0]"
# Each element is a 16-byte node, gathered on a growing scratch stack before
# it is stored: some 35 bytes an element at the peak, given room here.
ARRAY_GROWTH = 96 * TEN_MILLION


def test_ten_million_elements_for_one_record():
    check("score", ZEROS, "error: invalid length 10000000, expected fewer elements in array",
          max_growth=ARRAY_GROWTH)
    check("tier", ZEROS, "error: invalid type: integer `0`, expected a boolean",
          max_growth=ARRAY_GROWTH)


def test_ten_million_items_fail_on_the_first():
    check("tier-batch", '{"items":' + ZEROS + "}",
          "error: invalid type: integer `0`, expected struct TierInput", max_growth=ARRAY_GROWTH)


def test_a_million_items_are_all_decided():
    n = 1_000_000
    payload = '{"items":[' + "[0,0,0,0]," * (n - 1) + "[0,0,0,0]]}"
    expected = OK + '{"decisions":[' + ",".join([DECISION_OF_ZERO_ITEM] * n) + "]}}"
    check("tier-batch", payload, expected, max_growth=2 * len(expected) + 64 * 5 * n)


def test_a_million_records_in_a_member_after_the_items_are_not_decided():
    # Records beyond the "items" array are checked for syntax only, never
    # decided into memory.
    held = ",".join(["[0,0,0,0]"] * 1_000_000)
    check("tier-batch", '{"items":[[0,0,0,0]],"held":[' + held + "]}",
          OK + '{"decisions":[' + DECISION_OF_ZERO_ITEM + "]}}", max_growth=16 * MB)


def test_a_million_members_in_one_object():
    n = 1_000_000
    members = ",".join(f'"k{i}":{i}' for i in range(n))
    payload = "{" + members + "," + ZERO_ITEM + "}"
    check("score", payload, SCORE_OF_ZERO_ITEM, max_growth=200 * n)


# --- 50 MB strings ---------------------------------------------------------

FIFTY = 50 * MB


@pytest.mark.parametrize(
    "text, worded",
    [
        ("x" * FIFTY, "x" * FIFTY),
        ("é" * (FIFTY // 2), "é" * (FIFTY // 2)),
        ("\\n" * (FIFTY // 2), "\\n" * (FIFTY // 2)),
        ("\\u0085" * (FIFTY // 6), "\\u{85}" * (FIFTY // 6)),
    ],
    ids=["ascii", "two-byte", "escaped-line-feeds", "escaped-next-line"],
)
def test_50_mb_string_is_worded_whole_in_the_message(text, worded):
    # The message quotes the whole string: held by the reader, the message
    # and the returned str, a few times the payload in all.
    check("tier", '"' + text + '"',
          'error: invalid type: string "' + worded + '", expected struct TierInput',
          max_growth=8 * FIFTY)


def test_50_mb_string_with_escapes_under_an_unknown_key():
    note = "a\\tb\\u00e9\\ud83d\\ude00" * (FIFTY // 24)
    check("score", "{" + ZERO_ITEM + ',"note":"' + note + '"}', SCORE_OF_ZERO_ITEM,
          max_growth=3 * FIFTY)


# --- nesting ---------------------------------------------------------------

@pytest.mark.parametrize(
    "open_, close, levels",
    [("[", "]", 127), ('{"a":', "}", 127), ('[{"a":', "}]", 63)],
    ids=["arrays", "objects", "both"],
)
def test_nesting_up_to_127_levels_is_read(open_, close, levels):
    payload = open_ * levels + "0" + close * levels
    assert answer("", payload) == "error: unknown command: "
    assert answer("tier-batch", payload) == "error: missing required field: items"


@pytest.mark.parametrize("levels", [128, 129, 1000, 100_000])
@pytest.mark.parametrize(
    "open_, line, column",
    [("[", 1, 128), ('{"a":', 1, 636), ("[\n", 128, 1)],
    ids=["arrays", "objects", "lines"],
)
def test_deeper_nesting_is_refused_at_the_128th_bracket(open_, line, column, levels):
    message = f"error: recursion limit exceeded at line {line} column {column}"
    for command in (*COMMANDS, ""):
        result, growth = measured_answer(command, open_ * levels)
        assert result == message
        assert growth is None or growth < 16 * MB


def test_127_levels_inside_an_item_of_a_batch():
    deep = "[" * 124 + "]" * 124  # items array and item object add three levels
    payload = '{"items":[{' + ZERO_ITEM + ',"x":' + deep + "}]}"
    assert answer("tier-batch", payload) == OK + '{"decisions":[' + DECISION_OF_ZERO_ITEM + "]}}"
    assert answer("tier-batch", payload.replace(deep, "[" + deep + "]")).startswith(
        "error: recursion limit exceeded at line 1 column ")


# --- long commands ---------------------------------------------------------

@pytest.mark.parametrize("unit", ["c", "é", "\x00", "😀", "tier"], ids=repr)
def test_megabyte_command_is_echoed_whole(unit):
    command = unit * (MB // len(unit.encode()))
    assert answer(command, "{}") == "error: unknown command: " + command
    assert answer(command, "[1,") == "error: EOF while parsing a value at line 1 column 3"


# --- escapes cut short by the end of the input -----------------------------

TRUNCATED_ESCAPES = [
    ('"\\', "EOF while parsing a string at line 1 column 2"),
    *[(f'"\\{c}', "EOF while parsing a string at line 1 column 3") for c in '"\\/bfnrt'],
    ('"\\u', "EOF while parsing a string at line 1 column 3"),
    ('"\\u0', "EOF while parsing a string at line 1 column 4"),
    ('"\\u00', "EOF while parsing a string at line 1 column 5"),
    ('"\\u004', "EOF while parsing a string at line 1 column 6"),
    ('"\\u0041', "EOF while parsing a string at line 1 column 7"),
    ('"\\ud800', "EOF while parsing a string at line 1 column 7"),
    ('"\\ud800\\', "EOF while parsing a string at line 1 column 8"),
    ('"\\ud800\\u', "EOF while parsing a string at line 1 column 9"),
    ('"\\ud800\\udc', "EOF while parsing a string at line 1 column 11"),
    ('"\\ud800\\udc0', "EOF while parsing a string at line 1 column 12"),
    ('"\\ud800\\udc00', "EOF while parsing a string at line 1 column 13"),
    ('"\\ud800"', "unexpected end of hex escape at line 1 column 8"),
    ('"\\ud800\\n', "unexpected end of hex escape at line 1 column 9"),
    ('"\\udc00', "lone leading surrogate in hex escape at line 1 column 7"),
    ('"\\ud800\\u0041', "lone leading surrogate in hex escape at line 1 column 13"),
    ('"\\x', "invalid escape at line 1 column 3"),
    ('"\\u00G0', "invalid escape at line 1 column 7"),
    ('"\\ud800\\uZZZZ', "invalid escape at line 1 column 13"),
]


@pytest.mark.parametrize("text, message", TRUNCATED_ESCAPES, ids=[t for t, _ in TRUNCATED_ESCAPES])
@pytest.mark.parametrize("where", ["alone", "in-array", "as-key", "after-long-string"])
def test_escape_at_the_end_of_the_input(text, message, where):
    # The same text after something else: the position moves with it.
    prefix = {"alone": "", "in-array": "[1,\n  ", "as-key": '{"a":{',
              "after-long-string": '["' + "x" * MB + '",'}[where]
    kind, position = message.split(" at line ")
    line, column = map(int, position.split(" column "))
    line += prefix.count("\n")
    column += len(prefix) - (prefix.rfind("\n") + 1)
    expected = f"{kind} at line {line} column {column}"
    for command in (*COMMANDS, ""):
        assert answer(command, prefix + text) == "error: " + expected


# --- running out of memory -------------------------------------------------

def run_limited(script, headroom):
    """Runs `script` in a child interpreter whose address space may grow by
    `headroom` bytes once the script's setup (up to `limit()`) is done."""
    child = textwrap.dedent(
        """
        import resource, sys
        sys.path.insert(0, {directory!r})
        sys.path.insert(0, {tests!r})
        import mnemoweaver_engine_native as engine
        from memory_probe import heap_in_use

        def limit():
            with open("/proc/self/status") as f:
                size = next(int(l.split()[1]) * 1024 for l in f if l.startswith("VmSize:"))
            resource.setrlimit(resource.RLIMIT_AS, (size + {headroom}, size + {headroom}))

        def outcome(command, payload):
            try:
                return engine.run(command, payload)[:60]
            except MemoryError:
                return "MemoryError"
            except RuntimeError as e:
                return "RuntimeError: " + e.args[0]
        """
    ).format(directory=os.path.dirname(engine.__file__), tests=os.path.dirname(__file__),
             headroom=headroom)
    done = subprocess.run([sys.executable, "-c", child + textwrap.dedent(script)],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    return done.stdout.splitlines()


def test_memory_exhaustion_raises_memory_error_and_the_module_goes_on():
    # Two answers that cannot fit: 150 MB of decisions, and a message that
    # quotes a 50 MB string. Ten million elements may or may not fit,
    # depending on how the payload is held; either way the answer is right.
    lines = run_limited(
        """
        batch = '{"items":[' + "[0,0,0,0]," * 1_999_999 + "[0,0,0,0]]}"
        string = '"' + "x" * 50_000_000 + '"'
        zeros = "[" + "0," * 10_000_000 + "0]"
        limit()
        print(outcome("tier-batch", batch))
        print(outcome("tier", string))
        print(outcome("score", zeros))
        print(outcome("score", "[0, 0, 0, 0]"))
        # what a failed call had allocated is given back
        heap = heap_in_use()
        for _ in range(20):
            assert outcome("tier", string) == "MemoryError"
        print(heap_in_use() - heap)
        """,
        headroom=64 * MB,
    )
    assert lines[:2] == ["MemoryError", "MemoryError"]
    assert lines[2] in ("MemoryError",
                        "RuntimeError: invalid length 10000001, expected fewer elements in array")
    assert lines[3] == SCORE_OF_ZERO_ITEM[:60]
    assert int(lines[4]) < MB


def test_batch_of_bad_items_fails_with_its_message_where_the_items_fit_in_memory():
    # The items of this payload are read within the limit; the batch must not
    # reserve room for ten million decisions before it has decoded one.
    lines = run_limited(
        """
        payload = '{"items":[' + "0," * 9_999_999 + "0]}"
        limit()
        print(outcome("score", payload))
        print(outcome("tier-batch", payload))
        """,
        headroom=1024 * MB,
    )
    assert lines == [
        "RuntimeError: missing field `days_since_recall`",
        "RuntimeError: invalid type: integer `0`, expected struct TierInput",
    ]
