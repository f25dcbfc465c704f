// Reading a record straight from its text, without building a document.
//
// Most records arrive plain: an object whose keys need no unescaping and
// whose values are numbers, true, false, null or strings without escapes,
// with a value of the right kind for every field that is named and every
// required field present; or an array of the fields' values in order. For
// such text the scanner fills the record exactly as reading the document
// and decoding it would. For any other text (nesting, escapes, a fault of
// syntax or of decoding) it gives up without a message, and the caller
// reads the text the general way, parse_json then decode_record, which
// reports whatever is wrong in its own words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "json/number_reader.hpp"
#include "json/record.hpp"
#include "platform/simd.hpp"
#include "json/string_scan.hpp"
#include "platform/bits.hpp"
#include "platform/compiler.hpp"

namespace mnemo::json {

inline const unsigned char* skip_whitespace(const unsigned char* q, const unsigned char* end) {
    while (q != end && (*q == ' ' || *q == '\n' || *q == '\r' || *q == '\t')) ++q;
    return q;
}

// Past the whitespace after a comma or colon: mostly none, or the one
// space a serializer puts there. Every whitespace byte is at most a space.
MNEMO_ALWAYS_INLINE const unsigned char* skip_separator_space(const unsigned char* q,
                                                                        const unsigned char* end) {
    if (q != end && *q == ' ') ++q;
    if (q != end && *q <= ' ') q = skip_whitespace(q, end);
    return q;
}

// At `c` after optional whitespace: past it, or null.
inline const unsigned char* expect_after_space(const unsigned char* q, const unsigned char* end,
                                               unsigned char c) {
    if (q != end && *q <= ' ') q = skip_whitespace(q, end);
    return q != end && *q == c ? q + 1 : nullptr;
}

// The end of a plain value other than a field's: a number, a literal or a
// string without escapes; null when the value is anything else.
const unsigned char* skip_plain_value(const unsigned char* q, const unsigned char* end);

// The end of a literal true or false at q, with its value; null otherwise.
const unsigned char* scan_boolean(const unsigned char* q, const unsigned char* end, bool& value);

// The value of a plain number: S, all its digits, as a whole number, the
// length of its fraction, and its sign. An integer is unsigned, or signed
// when negative (-0 is a double); either converts to the nearest double,
// and negation is exact.
inline double plain_number_value(std::uint64_t s, std::size_t frac_count, bool negative) {
    const double v =
        frac_count == 0 ? static_cast<double>(s) : static_cast<double>(s) / kPow10[frac_count];
    return negative ? -v : v;
}

// The doubles nearest to i / 10 for i < 100: the values of d.d, one digit
// with a one-digit fraction, ready rather than divided out (IEEE division
// is correctly rounded, at compile time as at run time).
inline constexpr auto kTenths = [] {
    std::array<double, 100> t{};
    for (int i = 0; i < 100; ++i) t[i] = static_cast<double>(i) / 10.0;
    return t;
}();

// scan_double for any text, byte by byte: used near the end of the text,
// where whole blocks cannot be loaded, and for the numbers the block path
// leaves (long runs, exponents, faults).
const unsigned char* scan_double_bytewise(const unsigned char* q, const unsigned char* end,
                                          double& value);

#if MNEMO_SSE2
// The value of a plain number of more than eight bytes at p (after its
// sign), of int_count digits and, when frac_count is not 0, a point and
// frac_count digits, ending at stop; returns stop.
MNEMO_NOINLINE inline const unsigned char* finish_long_plain_number(
    const unsigned char* p, const unsigned char* stop, unsigned int_count, unsigned frac_count,
    unsigned negative, double& value) {
    const std::uint64_t s =
        frac_count == 0 ? digits_value(p, int_count)
                        : (*p == '0' ? 0 : digits_value(p, int_count)) * kPow10Whole[frac_count] +
                              digits_value(p + int_count + 1, frac_count);
    value = plain_number_value(s, frac_count, negative != 0);
    return stop;
}

// scan_double with 64 bytes or more of text left: one 32-byte test finds
// the digit runs and the number's end, and the digits are read eight at a
// time, taking the same steps whatever their lengths. Out of line (inlined
// into the record scanner, it made the scanner slower), with the numbers of
// other forms handed to the byte-by-byte reader.
MNEMO_NOINLINE inline const unsigned char* scan_double_block(const unsigned char* q,
                                                                const unsigned char* end,
                                                                double& value) {
    const unsigned negative = *q == '-';
    const unsigned char* const p = q + negative;
    const NumberBits bits = number_bits(q);
    // The next member's place waits only for the end of the sign,
    // digits and points; whether they make a number of the plain form is
    // checked beside that. Bit 31 stands for a stop: a number of 31
    // bytes is too long anyway.
    const auto end_at =
        platform::count_trailing_zeros(~(bits.digits | bits.points | negative) | 0x80000000u);
    const unsigned length = end_at - negative;  // without the sign
    const std::uint32_t other = ~(bits.digits >> negative) | 0x80000000u;
    const unsigned int_count = platform::count_trailing_zeros(other);
    if (int_count - 1 < 19 && (*p != '0' || int_count == 1)) {
        // "0." begins most fractions below one.
        const unsigned char* const stop = q + end_at;
        unsigned frac_count = 0;
        if (length != int_count) {
            // A point follows the integer digits; only digits may follow
            // it. The shifted bits keep bit 31's stop.
            frac_count = length - int_count - 1;
            if (frac_count == 0 ||
                platform::count_trailing_zeros(other >> (int_count + 1)) != frac_count ||
                int_count + frac_count > 19)
                return scan_double_bytewise(q, end, value);
        }
        if ((*stop | 0x20) == 'e') return scan_double_bytewise(q, end, value);
        // Longer numbers are finished out of line, so that these common
        // short ones keep fewer values in registers.
        if (length > 8)
            return finish_long_plain_number(p, stop, int_count, frac_count, negative, value);
        // A number of eight bytes at most is read in one word.
        const std::uint64_t s = frac_count == 0
                                    ? leading_digits_value(platform::load_little_endian(p), length)
                                    : digits_around_point(p, int_count, length - 1);
        value = plain_number_value(s, frac_count, negative != 0);
        return stop;
    }
    return scan_double_bytewise(q, end, value);
}
#endif

// The end of a number at q, read as a double field reads it; null when the
// text there is not a number that reads without fault.
//
// Most numbers are short: an integer part and perhaps a fraction, no
// exponent, at most 19 digits from the first one that is not zero. For
// those the reader's procedure comes down to S = all the digits and E =
// minus the fraction's length (leading zeros leave S at 0), so the value
// is S (an integer, converted to the nearest double) or S divided by
// 10^(fraction digits); that is computed here directly. Any other number
// goes through read_number.
//
// Away from the end of the text (64 bytes or more left), scan_double_block;
// near the end, byte by byte, with the shortest forms inline.
inline const unsigned char* scan_double(const unsigned char* q, const unsigned char* end,
                                        double& value) {
#if MNEMO_SSE2
    if (end - q >= 64) return scan_double_block(q, end, value);
#endif
    // Without a call: a one-digit whole number, as counts and ages often
    // are, and one digit with a one-digit fraction, as importances and
    // frequencies often are. Each must be followed by a byte that ends it.
    if (end - q >= 2 && is_digit(q[0])) {
        const unsigned char after = q[1];
        if (!is_digit(after) && after != '.' && (after | 0x20) != 'e') {
            value = q[0] - '0';
            return q + 1;
        }
        if (after == '.' && end - q >= 4 && is_digit(q[2]) && !is_digit(q[3]) &&
            (q[3] | 0x20) != 'e') {
            value = kTenths[(q[0] - '0') * 10u + (q[2] - '0')];
            return q + 3;
        }
    }
    return scan_double_bytewise(q, end, value);
}

template <class Record>
const unsigned char* scan_field(const unsigned char* q, const unsigned char* end,
                                const FieldLayout<Record>& field, Record& record) {
    return field.type == FieldType::f64 ? scan_double(q, end, record.*field.number)
                                        : scan_boolean(q, end, record.*field.flag);
}

// The record type that a record layout describes.
template <const auto& Layout>
using LayoutRecord = typename std::remove_cvref_t<decltype(Layout)>::record_type;

// Field I's value at q, its kind and its place in the record known at
// compile time.
template <const auto& Layout, std::size_t I>
const unsigned char* scan_field_at(const unsigned char* q, const unsigned char* end,
                                   LayoutRecord<Layout>& record) {
    constexpr auto field = Layout.fields[I];
    if constexpr (field.type == FieldType::f64)
        return scan_double(q, end, record.*(field.number));
    else
        return scan_boolean(q, end, record.*(field.flag));
}

// The text that leads field I's value after the previous member's value:
// `, "name": ` with the spaces most serializers put after separators, or
// `,"name":` without them.
template <const auto& Layout, std::size_t I, bool Spaced>
inline constexpr auto kLeadText = [] {
    constexpr std::string_view name = Layout.fields[I].name;
    std::array<char, name.size() + (Spaced ? 6 : 4)> text{};
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

// Members from field I on while they come in field order and laid out
// alike: q is just past the previous member's value, and each member up to
// its value is compared whole with a text known at compile time, then its
// value read with its kind and place known. At the first member that is not
// so, q is returned as it was, with `next` set to the field expected there;
// null at a fault.
template <const auto& Layout, bool Spaced, std::size_t I>
const unsigned char* scan_members_in_order(const unsigned char* q, const unsigned char* end,
                                           LayoutRecord<Layout>& record, std::uint64_t& seen,
                                           std::size_t& next) {
    if constexpr (I == Layout.field_count) {
        next = I;
        return q;
    } else {
        constexpr auto& lead = kLeadText<Layout, I, Spaced>;
        if (static_cast<std::size_t>(end - q) < lead.size() ||
            !same_bytes(lead.data(), reinterpret_cast<const char*>(q), lead.size())) {
            next = I;
            return q;
        }
        q = scan_field_at<Layout, I>(q + lead.size(), end, record);
        if (!q) return nullptr;
        seen |= std::uint64_t{1} << I;
        return scan_members_in_order<Layout, Spaced, I + 1>(q, end, record, seen, next);
    }
}

// The elements of an array-form record from element I on; q is at element
// I. Returns past the closing bracket, or null.
template <const auto& Layout, std::size_t I>
const unsigned char* scan_elements(const unsigned char* q, const unsigned char* end,
                                   LayoutRecord<Layout>& record) {
    if constexpr (I == Layout.field_count) {
        return nullptr;  // more elements than fields
    } else {
        q = scan_field_at<Layout, I>(q, end, record);
        if (!q) return nullptr;
        if (q != end && *q <= ' ') q = skip_whitespace(q, end);
        if (q == end) return nullptr;
        if (*q == ']') {
            // Every field after the last element must be optional.
            if constexpr ((Layout.required_mask >> (I + 1)) != 0) return nullptr;
            return q + 1;
        }
        if (*q != ',') return nullptr;
        return scan_elements<Layout, I + 1>(skip_separator_space(q + 1, end), end, record);
    }
}

// The end of the record's text starting at q, or null when the text is not
// a plain record (see above). `record` is filled in place, field by field:
// its contents are unspecified when the scan fails. (Filled in a copy, the
// copy's one-byte flags would be read back as one wider load, which has to
// wait for both stores to complete.)
//
// Members mostly come in field order, laid out alike: after the first key,
// whose colon tells whether the layout puts spaces after separators, those
// are read by code made for each field until the object ends or a member
// departs from that order or layout, from where each key is looked up.
template <const auto& Layout>
const unsigned char* scan_record(const unsigned char* q, const unsigned char* end,
                                 LayoutRecord<Layout>& record) {
    constexpr std::size_t N = Layout.field_count;
    record = LayoutRecord<Layout>{};
    if (q == end) return nullptr;
    if (*q == '[') return scan_elements<Layout, 0>(skip_whitespace(q + 1, end), end, record);
    if (*q != '{') return nullptr;
    q = skip_whitespace(q + 1, end);
    std::uint64_t seen = 0;
    std::size_t next = 0;  // the field expected next: keys mostly come in field order
    bool after_value = false;
    // The first key and its colon: the compact lead text without its comma.
    constexpr auto& lead = kLeadText<Layout, 0, false>;
    const std::string_view first_key(lead.data() + 1, lead.size() - 1);
    if (static_cast<std::size_t>(end - q) > first_key.size() &&
        same_bytes(first_key.data(), reinterpret_cast<const char*>(q), first_key.size())) {
        q += first_key.size();
        const bool spaced = *q == ' ';
        q = scan_field_at<Layout, 0>(skip_separator_space(q, end), end, record);
        if (!q) return nullptr;
        seen = 1;
        q = spaced ? scan_members_in_order<Layout, true, 1>(q, end, record, seen, next)
                   : scan_members_in_order<Layout, false, 1>(q, end, record, seen, next);
        if (!q) return nullptr;
        after_value = true;
    }
    for (;; after_value = true) {
        if (after_value) {
            if (q != end && *q <= ' ') q = skip_whitespace(q, end);
            if (q == end) return nullptr;
            if (*q == '}') {
                ++q;
                break;
            }
            if (*q != ',') return nullptr;
            q = skip_separator_space(q + 1, end);
        }
        if (q == end || *q != '"') return nullptr;
        const unsigned char* const key = ++q;
        int f;
        const bool expected_here = next < N;
        const std::string_view expected = expected_here ? Layout.fields[next].name : "";
        if (expected_here && static_cast<std::size_t>(end - key) > expected.size() &&
            key[expected.size()] == '"' &&
            same_bytes(expected.data(), reinterpret_cast<const char*>(key), expected.size())) {
            // The name's bytes need no escape, so the key ends at that quote.
            f = static_cast<int>(next);
            q = key + expected.size();
        } else {
            q = key + find_string_stop(key, 0, static_cast<std::size_t>(end - key));
            if (q == end || *q != '"') return nullptr;
            f = Layout.field_index(
                {reinterpret_cast<const char*>(key), static_cast<std::size_t>(q - key)});
        }
        next = static_cast<std::size_t>(f) + 1;
        q = expect_after_space(q + 1, end, ':');
        if (!q) return nullptr;
        q = skip_separator_space(q, end);
        if (f < 0) {
            q = skip_plain_value(q, end);
        } else {
            q = scan_field(q, end, Layout.fields[f], record);
            seen |= std::uint64_t{1} << f;
        }
        if (!q) return nullptr;
    }
    if ((seen & Layout.required_mask) != Layout.required_mask) return nullptr;
    return q;
}

// Whether the whole text, but for whitespace around it, is a plain record.
template <const auto& Layout>
bool scan_record_document(std::string_view text, LayoutRecord<Layout>& out) {
    const auto* const end = reinterpret_cast<const unsigned char*>(text.data() + text.size());
    const unsigned char* q =
        skip_whitespace(reinterpret_cast<const unsigned char*>(text.data()), end);
    q = scan_record<Layout>(q, end, out);
    return q && skip_whitespace(q, end) == end;
}

}  // namespace mnemo::json
