// Reading a record (a struct of number and boolean fields, described by a
// RecordLayout) straight from the payload text, where it stands: one pass,
// no document. The record may be an object, by key, or an array, by
// position; any other value is a decoding fault.
//
// The common text is read by code made for each field: members in field
// order, laid out alike, each compared whole with a text known at compile
// time and its value read with its kind and place known. From the first
// byte that departs from that (a key out of order or escaped, a value of
// another kind, a nested value, a fault) the same pass goes on through the
// general steps, which read anything.
//
// Two kinds of fault are told apart. A fault of syntax ends the reading at
// once (the function returns null, with the fault in the Text). A decoding
// fault is only noted, in `DecodeFault`, and the record's text is read to
// its end, since a fault of syntax anywhere in the payload is reported
// before any decoding fault. Decoding faults follow the order of a document
// decoded entry by entry: in an object, the last occurrence of a key counts,
// and of the fields whose values have the wrong kind the one whose key sorts
// first is reported, before any absent required field (in declaration
// order); in an array, the first element of the wrong kind, then a length
// that does not fit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "json/number_reader.hpp"
#include "json/record.hpp"
#include "json/string_scan.hpp"
#include "json/syntax.hpp"
#include "platform/bits.hpp"
#include "platform/compiler.hpp"

namespace mnemo::json {

// The end of a literal true or false at q, with its value; null otherwise.
// The literal is compared as one word: near the end of the text, the bytes
// left followed by zeros, which no literal holds.
template <bool Roomy = false>
MNEMO_ALWAYS_INLINE const unsigned char* scan_boolean(const unsigned char* q,
                                                      const unsigned char* end, bool& value) {
    std::uint64_t word = 0;
    if (!Roomy && end - q < 8) {
        std::memcpy(&word, q, static_cast<std::size_t>(end - q));
        word = platform::to_little_endian(word);
    } else {
        word = platform::load_little_endian(q);
    }
    constexpr std::uint64_t kTrue = 0x65757274;     // "true"
    constexpr std::uint64_t kFalse = 0x65736c6166;  // "false"
    if ((word & 0xFFFFFFFFu) == kTrue) {
        value = true;
        return q + 4;
    }
    if ((word & 0xFFFFFFFFFFu) == kFalse) {
        value = false;
        return q + 5;
    }
    return nullptr;
}

// The end of a number, a literal or a string without escapes at q; null
// when the value is anything else or has a fault.
const unsigned char* skip_plain_value(const unsigned char* q, const unsigned char* end);

// A field's value of any kind at q. A value of the field's kind is stored
// and `ok` set; a value of another kind is only checked for syntax, with
// `ok` cleared. `budget` is the nesting budget inside the record.
const unsigned char* read_f64_field(const unsigned char* q, Text& text, int budget, double& out,
                                    bool& ok);
const unsigned char* read_boolean_field(const unsigned char* q, Text& text, int budget, bool& out,
                                        bool& ok);

// The record type that a record layout describes.
template <const auto& Layout>
using LayoutRecord = typename std::remove_cvref_t<decltype(Layout)>::record_type;

// Field I's value at q in its plain form, its kind and its place in the
// record known at compile time; null when the value is not plain. `Roomy`
// tells that 64 bytes or more of text follow q (tested beforehand); its
// values are then at most kLongestPlainNumber bytes long (a longer number
// is left to the general steps), so that the room tested once for a record
// holds for all its members.
template <const auto& Layout, std::size_t I, bool Roomy = false>
MNEMO_ALWAYS_INLINE const unsigned char* scan_field_at(const unsigned char* q,
                                                       const unsigned char* end,
                                                       LayoutRecord<Layout>& record) {
    constexpr auto field = Layout.fields[I];
    if constexpr (field.type == FieldType::boolean)
        return scan_boolean<Roomy>(q, end, record.*(field.flag));
    else if constexpr (Roomy)
        return read_plain_number_in_block<false>(q, record.*(field.number));
    else
        return read_double(q, end, record.*(field.number));
}

// Field f's value at q, of any form: the plain form first, then the
// general one. Returns past the value, or null at a fault of syntax.
template <const auto& Layout>
const unsigned char* read_field(const unsigned char* q, Text& text, int budget, std::size_t f,
                                LayoutRecord<Layout>& record, bool& ok) {
    const auto& field = Layout.fields[f];
    ok = true;
    if (field.type == FieldType::f64) {
        const unsigned char* const stop = read_double(q, text.end, record.*field.number);
        return stop ? stop : read_f64_field(q, text, budget, record.*field.number, ok);
    }
    const unsigned char* const stop = scan_boolean(q, text.end, record.*field.flag);
    return stop ? stop : read_boolean_field(q, text, budget, record.*field.flag, ok);
}

// The text that leads field I's value after the previous member's value:
// `, "name": ` with the spaces most serializers put after separators, or
// `,"name":` without them: kLeadSize bytes, kept with 32 bytes of room
// after them, so that it can be compared a block at a time.
template <const auto& Layout, std::size_t I, bool Spaced>
inline constexpr std::size_t kLeadSize = Layout.fields[I].name.size() + (Spaced ? 6 : 4);

template <const auto& Layout, std::size_t I, bool Spaced>
inline constexpr auto kLeadText = [] {
    constexpr std::string_view name = Layout.fields[I].name;
    std::array<char, kLeadSize<Layout, I, Spaced> + 32> text{};
    std::size_t n = 0;
    text[n++] = ',';
    if (Spaced) text[n++] = ' ';
    text[n++] = '"';
    for (char c : name) text[n++] = c;
    text[n++] = '"';
    text[n++] = ':';
    if (Spaced) text[n++] = ' ';
    return text;
}();

// Whether the Size bytes of `text` (kept with 32 bytes of room after them)
// are at q, followed by at least Follow more bytes of text: a block at a
// time where 32 bytes are left besides those; `Roomy` tells that the room
// after q was tested beforehand (kInOrderRoom).
template <std::size_t Size, std::size_t Follow = 0, bool Roomy = false>
MNEMO_ALWAYS_INLINE bool text_at(const unsigned char* q, const unsigned char* end,
                                 const char* text) {
    const auto left = static_cast<std::size_t>(end - q);
    if constexpr (Size <= 32) {
        if (Roomy || left >= 32 + Follow) return platform::same_bytes_in_blocks<Size>(q, text);
    }
    if constexpr (!Roomy)
        if (left < Size + Follow) return false;
    return same_bytes(text, reinterpret_cast<const char*>(q), Size);
}

// Whether the lead text of field I is at q.
template <const auto& Layout, std::size_t I, bool Spaced, bool Roomy>
MNEMO_ALWAYS_INLINE bool lead_at(const unsigned char* q, const unsigned char* end) {
    return text_at<kLeadSize<Layout, I, Spaced>, 0, Roomy>(q, end,
                                                           kLeadText<Layout, I, Spaced>.data());
}

// The room past the first value of a record in which the members read in
// field order can be read without a test of the room left: each member's
// lead text and longest plain value, and 64 bytes, which the last one reads
// at most past its start.
template <const auto& Layout>
inline constexpr std::size_t kInOrderRoom = [] {
    std::size_t room = 64;
    for (const auto& field : Layout.fields) room += field.name.size() + 6 + kLongestPlainNumber;
    return room;
}();

// The fields' indices in the byte order of their names: the order in which
// faults of their values are reported.
template <const auto& Layout>
inline constexpr auto kFieldsByName = [] {
    std::array<std::uint8_t, Layout.field_count> order{};
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 1; i < order.size(); ++i)
        for (std::size_t j = i;
             j > 0 && Layout.fields[order[j]].name < Layout.fields[order[j - 1]].name; --j)
            std::swap(order[j], order[j - 1]);
    return order;
}();

