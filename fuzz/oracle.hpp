// Properties that every input must satisfy, shared by the libFuzzer harnesses
// and the sanitizer replay driver. A violated property is reported on stderr
// and ends the process with abort(), which both libFuzzer and the replay
// driver treat as a failure (libFuzzer also saves the input).
#pragma once

#include <string>
#include <string_view>

namespace mnemo::oracle {

// Whether the bytes are well-formed UTF-8 (no surrogates, no overlong forms,
// nothing above U+10FFFF): what Python hands over for a `str`.
bool is_valid_utf8(std::string_view bytes);

// Reader and writer: parse the text; a failure must be a positioned reader
// error. A success is written, the written text parsed again and written
// again. The second document must equal the first, except that a double may
// move by up to two units in the last place (the reader scales the decimal
// significand by a power of ten and is not correctly rounded); when no double
// moved, the second text must equal the first byte for byte. Every written
// double must read back exactly under a correctly rounded conversion.
void check_json_round_trip(std::string_view text);

// The command layer on UTF-8 command and payload texts: no exception, every
// failure a message of a known form, every response a canonical
// {"ok":true,"result":...} of the command's shape, the same answer when
// asked twice, and the commands agreeing with one another on the same item.
void check_command(std::string_view command, std::string_view payload);

// One entry of the command corpus: command bytes, the byte 0xFF (which UTF-8
// never uses), payload bytes. Without the separator the whole entry is a
// payload given to each command of the table. Returns false, having checked
// nothing, when a part is not UTF-8, since Python cannot pass such a str.
bool check_command_input(std::string_view input);

// Same as check_command, and the call must also give exactly `expected`:
// the response text, or "error: " and the message.
void check_command_answer(std::string_view command, std::string_view payload,
                          std::string_view expected);

// The answer of one call as a text: the response, or "error: " and the
// message.
std::string answer_text(std::string_view command, std::string_view payload);

}  // namespace mnemo::oracle
