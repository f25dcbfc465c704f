// The walk of a batch payload: an object whose last "items" member is an
// array of records. Its other members are only checked for syntax, and a
// later "items" member replaces an earlier one. A batch command calls
// `walk_batch` with a consumer of its own, which sees the records of an
// "items" array one by one, in order, as they are read:
//
//   void start();                    an "items" array begins
//   void take(const Record& record); its next record
//   void finish();                   it closed, every record decoded
//
// The first record that fails to decode ends the taking: its message is
// kept, and the rest of the array is only checked for syntax. The walk is
// one pass on the calling thread, in array order.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "commands/handlers.hpp"

namespace mnemo::commands {

namespace batch_detail {

inline constexpr std::string_view kItems = "items";

// The record type a record reader reads.
template <class Reader>
struct ReaderRecord;
template <class Record>
struct ReaderRecord<RecordReader<Record>> {
    using type = Record;
};

// The records of an "items" array, from its opening bracket; `budget` is
// the nesting budget outside the array.
template <auto Read, FaultText Fault, class Items>
MNEMO_ALWAYS_INLINE const unsigned char* take_items(const unsigned char* q, json::Text& text,
                                                    int budget, Items& items,
                                                    std::optional<std::string>& failure) {
    const unsigned char* const end = text.end;
    if (!json::enter(q, text, budget)) return nullptr;
    items.start();
    failure.reset();
    q = json::skip_whitespace(q + 1, end);
    if (q == end) return text.fail_at(json::ErrorKind::eof_while_parsing_list, q);
    if (*q == ']') {
        items.finish();
        return q + 1;
    }
    for (;;) {
        typename ReaderRecord<decltype(Read)>::type record;
        json::DecodeFault fault;
        q = Read(q, text, budget - 1, record, fault);
        if (!q) return nullptr;
        if (fault) [[unlikely]] {
            failure = Fault(fault, end);
            return json::skip_array_rest(q, text, budget);
        }
        items.take(record);
        bool closed;
        if (!(q = json::after_element(q, text, closed))) return nullptr;
        if (closed) {
            items.finish();
            return q;
        }
    }
}

}  // namespace batch_detail

// Walks the batch payload, handing the records of its last "items" array,
// each read by `Read` (a decoding fault worded by `Fault`), to `items`.
// Fails at a fault of syntax anywhere
// in the payload, then when there is no "items" array, then at the first
// record of that array that does not decode.
template <auto Read, FaultText Fault, class Items>
MNEMO_ALWAYS_INLINE Status walk_batch(std::string_view payload, Items& items) {
    using batch_detail::kItems;
    constexpr int kMemberBudget = json::kNestingBudget - 1;
    std::optional<std::string> failure;
    json::Text text(payload);
    const unsigned char* const end = text.end;
    bool items_array = false;  // the last "items" member holds an array
    const unsigned char* q = json::skip_whitespace(text.begin, end);
    if (q == end || *q != '{') {
        q = json::skip_value(q, text, json::kNestingBudget);
    } else {
        bool closed;
        for (q = json::open_object(q + 1, text, closed); q && !closed;
             q = json::after_member(q, text, closed)) {
            // At a key, past its opening quote.
            bool is_items;
            if (static_cast<std::size_t>(end - q) > kItems.size() &&
                std::memcmp(q, kItems.data(), kItems.size()) == 0 && q[kItems.size()] == '"') {
                is_items = true;
                q += kItems.size() + 1;
            } else {
                std::string scratch;
                std::string_view key;
                if (!(q = json::read_string(q, text, scratch, key))) break;
                is_items = key == kItems;
            }
            if (!(q = json::after_colon(q, text))) break;
            if (is_items) items_array = q != end && *q == '[';
            if (is_items && items_array) {
                q = batch_detail::take_items<Read, Fault>(q, text, kMemberBudget, items, failure);
            } else {
                q = json::skip_value(q, text, kMemberBudget);
            }
            if (!q) break;
        }
    }
    if (q) q = document_end(q, text);
    if (!q) return syntax_failure(text);
    if (!items_array) return fail(RunError{"missing required field: items"});
    if (failure) return fail(RunError{std::move(*failure)});
    return std::monostate{};
}

}  // namespace mnemo::commands
