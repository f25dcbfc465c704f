#include "oracle.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "commands.hpp"
#include "commands/command_table.hpp"
#include "commands/run_command.hpp"
#include "document_reader.hpp"
#include "json/buffer.hpp"
#include "json/error.hpp"
#include "json/number_text.hpp"
#include "scoring/decision_text.hpp"
#include "writer.hpp"

namespace mnemo::oracle {

namespace {

using json::JsonKind;
using json::JsonValue;
using json::NumberRepr;

void append_double(double d, std::string& out) {
    char text[json::kDoubleTextRoom];
    out.append(text, json::write_double(json::double_digits(d), d, text));
}

constexpr std::string_view kEnvelopeOpen = "{\"ok\":true,\"result\":";
constexpr std::string_view kErrorHead = "error: ";

// The text being checked, for the report of a violated property.
struct Subject {
    std::string_view command;
    std::string_view payload;
};

// At most `limit` bytes of `s`, with control bytes, backslashes and
// non-ASCII bytes shown as \xNN so that the report is one readable line.
std::string excerpt(std::string_view s, std::size_t limit = 240) {
    std::string out;
    const std::size_t n = s.size() < limit ? s.size() : limit;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    if (n < s.size()) out += "... (" + std::to_string(s.size()) + " bytes)";
    return out;
}

[[noreturn]] void violated(const Subject& subject, std::string_view property,
                           std::string_view detail = {}) {
    std::fprintf(stderr,
                 "\n*** property violated: %.*s\n    command: \"%s\"\n    payload: \"%s\"\n",
                 static_cast<int>(property.size()), property.data(),
                 excerpt(subject.command).c_str(), excerpt(subject.payload).c_str());
    if (!detail.empty()) std::fprintf(stderr, "    detail:  %s\n", excerpt(detail, 600).c_str());
    std::fflush(stderr);
    std::abort();
}

std::uint64_t bits_of(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

bool within_two_ulps(double a, double b) {
    const std::uint64_t x = bits_of(a), y = bits_of(b);
    return (x >> 63) == (y >> 63) && (x > y ? x - y : y - x) <= 2;
}

// The writer's text of a finite double must read back as exactly that double
// under a correctly rounded conversion.
void check_written_double(const Subject& subject, double d) {
    if (!std::isfinite(d)) violated(subject, "a document holds a non-finite double");
    std::string text;
    append_double(d, text);
    double back = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    if (ec != std::errc() || end != text.data() + text.size() || bits_of(back) != bits_of(d))
        violated(subject, "the text of a double does not read back exactly", text);
}

// The first and the second reading of one document. Sets `moved` when a
// double differs (by at most two units in the last place).
void compare_documents(const Subject& subject, const JsonValue& a, const JsonValue& b,
                       bool& moved) {
    if (a.kind() != b.kind()) violated(subject, "a value changed kind when written and read back");
    switch (a.kind()) {
        case JsonKind::null: return;
        case JsonKind::boolean:
            if (a.as_bool() != b.as_bool()) violated(subject, "a boolean changed");
            return;
        case JsonKind::number: {
            if (a.number_repr() != b.number_repr())
                violated(subject, "a number changed representation");
            if (a.number_repr() != NumberRepr::floating) {
                if (a.as_unsigned() != b.as_unsigned()) violated(subject, "an integer changed");
                return;
            }
            check_written_double(subject, a.as_double());
            if (bits_of(a.as_double()) == bits_of(b.as_double())) return;
            if (!within_two_ulps(a.as_double(), b.as_double())) {
                std::string detail;
                append_double(a.as_double(), detail);
                detail += " read back as ";
                append_double(b.as_double(), detail);
                violated(subject, "a double moved by more than two units in the last place",
                         detail);
            }
            moved = true;
            return;
        }
        case JsonKind::string:
            if (a.as_string() != b.as_string())
                violated(subject, "a string changed", b.as_string());
            return;
        case JsonKind::array: {
            if (a.size() != b.size()) violated(subject, "an array changed length");
            auto x = a.items(), y = b.items();
            for (std::size_t i = 0; i < x.size(); ++i)
                compare_documents(subject, x[i], y[i], moved);
            return;
        }
        case JsonKind::object: {
            if (a.size() != b.size()) violated(subject, "an object changed size");
            auto x = a.members(), y = b.members();
            for (std::size_t i = 0; i < x.size(); ++i) {
                if (i > 0 && !json::key_less(x[i - 1].key_view(), x[i].key_view()))
                    violated(subject, "object keys are not unique and ascending", x[i].key_view());
                if (x[i].key_view() != y[i].key_view()) violated(subject, "a key changed");
                compare_documents(subject, x[i].value, y[i].value, moved);
            }
            return;
        }
    }
    violated(subject, "a value of no known kind");
}

bool is_number_byte(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// Two compact texts that are equal byte for byte, except that a number with
// a fraction or an exponent may differ by two units in the last place.
bool equal_up_to_doubles(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    bool in_string = false;
    while (i < a.size() && j < b.size()) {
        if (!in_string && is_number_byte(a[i]) && is_number_byte(b[j])) {
            std::size_t i_end = i, j_end = j;
            while (i_end < a.size() && is_number_byte(a[i_end])) ++i_end;
            while (j_end < b.size() && is_number_byte(b[j_end])) ++j_end;
            const std::string_view x = a.substr(i, i_end - i), y = b.substr(j, j_end - j);
            if (x != y) {
                const bool fractional = x.find_first_of(".eE") != std::string_view::npos &&
                                        y.find_first_of(".eE") != std::string_view::npos;
                double dx = 0, dy = 0;
                std::from_chars(x.data(), x.data() + x.size(), dx);
                std::from_chars(y.data(), y.data() + y.size(), dy);
                if (!fractional || !within_two_ulps(dx, dy)) return false;
            }
            i = i_end;
            j = j_end;
            continue;
        }
        if (a[i] != b[j]) return false;
        if (in_string && a[i] == '\\') {
            if (++i == a.size() || ++j == b.size() || a[i] != b[j]) return false;
        } else if (a[i] == '"') {
            in_string = !in_string;
        }
        ++i;
        ++j;
    }
    return i == a.size() && j == b.size();
}

// A reader error carries a kind of its own and a position inside the text,
// and its message is the kind's text followed by that position.
void check_reader_error(const Subject& subject, std::string_view text, const json::JsonError& e) {
    if (e.kind == json::ErrorKind::none) violated(subject, "a reader error without a kind");
    std::size_t lines = 1;
    for (char c : text) lines += c == '\n';
    if (e.line < 1 || e.line > lines || e.column > text.size())
        violated(subject, "a reader error outside the text", json::json_error_text(e));
    const std::string message = json::json_error_text(e);
    const std::string tail =
        " at line " + std::to_string(e.line) + " column " + std::to_string(e.column);
    const std::string_view kind = json::error_kind_text(e.kind);
    if (kind.empty() || message.size() != kind.size() + tail.size() || !message.starts_with(kind) ||
        !message.ends_with(tail))
        violated(subject, "a reader message is not its kind and position", message);
}

// Parses `text` and writes it back; the written text must read back to the
// same document. Returns the written text and whether a double moved.
std::string round_trip(const Subject& subject, std::string_view text, bool& moved) {
    auto first = json::parse_json(text);
    if (!first) {
        check_reader_error(subject, text, first.error());
        return {};
    }
    json::ByteBuffer once;
    json::write_json(first.value().root, once);
    for (char c : once.view())
        if (static_cast<unsigned char>(c) < 0x20)
            violated(subject, "the writer let a control byte through", once.view());
    if (is_valid_utf8(text) && !is_valid_utf8(once.view()))
        violated(subject, "the writer made ill-formed UTF-8 of well-formed text", once.view());

    auto second = json::parse_json(once.view());
    if (!second)
        violated(subject, "written text does not read back",
                 json::json_error_text(second.error()) + " in " + std::string(once.view()));
    moved = false;
    compare_documents(subject, first.value().root, second.value().root, moved);

    json::ByteBuffer twice;
    json::write_json(second.value().root, twice);
    if (!moved && twice.view() != once.view())
        violated(subject, "the second write differs from the first",
                 std::string(once.view()) + " then " + std::string(twice.view()));
    return std::string(once.view());
}

using commands::Command;
using commands::PayloadShape;
using commands::ResultShape;

const JsonValue* member(const JsonValue& object, std::string_view key) {
    return object.kind() == JsonKind::object ? object.find(key) : nullptr;
}

bool is_double(const JsonValue* v) {
    return v && v->kind() == JsonKind::number && v->number_repr() == NumberRepr::floating;
}

// {"action":…,"retention":…,"tier":…} with an action of the cascade, the
// tier that goes with it and a retention between 0 and 10.
void check_decision(const Subject& subject, const JsonValue& d) {
    const JsonValue* action = member(d, "action");
    const JsonValue* tier = member(d, "tier");
    const JsonValue* retention = member(d, "retention");
    if (d.size() != 3 || !action || !tier || !is_double(retention) ||
        action->kind() != JsonKind::string || tier->kind() != JsonKind::string)
        violated(subject, "a decision is not {action, retention, tier}");
    const double r = retention->as_double();
    if (!(r >= 0.0 && r <= 10.0)) violated(subject, "a retention outside 0..10");
    for (const scoring::ActionInfo& a : scoring::kActions) {
        if (action->as_string() != a.label) continue;
        if (tier->as_string() != scoring::kTierNames[static_cast<int>(a.tier)])
            violated(subject, "an action with the wrong tier");
        if (&a == &scoring::kActions[static_cast<int>(scoring::Action::keep_forever_tag)] &&
            r != 1.0)
            violated(subject, "a keep-forever decision whose retention is not 1.0");
        return;
    }
    violated(subject, "an unknown action", action->as_string());
}

// A success response: the envelope, canonical text, the command's shape.
void check_response(const Subject& subject, const Command& command, std::string_view text) {
    if (!text.starts_with(kEnvelopeOpen) || !text.ends_with("}"))
        violated(subject, "a response without the envelope", text);
    bool moved = false;
    const std::string rewritten = round_trip(subject, text, moved);
    if (rewritten.empty()) violated(subject, "a response that does not parse", text);
    // The reader may move a double of the response, so its numbers are
    // compared as numbers.
    if (!equal_up_to_doubles(rewritten, text))
        violated(subject, "a response that is not canonical", rewritten);

    auto doc = json::parse_json(text);
    const JsonValue& root = doc.value().root;
    const JsonValue* ok = member(root, "ok");
    const JsonValue* result = member(root, "result");
    if (root.size() != 2 || !ok || ok->kind() != JsonKind::boolean || !ok->as_bool() || !result)
        violated(subject, "a response that is not {ok: true, result}", text);
    switch (command.result_shape) {
        case ResultShape::decision: check_decision(subject, *result); return;
        case ResultShape::decisions: {
            const JsonValue* decisions = member(*result, "decisions");
            if (result->size() != 1 || !decisions || decisions->kind() != JsonKind::array)
                violated(subject, "a batch result that is not {decisions: [...]}", text);
            for (const JsonValue& d : decisions->items()) check_decision(subject, d);
            return;
        }
        case ResultShape::score: {
            const JsonValue* boost = member(*result, "boost");
            const JsonValue* retention = member(*result, "retention");
            const JsonValue* stability = member(*result, "stability");
            if (result->size() != 3 || !is_double(boost) || !is_double(retention) ||
                !is_double(stability))
                violated(subject, "a score that is not {boost, retention, stability}", text);
            if (!(retention->as_double() >= 0.0 && retention->as_double() <= 10.0) ||
                !(stability->as_double() >= 0.001) || !(boost->as_double() >= 1.0))
                violated(subject, "a score outside its ranges", text);
            return;
        }
        case ResultShape::other: return;
    }
}

// ", expected struct NAME" and ", expected struct NAME with N elements".
std::string record_expectation(const commands::RecordInfo& record) {
    return ", expected struct " + std::string(record.type_name);
}
std::string array_expectation(const commands::RecordInfo& record) {
    return record_expectation(record) + " with " + std::to_string(record.field_count) + " elements";
}

// A handler's failure is a record decoding message or the batch's own one,
// never positioned, naming the record of its command.
void check_handler_message(const Subject& subject, const Command& command,
                           std::string_view message) {
    const bool decoding = message.starts_with("invalid type: ") ||
                          message.starts_with("invalid length ") ||
                          (message.starts_with("missing field `") && message.ends_with("`"));
    const bool batch_shape =
        command.payload_shape == PayloadShape::items && message == "missing required field: items";
    if (!decoding && !batch_shape) violated(subject, "an unexpected handler message", message);
    // What the message says was expected is its last part (a value it
    // quotes comes before it).
    const std::size_t at = message.rfind(", expected ");
    const std::string_view expected =
        at == std::string_view::npos ? std::string_view() : message.substr(at);
    if (expected.starts_with(", expected struct ") &&
        expected != record_expectation(command.record) &&
        expected != array_expectation(command.record))
        violated(subject, "a message naming another record than the command's", message);
}

std::string_view result_of(std::string_view response) {
    return response.substr(kEnvelopeOpen.size(), response.size() - kEnvelopeOpen.size() - 1);
}

double retention_of(std::string_view response) {
    auto doc = json::parse_json(response);
    return doc.value().root.find("result")->find("retention")->as_double();
}

// The commands agree on one item: a command that decides one record answers
// as a one-item batch of every batch command of the same record, and its
// retention equals the score's unless the item is kept forever.
void check_agreement(const Subject& subject, const Command& command,
                     std::string_view decision_answer) {
    for (const Command& other : commands::kCommands) {
        if (other.record.type_name != command.record.type_name) continue;
        if (other.result_shape != ResultShape::decisions) continue;
        const std::string wrapped = "{\"items\":[" + std::string(subject.payload) + "]}";
        const std::string batch = answer_text(other.name, wrapped);
        if (batch.starts_with(kErrorHead)) {
            // Wrapping adds two levels of nesting.
            if (batch.find("recursion limit exceeded at line ") == std::string::npos)
                violated(subject, "a one-item batch fails where the single call succeeds", batch);
        } else {
            const std::string expected = std::string(kEnvelopeOpen) + "{\"decisions\":[" +
                                         std::string(result_of(decision_answer)) + "]}}";
            if (batch != expected)
                violated(subject, "a one-item batch differs from the single call", batch);
        }
    }
    if (decision_answer.find("\"keep_forever_tag\"") != std::string_view::npos) return;
    for (const Command& other : commands::kCommands) {
        if (other.result_shape != ResultShape::score) continue;
        const std::string score = answer_text(other.name, subject.payload);
        if (score.starts_with(kErrorHead)) continue;
        if (bits_of(retention_of(score)) != bits_of(retention_of(decision_answer)))
            violated(subject, "score and decision disagree on the retention", score);
    }
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int len;
        std::uint32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (end - p < len) return false;
        for (int i = 1; i < len; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += len;
    }
    return true;
}

void check_json_round_trip(std::string_view text) {
    bool moved = false;
    round_trip(Subject{"(reader and writer)", text}, text, moved);
    // The module checks the syntax of a payload for an unknown command
    // without building a document: the same verdict, the same position.
    const std::string answer = answer_text("?", text);
    const std::string expected = reference::answer("?", text);
    if (answer != expected)
        violated(Subject{"?", text}, "the syntax check differs from the reference reader's",
                 "got " + answer + ", expected " + expected);
}

std::string answer_text(std::string_view command, std::string_view payload) {
    json::ByteBuffer response;
    auto status = commands::run_command(command, payload, response);
    if (!status) return std::string(kErrorHead) + status.error().message;
    return std::string(response.view());
}

void check_command(std::string_view command_text, std::string_view payload) {
    const Subject subject{command_text, payload};
    std::string answer;
    try {
        answer = answer_text(command_text, payload);
        if (answer != answer_text(command_text, payload))
            violated(subject, "two calls with the same arguments answer differently", answer);
    } catch (const std::bad_alloc&) {
        throw;  // the one exception the command layer may let through
    } catch (const std::exception& e) {
        violated(subject, "the command layer threw", e.what());
    } catch (...) {
        violated(subject, "the command layer threw something that is not an exception");
    }
    if (!is_valid_utf8(answer)) violated(subject, "an answer that is not UTF-8", answer);
    // The independent reading: the whole payload as a document, then each
    // record decoded from it.
    const std::string expected_answer = reference::answer(command_text, payload);
    if (answer != expected_answer)
        violated(subject, "the answer differs from the reference reading's",
                 "got " + answer + ", expected " + expected_answer);

    auto parsed = json::parse_json(payload);
    if (!parsed) {
        check_reader_error(subject, payload, parsed.error());
        const std::string expected =
            std::string(kErrorHead) + json::json_error_text(parsed.error());
        if (answer != expected) violated(subject, "a malformed payload answered otherwise", answer);
        return;
    }
    const Command* const command = commands::find_command(command_text);
    if (!command) {
        if (answer != std::string(kErrorHead) + "unknown command: " + std::string(command_text))
            violated(subject, "an unknown command answered otherwise", answer);
        return;
    }
    if (answer.starts_with(kErrorHead)) {
        check_handler_message(subject, *command,
                              std::string_view(answer).substr(kErrorHead.size()));
        return;
    }
    check_response(subject, *command, answer);
    if (command->result_shape == ResultShape::decision &&
        command->payload_shape == PayloadShape::record)
        check_agreement(subject, *command, answer);
}

bool check_command_input(std::string_view input) {
    const std::size_t separator = input.find('\xFF');
    if (separator != std::string_view::npos) {
        const std::string_view command = input.substr(0, separator);
        const std::string_view payload = input.substr(separator + 1);
        if (!is_valid_utf8(command) || !is_valid_utf8(payload)) return false;
        check_command(command, payload);
        return true;
    }
    if (!is_valid_utf8(input)) return false;
    for (const Command& command : commands::kCommands) check_command(command.name, input);
    return true;
}

void check_command_answer(std::string_view command, std::string_view payload,
                          std::string_view expected) {
    check_command(command, payload);
    const std::string answer = answer_text(command, payload);
    if (answer != expected)
        violated(Subject{command, payload}, "a wrong answer",
                 "got " + answer + ", expected " + std::string(expected));
}

}  // namespace mnemo::oracle
