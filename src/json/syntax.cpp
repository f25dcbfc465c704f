#include "json/syntax.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "json/number_reader.hpp"
#include "json/string_scan.hpp"

namespace mnemo::json {

namespace {

constexpr auto kHexValue = [] {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return t;
}();

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        const char b[2] = {static_cast<char>(0xC0 | (cp >> 6)),
                           static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(b, 2);
    } else if (cp < 0x10000) {
        const char b[3] = {static_cast<char>(0xE0 | (cp >> 12)),
                           static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(b, 3);
    } else {
        const char b[4] = {
            static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(b, 4);
    }
}

// Four hex digits at q as a 16-bit code unit.
const unsigned char* read_hex4(const unsigned char* q, Text& text, std::uint32_t& unit) {
    if (text.end - q < 4) return text.fail_after(ErrorKind::eof_while_parsing_string, text.end);
    std::uint32_t v = 0;
    bool bad = false;
    for (int i = 0; i < 4; ++i) {
        const std::int8_t h = kHexValue[q[i]];
        bad |= h < 0;
        v = (v << 4) | static_cast<std::uint32_t>(h & 0xF);
    }
    q += 4;
    if (bad) return text.fail_after(ErrorKind::invalid_escape, q);
    unit = v;
    return q;
}

// An escape after its backslash; what it stands for is appended to `out`
// when `out` is given.
const unsigned char* read_escape(const unsigned char* q, Text& text, std::string* out) {
    if (q == text.end) return text.fail_after(ErrorKind::eof_while_parsing_string, q);
    char plain;
    switch (*q++) {
        case '"': plain = '"'; break;
        case '\\': plain = '\\'; break;
        case '/': plain = '/'; break;
        case 'b': plain = '\b'; break;
        case 'f': plain = '\f'; break;
        case 'n': plain = '\n'; break;
        case 'r': plain = '\r'; break;
        case 't': plain = '\t'; break;
        case 'u': plain = 0; break;
        default: return text.fail_after(ErrorKind::invalid_escape, q);
    }
    if (q[-1] != 'u') {
        if (out) out->push_back(plain);
        return q;
    }
    std::uint32_t unit;
    if (!(q = read_hex4(q, text, unit))) return nullptr;
    if (unit >= 0xDC00 && unit <= 0xDFFF)
        return text.fail_after(ErrorKind::lone_leading_surrogate_in_hex_escape, q);
    if (unit < 0xD800 || unit > 0xDFFF) {
        if (out) append_utf8(*out, unit);
        return q;
    }
    // A leading surrogate: its trailing half must follow at once.
    if (q == text.end) return text.fail_after(ErrorKind::eof_while_parsing_string, q);
    if (*q++ != '\\') return text.fail_after(ErrorKind::unexpected_end_of_hex_escape, q);
    if (q == text.end) return text.fail_after(ErrorKind::eof_while_parsing_string, q);
    if (*q++ != 'u') return text.fail_after(ErrorKind::unexpected_end_of_hex_escape, q);
    std::uint32_t low;
    if (!(q = read_hex4(q, text, low))) return nullptr;
    if (low < 0xDC00 || low > 0xDFFF)
        return text.fail_after(ErrorKind::lone_leading_surrogate_in_hex_escape, q);
    if (out) append_utf8(*out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    return q;
}

// A string after its opening quote, past its closing quote. Runs without
// escapes are appended to `out` (when given) in one piece each.
const unsigned char* string_text(const unsigned char* q, Text& text, std::string* out) {
    const std::size_t size = static_cast<std::size_t>(text.end - text.begin);
    for (;;) {
        const unsigned char* const run = q;
        q = text.begin +
            find_string_stop(text.begin, static_cast<std::size_t>(q - text.begin), size);
        if (out) out->append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(q - run));
        if (q == text.end) return text.fail_after(ErrorKind::eof_while_parsing_string, q);
        if (*q == '"') return q + 1;
        if (*q != '\\')
            return text.fail_after(ErrorKind::control_character_while_parsing_string, q + 1);
        if (!(q = read_escape(q + 1, text, out))) return nullptr;
    }
}

const unsigned char* skip_array(const unsigned char* q, Text& text, int budget) {
    if (!enter(q, text, budget)) return nullptr;
    q = skip_whitespace(q + 1, text.end);
    if (q == text.end) return text.fail_at(ErrorKind::eof_while_parsing_list, q);
    if (*q == ']') return q + 1;
    if (!(q = skip_value(q, text, budget - 1))) return nullptr;
    return skip_array_rest(q, text, budget);
}

const unsigned char* skip_object(const unsigned char* q, Text& text, int budget) {
    if (!enter(q, text, budget)) return nullptr;
    bool closed;
    for (q = open_object(q + 1, text, closed); q && !closed; q = after_member(q, text, closed)) {
        if (!(q = string_text(q, text, nullptr))) return nullptr;
        if (!(q = after_colon(q, text))) return nullptr;
        if (!(q = skip_value(q, text, budget - 1))) return nullptr;
    }
    return q;
}

}  // namespace

const unsigned char* skip_array_rest(const unsigned char* q, Text& text, int budget) {
    bool closed;
    for (q = after_element(q, text, closed); q && !closed; q = after_element(q, text, closed))
        if (!(q = skip_value(q, text, budget - 1))) return nullptr;
    return q;
}

std::string Text::fault_text() const {
    const std::string_view all(reinterpret_cast<const char*>(begin),
                               static_cast<std::size_t>(end - begin));
    const Position at = position_of(all, fault_index);
    return json_error_text(JsonError{fault, at.line, at.column});
}

Position position_of(std::string_view text, std::size_t index) {
    std::size_t line_start = 0;
    std::size_t line = 1;
    const char* const base = text.data();
    const char* p = base;
    const char* const end = base + index;
    while (p < end) {
        const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        if (!nl) break;
        p = static_cast<const char*>(nl) + 1;
        ++line;
        line_start = static_cast<std::size_t>(p - base);
    }
    return {line, index - line_start};
}

const unsigned char* read_literal(const unsigned char* q, Text& text, std::string_view word) {
    ++q;
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (q == text.end) return text.fail_after(ErrorKind::eof_while_parsing_value, q);
        if (*q++ != static_cast<unsigned char>(word[i]))
            return text.fail_after(ErrorKind::expected_some_ident, q);
    }
    return q;
}

const unsigned char* read_string(const unsigned char* q, Text& text, std::string& scratch,
                                 std::string_view& out) {
    const unsigned char* const start = q;
    const std::size_t size = static_cast<std::size_t>(text.end - text.begin);
    q = text.begin + find_string_stop(text.begin, static_cast<std::size_t>(q - text.begin), size);
    if (q != text.end && *q == '"') {
        out = {reinterpret_cast<const char*>(start), static_cast<std::size_t>(q - start)};
        return q + 1;
    }
    scratch.clear();
    if (!(q = string_text(start, text, &scratch))) return nullptr;
    out = scratch;
    return q;
}

const unsigned char* skip_number(const unsigned char* q, Text& text) {
    const bool negative = *q == '-';
    Number ignored;
    const NumberRead read = read_number(q + negative, text.end, negative, ignored);
    if (read.error == ErrorKind::none) return read.stop;
    return read.at_byte ? text.fail_at(read.error, read.stop)
                        : text.fail_after(read.error, read.stop);
}

const unsigned char* skip_value(const unsigned char* q, Text& text, int budget) {
    if (q == text.end) return text.fail_at(ErrorKind::eof_while_parsing_value, q);
    switch (*q) {
        case 'n': return read_literal(q, text, "null");
        case 't': return read_literal(q, text, "true");
        case 'f': return read_literal(q, text, "false");
        case '"': return string_text(q + 1, text, nullptr);
        case '[': return skip_array(q, text, budget);
        case '{': return skip_object(q, text, budget);
        default:
            if (*q == '-' || is_digit(*q)) return skip_number(q, text);
            return text.fail_at(ErrorKind::expected_some_value, q);
    }
}

std::nullptr_t list_separator_fault(const unsigned char* q, Text& text) {
    return text.fail_at(
        q == text.end ? ErrorKind::eof_while_parsing_list : ErrorKind::expected_list_comma_or_end,
        q);
}

std::nullptr_t member_separator_fault(const unsigned char* q, Text& text) {
    return text.fail_at(q == text.end ? ErrorKind::eof_while_parsing_object
                                      : ErrorKind::expected_object_comma_or_end,
                        q);
}

}  // namespace mnemo::json
