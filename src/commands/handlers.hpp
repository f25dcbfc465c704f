// The command handlers. Each reads the payload text where it stands and
// appends its result value to the response, whose envelope the command
// layer writes around it. A handler that fails leaves the response to be
// discarded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "commands/run_command.hpp"
#include "json/record_reader.hpp"
#include "json/syntax.hpp"
#include "platform/compiler.hpp"

namespace mnemo::commands {

using Status = Result<std::monostate, RunError>;

Status run_tier(std::string_view payload, json::ByteBuffer& out);
Status run_tier_batch(std::string_view payload, json::ByteBuffer& out);
Status run_score(std::string_view payload, json::ByteBuffer& out);

// The fault of syntax found in the payload, as the command's failure.
MNEMO_NOINLINE inline Status syntax_failure(const json::Text& text) {
    return fail(RunError{text.fault_text()});
}

// Past the whitespace after the document at q; a fault if anything else
// follows.
inline const unsigned char* document_end(const unsigned char* q, json::Text& text) {
    if (q != text.end && *q <= ' ') q = json::skip_whitespace(q, text.end);
    return q == text.end ? q : text.fail_at(json::ErrorKind::trailing_characters, q);
}

template <class Record>
using RecordReader = const unsigned char* (*)(const unsigned char*, json::Text&, int, Record&,
                                              json::DecodeFault&);
using FaultText = std::string (*)(const json::DecodeFault&, const unsigned char*);

// The whole payload as one record (whitespace around it aside), read by
// `read`. A fault of syntax comes before a decoding fault.
template <class Record>
Status read_payload_record(std::string_view payload, Record& record, RecordReader<Record> read,
                           FaultText fault_text) {
    json::Text text(payload);
    json::DecodeFault fault;
    const unsigned char* q = json::skip_whitespace(text.begin, text.end);
    q = read(q, text, json::kNestingBudget, record, fault);
    if (q) q = document_end(q, text);
    if (!q) [[unlikely]]
        return syntax_failure(text);
    if (fault) [[unlikely]]
        return fail(RunError{fault_text(fault, text.end)});
    return std::monostate{};
}

}  // namespace mnemo::commands