// Where the members read in field order stopped: q is just past the last
// value read, or, when `pending` is set, at the value of field `next`, whose
// plain form did not read.
struct InOrderStop {
    std::size_t next;
    bool pending;
};

// Members from field I on while they come in field order and laid out
// alike; q is just past the previous member's value, which starts at
// `previous`. `Roomy` tells that the room of kInOrderRoom was tested at the
// first member's value.
template <const auto& Layout, bool Spaced, bool Roomy, std::size_t I>
MNEMO_ALWAYS_INLINE const unsigned char* read_members_in_order(
    const unsigned char* q, const unsigned char* previous, const unsigned char* end,
    LayoutRecord<Layout>& record, std::uint64_t& seen, InOrderStop& stop) {
    if constexpr (I < Layout.field_count) {
        if (lead_at<Layout, I, Spaced, Roomy>(q, end)) {
            const unsigned char* const value = q + kLeadSize<Layout, I, Spaced>;
            q = scan_field_at<Layout, I, Roomy>(value, end, record);
            if (!q) {
                stop = {I, true};
                return value;
            }
            seen |= std::uint64_t{1} << I;
            return read_members_in_order<Layout, Spaced, Roomy, I + 1>(q, value, end, record, seen,
                                                                       stop);
        }
    }
    // Numbers read with no room test are not tested for an exponent: a lead
    // text after one rules it out; elsewhere it is tested here, for a reread.
    if constexpr (Roomy && Layout.fields[I - 1].type == FieldType::f64) {
        if ((*q | 0x20) == 'e') {
            stop = {I - 1, true};
            return previous;
        }
    }
    stop = {I, false};
    return q;
}

