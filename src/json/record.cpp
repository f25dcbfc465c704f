#include "json/record.hpp"

#include <algorithm>
#include <charconv>

#include "json/number_text.hpp"

namespace mnemo::json {

namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

constexpr CodeRange kHidden[] = {
#include "json/unicode_printable_table.inc"
};

void append_decimal(std::string& out, std::uint64_t n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

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

void append_value_wording(std::string& out, const JsonValue& value) {
    switch (value.kind()) {
        case JsonKind::null: out += "null"; return;
        case JsonKind::boolean:
            out += value.as_bool() ? "boolean `true`" : "boolean `false`";
            return;
        case JsonKind::number:
            switch (value.number_repr()) {
                case NumberRepr::unsigned_int:
                    out += "integer `";
                    append_decimal(out, value.as_unsigned());
                    break;
                case NumberRepr::signed_int: {
                    out += "integer `-";
                    // Magnitude as unsigned, so that the smallest value has one.
                    append_decimal(out, 0 - static_cast<std::uint64_t>(value.as_signed()));
                    break;
                }
                case NumberRepr::floating:
                    out += "floating point `";
                    format_double(value.as_double(), out);
                    break;
            }
            out.push_back('`');
            return;
        case JsonKind::string:
            out += "string ";
            append_quoted_literal(out, value.as_string());
            return;
        case JsonKind::array: out += "sequence"; return;
        case JsonKind::object: out += "map"; return;
    }
}

JsonError invalid_type(const JsonValue& value, std::string_view expected) {
    std::string text = "invalid type: ";
    append_value_wording(text, value);
    text += ", expected ";
    text += expected;
    return JsonError::text(std::move(text));
}

JsonError invalid_length(std::size_t length, std::string_view expected) {
    std::string text = "invalid length ";
    append_decimal(text, length);
    text += ", expected ";
    text += expected;
    return JsonError::text(std::move(text));
}

JsonError missing_field(std::string_view name) {
    std::string text = "missing field `";
    text += name;
    text.push_back('`');
    return JsonError::text(std::move(text));
}

std::string struct_expectation(std::string_view type_name) {
    std::string text = "struct ";
    text += type_name;
    return text;
}

std::string array_expectation(std::string_view type_name, std::size_t field_count) {
    std::string text = struct_expectation(type_name);
    text += " with ";
    append_decimal(text, field_count);
    text += " elements";
    return text;
}

std::string_view field_expectation(FieldType type) {
    return type == FieldType::f64 ? "f64" : "a boolean";
}

}  // namespace mnemo::json
