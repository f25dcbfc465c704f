"""A model of the engine's number text, both ways, with Python's exact
integers and IEEE doubles: how the reader turns number text into a value,
and how a double is written (shortest round-trip digits, laid out plain or
with an exponent)."""

from decimal import Decimal

from hypothesis import strategies as st

POW10 = [float(f"1e{i}") for i in range(309)]
U64_MAX = 2**64 - 1
OUT_OF_RANGE = "out of range"


def read_number(text):
    """The reader's procedure, step by step: an int for an integer that fits
    (unsigned 64-bit, or negative signed 64-bit), a float for everything
    else, or OUT_OF_RANGE."""
    negative = text.startswith("-")
    body = text[1:] if negative else text
    mantissa, _, exponent = body.replace("E", "e").partition("e")
    int_part, _, frac_part = mantissa.partition(".")
    s, e, full = 0, 0, False
    for ch in int_part:
        if full or s * 10 + int(ch) > U64_MAX:
            full = True
            e += 1
        else:
            s = s * 10 + int(ch)
    is_double = full or "." in mantissa or "e" in body.replace("E", "e")
    for ch in frac_part:
        if s * 10 + int(ch) > U64_MAX:
            break
        s = s * 10 + int(ch)
        e -= 1
    if exponent:
        x = int(exponent)
        if abs(x) > 2**31 - 1:
            if s != 0 and x > 0:
                return OUT_OF_RANGE
            return -0.0 if negative else 0.0
        e = max(-(2**31), min(2**31 - 1, e + x))
    if not is_double:
        if not negative:
            return s
        if 1 <= s <= 2**63:
            return -s
        return -float(s)
    v = float(s)
    if 0 <= e <= 308:
        v *= POW10[e]
        if v == float("inf"):
            return OUT_OF_RANGE
    elif e > 308:
        if v != 0.0:
            return OUT_OF_RANGE
    else:
        while e < -308 and v != 0.0:
            v /= 1e308
            e += 308
        if v != 0.0:
            v /= POW10[-e]
    return -v if negative else v


def layout(x):
    """Shortest round-trip digits (Python's repr) in the engine's layout."""
    sign = "-" if str(x).startswith("-") else ""
    if x == 0:
        return sign + "0.0"
    _, digits, exp = Decimal(repr(abs(x))).as_tuple()
    digits = "".join(map(str, digits)).rstrip("0")
    n = len(digits)
    k = exp + len(Decimal(repr(abs(x))).as_tuple().digits) - 1
    if -5 <= k <= 15:
        if k >= n - 1:
            return sign + digits + "0" * (k - n + 1) + ".0"
        if k >= 0:
            return sign + digits[: k + 1] + "." + digits[k + 1 :]
        return sign + "0." + "0" * (-k - 1) + digits
    mant = digits[0] + ("." + digits[1:] if n > 1 else "")
    return sign + mant + "e" + ("-" if k < 0 else "+") + str(abs(k))


# Number texts of every form the grammar allows: signs, a lone zero or up to
# 41 integer digits, up to 40 fraction digits, exponents of up to 4 digits.
number_texts = st.builds(
    lambda neg, int_part, frac, exp: neg + int_part + frac + exp,
    st.sampled_from(["", "-"]),
    st.one_of(st.just("0"), st.from_regex(r"[1-9][0-9]{0,40}", fullmatch=True)),
    st.one_of(st.just(""), st.from_regex(r"\.[0-9]{1,40}", fullmatch=True)),
    st.one_of(st.just(""), st.from_regex(r"[eE][+-]?[0-9]{1,4}", fullmatch=True)),
)
