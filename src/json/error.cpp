#include "json/error.hpp"

#include "json/number_text.hpp"

namespace mnemo::json {

std::string_view error_kind_text(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::none: return {};
        case ErrorKind::eof_while_parsing_list: return "EOF while parsing a list";
        case ErrorKind::eof_while_parsing_object: return "EOF while parsing an object";
        case ErrorKind::eof_while_parsing_string: return "EOF while parsing a string";
        case ErrorKind::eof_while_parsing_value: return "EOF while parsing a value";
        case ErrorKind::expected_colon: return "expected `:`";
        case ErrorKind::expected_list_comma_or_end: return "expected `,` or `]`";
        case ErrorKind::expected_object_comma_or_end: return "expected `,` or `}`";
        case ErrorKind::expected_some_ident: return "expected ident";
        case ErrorKind::expected_some_value: return "expected value";
        case ErrorKind::invalid_escape: return "invalid escape";
        case ErrorKind::invalid_number: return "invalid number";
        case ErrorKind::number_out_of_range: return "number out of range";
        case ErrorKind::control_character_while_parsing_string:
            return "control character (\\u0000-\\u001F) found while parsing a string";
        case ErrorKind::key_must_be_a_string: return "key must be a string";
        case ErrorKind::lone_leading_surrogate_in_hex_escape:
            return "lone leading surrogate in hex escape";
        case ErrorKind::trailing_comma: return "trailing comma";
        case ErrorKind::trailing_characters: return "trailing characters";
        case ErrorKind::unexpected_end_of_hex_escape: return "unexpected end of hex escape";
        case ErrorKind::recursion_limit_exceeded: return "recursion limit exceeded";
    }
    return {};
}

std::string json_error_text(const JsonError& error) {
    std::string out(error_kind_text(error.kind));
    out += " at line ";
    format_unsigned(error.line, out);
    out += " column ";
    format_unsigned(error.column, out);
    return out;
}

}  // namespace mnemo::json