// A key that is not plain (it has escapes, or a fault) after its opening
// quote: past its closing quote, with the field it names (-1 for none).
template <const auto& Layout>
MNEMO_NOINLINE const unsigned char* read_other_key(const unsigned char* q, Text& text, int& f) {
    std::string scratch;
    std::string_view key;
    q = read_string(q, text, scratch, key);
    if (q) f = Layout.field_index(key);
    return q;
}

// Where the object form stands when the general steps take it over.
enum class MemberStop : std::uint8_t {
    at_key,       // q just past a key's opening quote
    after_value,  // q just past a member's value
    at_value,     // q at the value of field `next`, whose plain form did not read
};

// The object form from where its first steps stopped (`seen` holds the
// fields read so far, `next` the field expected next), to its closing
// brace and the checks of its fields.
template <const auto& Layout>
MNEMO_NOINLINE const unsigned char* read_object_rest(const unsigned char* q, Text& text, int budget,
                                                     LayoutRecord<Layout>& record,
                                                     DecodeFault& fault, std::uint64_t seen,
                                                     std::size_t next, MemberStop stop) {
    constexpr std::size_t N = Layout.field_count;
    const unsigned char* const end = text.end;
    std::uint64_t faulty = 0;  // fields whose last value is of the wrong kind
    const unsigned char* fault_at[N];
    for (;; stop = MemberStop::after_value) {
        int f = static_cast<int>(next);
        if (stop == MemberStop::at_value) {
            // The compact lead text leaves any whitespace after the colon.
            q = skip_whitespace(q, end);
        } else {
            if (stop == MemberStop::after_value) {
                bool closed;
                if (!(q = after_member(q, text, closed))) return nullptr;
                if (closed) break;
            }
            // At the key, past its opening quote.
            const unsigned char* const key = q;
            const std::string_view expected = next < N ? Layout.fields[next].name : "";
            const std::size_t room = static_cast<std::size_t>(end - key);
            if (next < N && room > expected.size() && key[expected.size()] == '"' &&
                same_bytes(expected.data(), reinterpret_cast<const char*>(key), expected.size())) {
                // The name's bytes need no escape, so the key ends at that quote.
                q = key + expected.size() + 1;
            } else {
                q = key + find_string_stop(key, 0, static_cast<std::size_t>(end - key));
                if (q != end && *q == '"') {
                    f = Layout.field_index(
                        {reinterpret_cast<const char*>(key), static_cast<std::size_t>(q - key)});
                    ++q;
                } else if (!(q = read_other_key<Layout>(key, text, f))) {
                    return nullptr;
                }
            }
            if (!(q = after_colon(q, text))) return nullptr;
        }
        if (f < 0) {
            const unsigned char* const stop_at = skip_plain_value(q, end);
            q = stop_at ? stop_at : skip_value(q, text, budget - 1);
        } else {
            const unsigned char* const value = q;
            bool ok;
            q = read_field<Layout>(q, text, budget - 1, static_cast<std::size_t>(f), record, ok);
            const std::uint64_t bit = std::uint64_t{1} << f;
            seen |= bit;
            if (ok) {
                faulty &= ~bit;
            } else {
                faulty |= bit;
                fault_at[f] = value;
            }
            next = static_cast<std::size_t>(f) + 1;
        }
        if (!q) return nullptr;
    }
    if (faulty != 0) {
        for (std::uint8_t f : kFieldsByName<Layout>)
            if (faulty >> f & 1) {
                fault = {DecodeFault::Kind::field_kind, f, fault_at[f], 0};
                return q;
            }
    }
    for (std::size_t f = 0; f < N; ++f)
        if ((Layout.required_mask & ~seen) >> f & 1) {
            fault = {DecodeFault::Kind::missing_field, static_cast<std::uint8_t>(f), nullptr, 0};
            return q;
        }
    return q;
}

