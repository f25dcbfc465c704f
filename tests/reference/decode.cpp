#include "decode.hpp"

#include <charconv>

namespace mnemo::json {

namespace {

void append_count(std::string& out, std::size_t n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

}  // namespace

void append_value_wording(std::string& out, const JsonValue& value) {
    switch (value.kind()) {
        case JsonKind::null: out += "null"; return;
        case JsonKind::boolean:
            out += value.as_bool() ? "boolean `true`" : "boolean `false`";
            return;
        case JsonKind::number:
            switch (value.number_repr()) {
                case NumberRepr::unsigned_int:
                    append_number_wording(out, Number::from_unsigned(value.as_unsigned()));
                    return;
                case NumberRepr::signed_int:
                    append_number_wording(out, Number::from_signed(value.as_signed()));
                    return;
                case NumberRepr::floating:
                    append_number_wording(out, Number::from_double(value.as_double()));
                    return;
            }
            return;
        case JsonKind::string:
            out += "string ";
            append_quoted_literal(out, value.as_string());
            return;
        case JsonKind::array: out += "sequence"; return;
        case JsonKind::object: out += "map"; return;
    }
}

std::string invalid_type(const JsonValue& value, std::string_view expected) {
    std::string text = "invalid type: ";
    append_value_wording(text, value);
    text += ", expected ";
    text += expected;
    return text;
}

std::string invalid_length(std::size_t length, std::string_view expected) {
    std::string text = "invalid length ";
    append_count(text, length);
    text += ", expected ";
    text += expected;
    return text;
}

std::string missing_field(std::string_view name) {
    std::string text = "missing field `";
    text += name;
    text.push_back('`');
    return text;
}

}  // namespace mnemo::json
