// Fixed records (a struct of number and boolean fields): their layouts, and
// the texts of their decoding messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "json/number_reader.hpp"

namespace mnemo::json {

enum class FieldType : std::uint8_t { f64, boolean };

template <class Record>
struct FieldLayout {
    std::string_view name;
    FieldType type;
    bool required;
    double Record::*number = nullptr;  // set for f64 fields
    bool Record::*flag = nullptr;      // set for boolean fields
};

// Byte equality of two runs of n bytes, a word at a time (the last word
// overlapping the one before): field names are short, and a call to memcmp
// would cost more than the comparison.
inline bool same_bytes(const char* a, const char* b, std::size_t n) {
    // 1 or 0, so that three tests combine without branches.
    auto same = [&](std::size_t at, auto word) -> unsigned {
        decltype(word) x, y;
        std::memcpy(&x, a + at, sizeof x);
        std::memcpy(&y, b + at, sizeof y);
        return x == y;
    };
    if (n >= 8 && n <= 24)  // three words, overlapping as needed, cover it all
        return (same(0, std::uint64_t{}) & same((n - 8) / 2, std::uint64_t{}) &
                same(n - 8, std::uint64_t{})) != 0;
    if (n > 24) {
        for (std::size_t i = 0; i + 8 < n; i += 8)
            if (same(i, std::uint64_t{}) == 0) return false;
        return same(n - 8, std::uint64_t{}) != 0;
    }
    if (n >= 4) return (same(0, std::uint32_t{}) & same(n - 4, std::uint32_t{})) != 0;
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

template <class Record, std::size_t N>
struct RecordLayout {
    static_assert(N < 64);
    static constexpr std::size_t kMaxNameSize = 64;
    using record_type = Record;
    static constexpr std::size_t field_count = N;

    std::string_view type_name;  // as in "struct TierInput"
    std::array<FieldLayout<Record>, N> fields;

    constexpr RecordLayout(std::string_view type, std::array<FieldLayout<Record>, N> f)
        : type_name(type), fields(f) {
        // The field whose name has a given length, when that field is the
        // only one of its length; otherwise (or past kMaxNameSize) a search.
        by_size.fill(kNone);
        for (std::size_t i = 0; i < N; ++i) {
            // Names are written in messages and matched against keys as raw
            // bytes, so they must be texts a JSON string holds unescaped.
            for (char c : fields[i].name)
                if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
                    throw "a field name needs escaping";
            if (fields[i].required) required_mask |= std::uint64_t{1} << i;
            const std::size_t size = fields[i].name.size();
            if (size >= kMaxNameSize) continue;
            by_size[size] = by_size[size] == kNone ? static_cast<std::int8_t>(i) : kSearch;
        }
    }

    std::uint64_t required_mask = 0;  // bit i: field i is required

    int field_index(std::string_view key) const {
        const std::int8_t hint = key.size() < kMaxNameSize ? by_size[key.size()] : kSearch;
        if (hint >= 0)
            return same_bytes(fields[hint].name.data(), key.data(), key.size()) ? hint : -1;
        if (hint == kNone) return -1;
        for (std::size_t i = 0; i < N; ++i)
            if (fields[i].name.size() == key.size() &&
                same_bytes(fields[i].name.data(), key.data(), key.size()))
                return static_cast<int>(i);
        return -1;
    }

private:
    static constexpr std::int8_t kNone = -1;
    static constexpr std::int8_t kSearch = -2;
    std::array<std::int8_t, kMaxNameSize> by_size{};
};

// What decoding a record found wrong, kept as a place in the text until its
// message is made.
struct DecodeFault {
    enum class Kind : std::uint8_t {
        none,
        field_kind,
        record_kind,
        missing_field,
        short_array,
        long_array
    };
    Kind kind = Kind::none;
    // Set as the kind needs them.
    std::uint8_t field;          // field_kind, missing_field
    const unsigned char* value;  // field_kind, record_kind: the value's first byte
    std::size_t length;          // short_array, long_array: the element count

    explicit operator bool() const { return kind != Kind::none; }
};

// The message of a decoding fault; `end` is the end of the payload text.
std::string decode_fault_text(const DecodeFault& fault, const unsigned char* end,
                              std::string_view type_name, std::size_t field_count,
                              std::string_view field_name, FieldType field_type);

template <const auto& Layout>
std::string decode_fault_text(const DecodeFault& fault, const unsigned char* end) {
    const auto& field = Layout.fields[fault.field];
    return decode_fault_text(fault, end, Layout.type_name, Layout.field_count, field.name,
                             field.type);
}

// The texts that name what a record or field expects in messages.
std::string struct_expectation(std::string_view type_name);
std::string array_expectation(std::string_view type_name, std::size_t field_count);
std::string_view field_expectation(FieldType type);

// How a number is named in "invalid type" messages: integer `7`,
// integer `-3` or floating point `1.5`.
void append_number_wording(std::string& out, const Number& number);

// A string between double quotes with `"`, `\`, tab, carriage return, line
// feed and NUL escaped by backslash, and every other non-printable character
// as \u{hex}.
void append_quoted_literal(std::string& out, std::string_view s);

// Whether a code point is written as itself in a quoted literal.
bool is_printable(char32_t cp);

}  // namespace mnemo::json