// The object form, from its opening brace, which the caller entered;
// `budget` is the nesting budget outside it. Members that come in field order, laid out alike, are
// read here; the general steps take over from the first that does not.
template <const auto& Layout>
const unsigned char* read_object(const unsigned char* q, Text& text, int budget,
                                 LayoutRecord<Layout>& record, DecodeFault& fault) {
    const unsigned char* const end = text.end;
    if (++q != end && *q <= ' ') q = skip_whitespace(q, end);
    // The first key and its colon: the compact lead text without its comma.
    constexpr auto& lead = kLeadText<Layout, 0, false>;
    constexpr std::size_t key_size = kLeadSize<Layout, 0, false> - 1;
    // A byte must follow the key: the first value or the space before it.
    if (!text_at<key_size, 1>(q, end, lead.data() + 1)) {
        if (q == end) return text.fail_at(ErrorKind::eof_while_parsing_object, q);
        if (*q == '}')
            return read_object_rest<Layout>(q, text, budget, record, fault, 0, 0,
                                            MemberStop::after_value);
        if (*q != '"') return text.fail_at(ErrorKind::key_must_be_a_string, q);
        return read_object_rest<Layout>(q + 1, text, budget, record, fault, 0, 0,
                                        MemberStop::at_key);
    }
    q += key_size;
    const bool spaced = *q == ' ';
    const unsigned char* value = q + spaced;
    if (value == end || *value <= ' ') value = skip_whitespace(value, end);
    // Far from the end of the text, where the processor has block tests
    // (whose plain numbers have a longest form), the members in field order
    // are read with no test of the room left.
    const bool roomy =
        platform::kBlockTests && static_cast<std::size_t>(end - value) >= kInOrderRoom<Layout>;
    q = roomy ? scan_field_at<Layout, 0, true>(value, end, record)
              : scan_field_at<Layout, 0>(value, end, record);
    if (!q)
        return read_object_rest<Layout>(value, text, budget, record, fault, 0, 0,
                                        MemberStop::at_value);
    std::uint64_t seen = 1;
    InOrderStop stop;
    // The members after the first, from the variant made for the layout of
    // the first one and the room left.
    if (roomy)
        q = spaced
                ? read_members_in_order<Layout, true, true, 1>(q, value, end, record, seen, stop)
                : read_members_in_order<Layout, false, true, 1>(q, value, end, record, seen, stop);
    else
        q = spaced
                ? read_members_in_order<Layout, true, false, 1>(q, value, end, record, seen, stop)
                : read_members_in_order<Layout, false, false, 1>(q, value, end, record, seen, stop);
    if (!stop.pending) {
        if (q != end && *q <= ' ') q = skip_whitespace(q, end);
        if (q != end && *q == '}' && (seen & Layout.required_mask) == Layout.required_mask)
            return q + 1;
    }
    return read_object_rest<Layout>(q, text, budget, record, fault, seen, stop.next,
                                    stop.pending ? MemberStop::at_value : MemberStop::after_value);
}

