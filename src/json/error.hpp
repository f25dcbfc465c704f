// Faults of syntax found by the JSON reader, and their messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mnemo::json {

// The reader's error kinds, in the order of their texts' table; `none`
// while no fault has been found.
enum class ErrorKind : std::uint8_t {
    none,
    eof_while_parsing_list,
    eof_while_parsing_object,
    eof_while_parsing_string,
    eof_while_parsing_value,
    expected_colon,
    expected_list_comma_or_end,
    expected_object_comma_or_end,
    expected_some_ident,
    expected_some_value,
    invalid_escape,
    invalid_number,
    number_out_of_range,
    control_character_while_parsing_string,
    key_must_be_a_string,
    lone_leading_surrogate_in_hex_escape,
    trailing_comma,
    trailing_characters,
    unexpected_end_of_hex_escape,
    recursion_limit_exceeded,
};

// The fixed text of a reader error kind; empty for `none`.
std::string_view error_kind_text(ErrorKind kind);

// A fault of syntax and where it is.
struct JsonError {
    ErrorKind kind = ErrorKind::none;
    std::size_t line = 0;    // 1-based
    std::size_t column = 0;  // bytes from the start of the line
};

// The message a caller sees: the kind's text, then " at line L column C".
std::string json_error_text(const JsonError& error);

}  // namespace mnemo::json
