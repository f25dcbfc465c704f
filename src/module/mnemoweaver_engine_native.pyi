"""Retention scoring and storage-tier decisions for a memory store.

One function, `run`, takes a command name and a JSON payload as text and
answers with JSON text: ``{"ok":true,"result":...}``. Every failure is raised
as an exception; there is no error response.
"""

from typing import Literal, TypeAlias

__all__ = ["run"]

# The three commands `run` knows. The alias is private because the module
# has no such attribute at run time; a caller writes the same Literal type.
_Command: TypeAlias = Literal["score", "tier", "tier-batch"]

def run(command: _Command, payload_json: str) -> str:
    """Run one command on a JSON payload and return the JSON response text.

    "score" answers ``{"boost":...,"retention":...,"stability":...}`` for one
    item; "tier" answers ``{"action":...,"retention":...,"tier":...}`` for one
    item; "tier-batch" takes ``{"items":[...]}`` and answers
    ``{"decisions":[...]}``, one decision per item, in order. Items are objects
    with the keys days_since_recall, retrieval_count, importance, frequency and
    optionally is_procedural and keep_forever, or arrays of those values in
    that order.

    Raises TypeError when an argument is missing, repeated, unknown or not a
    str; UnicodeEncodeError when a str holds a lone surrogate; RuntimeError
    with the reason when the payload is not valid JSON, an item does not
    decode, "items" is missing, or the command is unknown; MemoryError when
    memory runs out.
    """
