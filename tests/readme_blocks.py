"""The fenced code blocks of the README and the contributors' guide, with what
the text says of them."""

import dataclasses
import pathlib
import re
import textwrap

README = pathlib.Path(__file__).resolve().parents[1] / "README.md"
GUIDES = (README, README.with_name("CONTRIBUTING.md"))
FENCE = re.compile(r"^( *)```(\w*)$")
NOT_RUN = re.compile(r"^ *<!-- not run by the tests: .+ -->$")
OUTPUT = "<!-- output of the block above -->"


@dataclasses.dataclass
class Block:
    line: int  # of the opening fence, from 1
    language: str
    code: str
    run: bool  # False when the line before is a "not run" mark
    output: str | None = None  # the text block that follows under OUTPUT


def code_blocks(text=None, path=README):
    lines = (path.read_text(encoding="utf-8") if text is None else text).splitlines()
    blocks = []
    number = 0
    while number < len(lines):
        fence = FENCE.match(lines[number])
        if not fence:
            number += 1
            continue
        indent, language = fence.groups()
        end = lines.index(indent + "```", number + 1)
        code = textwrap.dedent("\n".join(lines[number + 1 : end]) + "\n")
        before = lines[number - 1] if number else ""
        if before.strip() == OUTPUT and language == "text":
            blocks[-1].output = code
        else:
            blocks.append(Block(number + 1, language, code, not NOT_RUN.match(before)))
        number = end + 1
    return blocks


def scripts():
    """The Python blocks that are not doctests."""
    return [b for b in code_blocks() if b.language == "python" and ">>>" not in b.code]
