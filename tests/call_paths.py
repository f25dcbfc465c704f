"""One call for every way through run(): each kind of success and each
failure the module can raise, with the exception it must raise. Shared by
the leak tests and by the valgrind run (tools/valgrind_check.py)."""

import mnemoweaver_engine_native as engine

ITEM = '{"days_since_recall": 2, "retrieval_count": 1, "importance": 0.5, "frequency": 0.5}'
BATCH = '{{"items": [{}], "note": 1}}'.format(", ".join(
    ["[0, 0, 0, 0]", "[1000, 0, 0, 0, false, true]", "[10, 3, 0, 0, true]", ITEM] * 4
))


class Text(str):
    """A str subclass, which run() reads as its string value."""


class Opaque:
    """An argument of a type that is not str."""


class Call:
    def __init__(self, name, *args, raises=None, **kwargs):
        self.name = name
        self.args = args
        self.kwargs = kwargs
        self.raises = raises

    def __repr__(self):
        return self.name

    def arguments(self):
        return list(self.args) + list(self.kwargs.values())

    def __call__(self):
        """Makes the call; returns the response, or the expected exception."""
        if self.raises is None:
            return engine.run(*self.args, **self.kwargs)
        try:
            engine.run(*self.args, **self.kwargs)
        except self.raises as e:
            return e
        raise AssertionError(f"{self.name} did not raise {self.raises.__name__}")


CALLS = [
    # successes
    Call("score", "score", ITEM),
    Call("score-array", "score", "[2, 1, 0.5, 1]"),
    Call("tier", "tier", '{"days_since_recall": 10, "retrieval_count": 3, "importance": 0, '
                         '"frequency": 0, "is_procedural": true, "keep_forever": false}'),
    Call("tier-keep-forever", "tier", "[1000, 0, 0, 0, false, true]"),
    Call("tier-batch", "tier-batch", BATCH),
    Call("tier-escaped-unknown-key", "tier",
         '{"n\\u00f6te\\ud83d\\ude00": "a\\tb", "x": [[[{}]]], ' + ITEM[1:]),
    Call("keywords", payload_json=ITEM, command="score"),
    Call("str-subclasses", Text("tier"), Text(ITEM)),
    Call("non-ascii-payload", "score", '{"ключ": "значение", ' + ITEM[1:]),
    # failures of the reader
    Call("reader-empty", "tier", "", raises=RuntimeError),
    Call("reader-trailing", "score", "{} x", raises=RuntimeError),
    Call("reader-bad-escape", "tier", '["ab\\n\\u00e9\\x"]', raises=RuntimeError),
    Call("reader-lone-surrogate-escape", "tier", '"\\udc00"', raises=RuntimeError),
    Call("reader-number-out-of-range", "score", "[1e400]", raises=RuntimeError),
    Call("reader-too-deep", "tier", "[" * 200, raises=RuntimeError),
    Call("reader-unclosed-object", "tier-batch", '{"items": [[0,0,0,0],', raises=RuntimeError),
    # failures of the command layer and of record decoding
    Call("unknown-command", "nope", "{}", raises=RuntimeError),
    Call("unknown-command-non-ascii", "tiér", "[]", raises=RuntimeError),
    Call("invalid-type-string", "tier", '"a\\u0085\\n\\"b\\u00e9"', raises=RuntimeError),
    Call("invalid-type-field", "score", '{"days_since_recall": -0.5e3, "frequency": true}',
         raises=RuntimeError),
    Call("invalid-length", "tier", "[1, 2]", raises=RuntimeError),
    Call("too-long", "score", "[1, 2, 3, 4, 5]", raises=RuntimeError),
    Call("missing-field", "score", '{"days_since_recall": 1}', raises=RuntimeError),
    Call("batch-without-items", "tier-batch", '{"item": []}', raises=RuntimeError),
    Call("batch-bad-item-after-good-ones", "tier-batch",
         '{"items": [[0, 0, 0, 0], [1, 2, 3, 4], {"days_since_recall": 3}]}', raises=RuntimeError),
    # failures of the arguments
    Call("too-many-positional", "tier", "{}", "x", raises=TypeError),
    Call("unexpected-keyword", "tier", "{}", extra=1, raises=TypeError),
    Call("unexpected-unencodable-keyword", "tier", "{}", **{"\udc80": 1}, raises=TypeError),
    Call("multiple-values", "tier", "{}", command="x", raises=TypeError),
    Call("missing-one", payload_json="{}", raises=TypeError),
    Call("missing-two", raises=TypeError),
    Call("command-not-str", 5, "{}", raises=TypeError),
    Call("payload-not-str", "tier", Opaque(), raises=TypeError),
    Call("payload-bytes", "tier", b"{}", raises=TypeError),
    Call("command-lone-surrogate", "\ud800", "{}", raises=UnicodeEncodeError),
    Call("payload-lone-surrogate", "tier", "[\udc80]", raises=UnicodeEncodeError),
]
