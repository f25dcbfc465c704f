// Failures of the JSON reader and of record decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mnemo::json {

// The reader's error kinds, in the order of their texts' table. `message`
// means a free text carried by the error itself (record decoding).
enum class ErrorKind : std::uint8_t {
    message,
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

// The fixed text of a reader error kind; empty for `message`.
std::string_view error_kind_text(ErrorKind kind);

struct JsonError {
    ErrorKind kind = ErrorKind::message;
    std::string message;     // the text when kind is `message`
    std::size_t line = 0;    // 1-based; 0 means the error has no position
    std::size_t column = 0;  // bytes from the start of the line

    static JsonError at(ErrorKind kind, std::size_t line, std::size_t column) {
        return JsonError{kind, {}, line, column};
    }
    static JsonError text(std::string message) {
        return JsonError{ErrorKind::message, std::move(message), 0, 0};
    }
};

// The message a caller sees: the kind's text, followed by
// " at line L column C" when the error has a position.
std::string json_error_text(const JsonError& error);

}  // namespace mnemo::json
