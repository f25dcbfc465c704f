"""The module as Python sees it: attributes, argument binding and exceptions."""

import importlib
import sys

import pytest

import mnemoweaver_engine_native as engine

run = engine.run


def test_module_attributes():
    assert engine.__name__ == "mnemoweaver_engine_native"
    assert engine.__doc__ == ""
    assert engine.__all__ == ["run"]
    assert type(engine.__all__) is list
    assert run.__self__ is engine
    assert run.__module__ == "mnemoweaver_engine_native"
    assert run.__name__ == run.__qualname__ == "run"
    assert run.__text_signature__ == "(command, payload_json)"
    assert run.__doc__ is None
    assert engine.__file__.endswith(".abi3.so")
    assert not hasattr(engine, "PanicException")


def test_second_import_gives_the_same_module():
    first = sys.modules.pop("mnemoweaver_engine_native")
    try:
        again = importlib.import_module("mnemoweaver_engine_native")
        assert again is first
        assert again.__all__ == ["run"]
    finally:
        sys.modules["mnemoweaver_engine_native"] = first


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: run("a", "b", "c"), "run() takes 2 positional arguments but 3 were given"),
        (lambda: run("a", "b", "c", "d"), "run() takes 2 positional arguments but 4 were given"),
        # the positional count is checked before any keyword
        (lambda: run("a", "b", "c", bogus=1), "run() takes 2 positional arguments but 3 were given"),
        (lambda: run("tier", "{}", extra=1), "run() got an unexpected keyword argument 'extra'"),
        (lambda: run("tier", "{}", Command="x"), "run() got an unexpected keyword argument 'Command'"),
        (lambda: run(COMMAND="x", payload_json="{}"), "run() got an unexpected keyword argument 'COMMAND'"),
        (lambda: run("tier", command="x"), "run() got multiple values for argument 'command'"),
        (lambda: run("tier", "{}", payload_json="x"), "run() got multiple values for argument 'payload_json'"),
        (lambda: run(), "run() missing 2 required positional arguments: 'command' and 'payload_json'"),
        (lambda: run(payload_json="{}"), "run() missing 1 required positional argument: 'command'"),
        (lambda: run("tier"), "run() missing 1 required positional argument: 'payload_json'"),
        # binding comes before type checks
        (lambda: run(1), "run() missing 1 required positional argument: 'payload_json'"),
        (lambda: run(1, 2), "argument 'command': 'int' object cannot be converted to 'PyString'"),
        (lambda: run("tier", None), "argument 'payload_json': 'NoneType' object cannot be converted to 'PyString'"),
        (lambda: run(b"tier", "{}"), "argument 'command': 'bytes' object cannot be converted to 'PyString'"),
        (lambda: run("tier", payload_json=[]), "argument 'payload_json': 'list' object cannot be converted to 'PyString'"),
        (lambda: run(None, None), "argument 'command': 'NoneType' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


def test_unexpected_keyword_with_unencodable_name():
    with pytest.raises(TypeError) as info:
        run("tier", "{}", **{"x\udc80y": 1})
    assert str(info.value) == "run() got an unexpected keyword argument 'x\ufffd\ufffd\ufffdy'"


def test_unexpected_keyword_with_nul_in_name():
    with pytest.raises(TypeError) as info:
        run("tier", "{}", **{"a\0b": 1})
    assert str(info.value) == "run() got an unexpected keyword argument 'a\0b'"


def test_qualified_type_name_in_conversion_error():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError) as info:
        run(Outer.Inner(), "{}")
    assert str(info.value) == (
        "argument 'command': 'test_qualified_type_name_in_conversion_error.<locals>.Outer.Inner'"
        " object cannot be converted to 'PyString'"
    )


def test_keywords_bind_like_positions():
    payload = "[0, 0, 0, 0]"
    expected = run("score", payload)
    assert run(command="score", payload_json=payload) == expected
    assert run(payload_json=payload, command="score") == expected
    assert run("score", payload_json=payload) == expected


def test_str_subclasses_are_read_as_their_value():
    class Text(str):
        def __str__(self):
            return "tampered"

    assert run(Text("score"), Text("[0,0,0,0]")) == run("score", "[0,0,0,0]")


@pytest.mark.parametrize("command, payload", [("tier", "\udc80"), ("\ud800", "{}")])
def test_lone_surrogate_raises_the_interpreters_encode_error(command, payload):
    with pytest.raises(UnicodeEncodeError):
        run(command, payload)


def test_runtime_error_carries_only_the_message():
    with pytest.raises(RuntimeError) as info:
        run("nope", "{}")
    assert type(info.value) is RuntimeError
    assert info.value.args == ("unknown command: nope",)
    assert info.value.__cause__ is None


def test_returns_exact_str():
    out = run("score", "[0,0,0,0]")
    assert type(out) is str
