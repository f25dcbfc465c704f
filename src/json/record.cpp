#include "json/record.hpp"

#include <algorithm>
#include <charconv>

#include "json/number_reader.hpp"
#include "json/number_text.hpp"
#include "json/record_reader.hpp"
#include "json/syntax.hpp"

namespace mnemo::json {

namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

constexpr CodeRange kHidden[] = {
#include "json/unicode_printable_table.inc"
};

// Decodes one UTF-8 sequence at `p`; an ill-formed byte reads as U+FFFD and
// advances by one, so that no input can stall or overrun the loop.
char32_t next_code_point(const unsigned char*& p, const unsigned char* end) {
    unsigned char b = *p;
    if (b < 0x80) {
        ++p;
        return b;
    }
    int len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (len == 0 || b > 0xF4 || end - p < len) {
        ++p;
        return 0xFFFD;
    }
    char32_t cp = b & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            ++p;
            return 0xFFFD;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++p;
        return 0xFFFD;
    }
    p += len;
    return cp;
}

// How a value whose syntax is known to be sound is named in "invalid type"
// messages: null, boolean `true`, integer `7`, floating point `1.5`,
// string "x", sequence, map.
void append_wording_at(std::string& out, const unsigned char* q, const unsigned char* end) {
    switch (*q) {
        case 'n': out += "null"; return;
        case 't': out += "boolean `true`"; return;
        case 'f': out += "boolean `false`"; return;
        case '[': out += "sequence"; return;
        case '{': out += "map"; return;
        case '"': {
            Text text({reinterpret_cast<const char*>(q), static_cast<std::size_t>(end - q)});
            std::string scratch;
            std::string_view s;
            read_string(q + 1, text, scratch, s);
            out += "string ";
            append_quoted_literal(out, s);
            return;
        }
        default: {
            const bool negative = *q == '-';
            Number number;
            read_number(q + negative, end, negative, number);
            append_number_wording(out, number);
            return;
        }
    }
}

}  // namespace

bool is_printable(char32_t cp) {
    if (cp < 0x80) return cp >= 0x20 && cp < 0x7F;
    auto it = std::upper_bound(std::begin(kHidden), std::end(kHidden), cp,
                               [](char32_t c, const CodeRange& r) { return c < r.first; });
    return it == std::begin(kHidden) || cp > std::prev(it)->last;
}

void append_quoted_literal(std::string& out, std::string_view s) {
    out.push_back('"');
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char* start = p;
        char32_t cp = next_code_point(p, end);
        switch (cp) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            case '\n': out += "\\n"; continue;
            case 0: out += "\\0"; continue;
            default: break;
        }
        if (is_printable(cp)) {
            if (cp == 0xFFFD && p - start == 1)
                out += "\xEF\xBF\xBD";
            else
                out.append(reinterpret_cast<const char*>(start),
                           static_cast<std::size_t>(p - start));
            continue;
        }
        char hex[8];
        auto hex_end = std::to_chars(hex, hex + sizeof hex, static_cast<std::uint32_t>(cp), 16).ptr;
        out += "\\u{";
        out.append(hex, hex_end);
        out.push_back('}');
    }
    out.push_back('"');
}

void append_number_wording(std::string& out, const Number& number) {
    switch (number.repr) {
        case NumberRepr::unsigned_int:
            out += "integer `";
            format_unsigned(number.u, out);
            break;
        case NumberRepr::signed_int:
            out += "integer `-";
            // Magnitude as unsigned, so that the smallest value has one.
            format_unsigned(0 - static_cast<std::uint64_t>(number.i), out);
            break;
        case NumberRepr::floating:
            out += "floating point `";
            char text[kDoubleTextRoom];
            out.append(text, write_double(double_digits(number.d), number.d, text));
            break;
    }
    out.push_back('`');
}

std::string struct_expectation(std::string_view type_name) {
    std::string text = "struct ";
    text += type_name;
    return text;
}

std::string array_expectation(std::string_view type_name, std::size_t field_count) {
    std::string text = struct_expectation(type_name);
    text += " with ";
    format_unsigned(field_count, text);
    text += " elements";
    return text;
}

std::string_view field_expectation(FieldType type) {
    return type == FieldType::f64 ? "f64" : "a boolean";
}

std::string decode_fault_text(const DecodeFault& fault, const unsigned char* end,
                              std::string_view type_name, std::size_t field_count,
                              std::string_view field_name, FieldType field_type) {
    std::string text;
    switch (fault.kind) {
        case DecodeFault::Kind::none: break;
        case DecodeFault::Kind::field_kind:
        case DecodeFault::Kind::record_kind:
            text = "invalid type: ";
            append_wording_at(text, fault.value, end);
            text += ", expected ";
            if (fault.kind == DecodeFault::Kind::field_kind)
                text += field_expectation(field_type);
            else
                text += struct_expectation(type_name);
            break;
        case DecodeFault::Kind::missing_field:
            text = "missing field `";
            text += field_name;
            text.push_back('`');
            break;
        case DecodeFault::Kind::short_array:
        case DecodeFault::Kind::long_array:
            text = "invalid length ";
            format_unsigned(fault.length, text);
            text += ", expected ";
            if (fault.kind == DecodeFault::Kind::short_array)
                text += array_expectation(type_name, field_count);
            else
                text += "fewer elements in array";
            break;
    }
    return text;
}

}  // namespace mnemo::json