// Where the elements read in order stopped: past the closing bracket; at
// element `count`, whose plain form did not read (or which is one more
// than the fields); or just past element count - 1, before a separator
// that is not plain.
enum class ElementStop : std::uint8_t { closed, at_element, after_element };

// Elements from element I on while each reads in its plain form and is
// followed by a comma or the closing bracket; q is at element I.
template <const auto& Layout, std::size_t I>
MNEMO_ALWAYS_INLINE const unsigned char* read_elements_in_order(const unsigned char* q,
                                                                const unsigned char* end,
                                                                LayoutRecord<Layout>& record,
                                                                std::size_t& count,
                                                                ElementStop& stop) {
    count = I;
    stop = ElementStop::at_element;
    if constexpr (I == Layout.field_count) {
        return q;
    } else {
        const unsigned char* const value = q;
        q = scan_field_at<Layout, I>(q, end, record);
        if (!q) return value;
        count = I + 1;
        stop = ElementStop::after_element;
        if (q != end && *q <= ' ') q = skip_whitespace(q, end);
        if (q == end) return q;
        if (*q == ']') {
            stop = ElementStop::closed;
            return q + 1;
        }
        if (*q != ',') return q;
        const unsigned char* const next = skip_separator_space(q + 1, end);
        if (next == end || *next == ']') return q;  // a fault the general steps report
        return read_elements_in_order<Layout, I + 1>(next, end, record, count, stop);
    }
}

// The array form, from its opening bracket, which the caller entered.
template <const auto& Layout>
const unsigned char* read_array(const unsigned char* q, Text& text, int budget,
                                LayoutRecord<Layout>& record, DecodeFault& fault) {
    constexpr std::size_t N = Layout.field_count;
    const unsigned char* const end = text.end;
    q = skip_whitespace(q + 1, end);
    if (q == end) return text.fail_at(ErrorKind::eof_while_parsing_list, q);
    std::size_t count = 0;
    ElementStop stop = ElementStop::closed;
    if (*q == ']')
        ++q;
    else
        q = read_elements_in_order<Layout, 0>(q, end, record, count, stop);
    if (stop != ElementStop::closed) [[unlikely]] {
        for (bool at_element = stop == ElementStop::at_element;; at_element = true) {
            if (at_element) {
                const unsigned char* const value = q;
                if (count < N) {
                    bool ok;
                    q = read_field<Layout>(q, text, budget - 1, count, record, ok);
                    if (!ok && !fault)
                        fault = {DecodeFault::Kind::field_kind, static_cast<std::uint8_t>(count),
                                 value, 0};
                } else {
                    q = skip_value(q, text, budget - 1);
                }
                if (!q) return nullptr;
                ++count;
            }
            bool closed;
            if (!(q = after_element(q, text, closed))) return nullptr;
            if (closed) break;
        }
    }
    if (fault) [[unlikely]]
        return q;
    if (count < N && (Layout.required_mask >> count) != 0) [[unlikely]]
        fault = {DecodeFault::Kind::short_array, 0, nullptr, count};
    else if (count > N) [[unlikely]]
        fault = {DecodeFault::Kind::long_array, 0, nullptr, count};
    return q;
}

// The record at q (whitespace before it skipped), read into `record`;
// `budget` is the nesting budget outside it. Returns past the record's
// text, or null at a fault of syntax (in `text`). A decoding fault is set
// in `fault`, which the caller starts empty; `record` is then unspecified.
template <const auto& Layout>
const unsigned char* read_record(const unsigned char* q, Text& text, int budget,
                                 LayoutRecord<Layout>& record, DecodeFault& fault) {
    record = LayoutRecord<Layout>{};
    // The nesting test here, where the budget is often known at compile time.
    if (q != text.end && *q == '{')
        return enter(q, text, budget) ? read_object<Layout>(q, text, budget, record, fault)
                                      : nullptr;
    if (q != text.end && *q == '[')
        return enter(q, text, budget) ? read_array<Layout>(q, text, budget, record, fault)
                                      : nullptr;
    const unsigned char* const stop = skip_value(q, text, budget);
    if (stop) fault = {DecodeFault::Kind::record_kind, 0, q, 0};
    return stop;
}

}  // namespace mnemo::json
