// Reading JSON text forward, one cursor over its bytes: whitespace, literals,
// strings and keys, and whole values checked for syntax without being kept.
// Every function takes the cursor `q` and returns it past what it read, or
// null at the first fault of syntax, which it records in the `Text` with the
// byte index its position is computed from. Positions (line and column) are
// worked out only when the fault is reported.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "json/error.hpp"
#include "platform/compiler.hpp"

namespace mnemo::json {

// Nesting budget at the start of a document: 127 nested arrays and objects
// are accepted, the 128th opening bracket is refused.
inline constexpr int kNestingBudget = 128;

// The payload's bytes and the first fault of syntax found in them.
struct Text {
    const unsigned char* begin;
    const unsigned char* end;
    ErrorKind fault = ErrorKind::none;
    std::size_t fault_index = 0;

    explicit Text(std::string_view text)
        : begin(reinterpret_cast<const unsigned char*>(text.data())), end(begin + text.size()) {}

    // A fault at the byte q looks at (not consumed): its position is that
    // byte's 1-based column, or the end of the text.
    std::nullptr_t fail_at(ErrorKind kind, const unsigned char* q) {
        fault = kind;
        fault_index = std::min(static_cast<std::size_t>(q - begin) + 1,
                               static_cast<std::size_t>(end - begin));
        return nullptr;
    }
    // A fault found once the byte before q was consumed: its position is q.
    std::nullptr_t fail_after(ErrorKind kind, const unsigned char* q) {
        fault = kind;
        fault_index = static_cast<std::size_t>(q - begin);
        return nullptr;
    }

    // The fault's message, with " at line L column C".
    std::string fault_text() const;
};

// Line and column of a byte index: lines are counted by line feeds, columns
// in bytes from the start of the line.
struct Position {
    std::size_t line;
    std::size_t column;
};
Position position_of(std::string_view text, std::size_t index);

// Past the whitespace at q: space, tab, line feed and carriage return.
inline const unsigned char* skip_whitespace(const unsigned char* q, const unsigned char* end) {
    while (q != end && (*q == ' ' || *q == '\n' || *q == '\r' || *q == '\t')) ++q;
    return q;
}

// Past the whitespace after a comma or colon: mostly none, or the one
// space a serializer puts there. Every whitespace byte is at most a space.
MNEMO_ALWAYS_INLINE const unsigned char* skip_separator_space(const unsigned char* q,
                                                              const unsigned char* end) {
    if (q != end && *q == ' ') ++q;
    if (q != end && *q <= ' ') q = skip_whitespace(q, end);
    return q;
}

// One value at q (whitespace before it already skipped), its syntax checked
// and nothing kept; `budget` is the nesting budget outside it.
const unsigned char* skip_value(const unsigned char* q, Text& text, int budget);

// The rest of an array after one of its elements, past its closing
// bracket; `budget` is the nesting budget outside the array.
const unsigned char* skip_array_rest(const unsigned char* q, Text& text, int budget);

// The literal `word` ("null", "true" or "false") at q, whose first letter
// the caller has seen; each letter is consumed before it is compared.
const unsigned char* read_literal(const unsigned char* q, Text& text, std::string_view word);

// A string after its opening quote: the bytes between the quotes, with its
// escapes undone in `scratch` when it has any (else a view of the text).
const unsigned char* read_string(const unsigned char* q, Text& text, std::string& scratch,
                                 std::string_view& out);

// A number at q, its first byte a minus sign or a digit, read by the
// number reader's procedure and not kept.
const unsigned char* skip_number(const unsigned char* q, Text& text);

// At the fault of the separator after an array element or object member:
// the byte at q (after whitespace) is neither a comma nor the closing
// bracket.
std::nullptr_t list_separator_fault(const unsigned char* q, Text& text);
std::nullptr_t member_separator_fault(const unsigned char* q, Text& text);

// After an array element: past the comma and the whitespace after it, at
// the next element; or, with `closed` set, past the closing bracket. Null
// at a fault: no separator, or a comma followed by the end of the text or
// by `]`.
inline const unsigned char* after_element(const unsigned char* q, Text& text, bool& closed) {
    const unsigned char* const end = text.end;
    if (q != end && *q <= ' ') q = skip_whitespace(q, end);
    closed = false;
    if (q != end && *q == ',') {
        q = skip_separator_space(q + 1, end);
        if (q == end) return text.fail_at(ErrorKind::eof_while_parsing_value, q);
        if (*q == ']') return text.fail_at(ErrorKind::trailing_comma, q);
        return q;
    }
    if (q == end || *q != ']') return list_separator_fault(q, text);
    closed = true;
    return q + 1;
}

// After a member's value: past the next key's opening quote; or, with
// `closed` set, past the closing brace. Null at a fault.
inline const unsigned char* after_member(const unsigned char* q, Text& text, bool& closed) {
    const unsigned char* const end = text.end;
    if (q != end && *q <= ' ') q = skip_whitespace(q, end);
    closed = false;
    if (q != end && *q == ',') {
        q = skip_separator_space(q + 1, end);
        if (q == end) return text.fail_at(ErrorKind::eof_while_parsing_value, q);
        if (*q == '"') return q + 1;
        return text.fail_at(*q == '}' ? ErrorKind::trailing_comma : ErrorKind::key_must_be_a_string,
                            q);
    }
    if (q == end || *q != '}') return member_separator_fault(q, text);
    closed = true;
    return q + 1;
}

// After an object's opening brace: past the first key's opening quote; or,
// with `closed` set, past the closing brace of an empty object. Null at a
// fault.
inline const unsigned char* open_object(const unsigned char* q, Text& text, bool& closed) {
    q = skip_whitespace(q, text.end);
    closed = q != text.end && *q == '}';
    if (closed) return q + 1;
    if (q == text.end) return text.fail_at(ErrorKind::eof_while_parsing_object, q);
    if (*q != '"') return text.fail_at(ErrorKind::key_must_be_a_string, q);
    return q + 1;
}

// After a key's closing quote: past the colon and the whitespace after it.
inline const unsigned char* after_colon(const unsigned char* q, Text& text) {
    if (q != text.end && *q <= ' ') q = skip_whitespace(q, text.end);
    if (q == text.end) return text.fail_at(ErrorKind::eof_while_parsing_object, q);
    if (*q != ':') return text.fail_at(ErrorKind::expected_colon, q);
    return skip_separator_space(q + 1, text.end);
}

// At an opening bracket with `budget` left outside it: false, with the
// fault noted in `text`, when one more level of nesting is refused.
inline bool enter(const unsigned char* q, Text& text, int budget) {
    if (budget != 1) return true;
    text.fail_at(ErrorKind::recursion_limit_exceeded, q);
    return false;
}

}  // namespace mnemo::json
