// The reference decoding of records: from a whole document, entry by entry
// in the document's key order (object form) or element by element (array
// form), stopping at the first fault. The module decodes records where they
// stand in the text instead; tests and fuzzers compare the two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document.hpp"
#include "json/record.hpp"
#include "json/result.hpp"
#include "scoring/retention_input.hpp"
#include "scoring/tier_input.hpp"

namespace mnemo::json {

// How a value is named in "invalid type" messages: null, boolean `true`,
// integer `7`, floating point `1.5`, string "x", sequence, map.
void append_value_wording(std::string& out, const JsonValue& value);

// The messages of decoding faults. They carry no position.
std::string invalid_type(const JsonValue& value, std::string_view expected);
std::string invalid_length(std::size_t length, std::string_view expected);
std::string missing_field(std::string_view name);

template <class Record>
bool assign_field(Record& record, const FieldLayout<Record>& field, const JsonValue& value) {
    if (field.type == FieldType::f64) {
        if (!value.is_number()) return false;
        record.*field.number = value.number_to_double();
        return true;
    }
    if (value.kind() != JsonKind::boolean) return false;
    record.*field.flag = value.as_bool();
    return true;
}

// `Record{}` supplies the defaults of fields that are not required.
template <class Record, std::size_t N>
Result<Record, std::string> decode_record(const JsonValue& value,
                                          const RecordLayout<Record, N>& layout) {
    static_assert(N <= 32);
    Record record{};
    if (value.kind() == JsonKind::object) {
        std::uint32_t seen = 0;
        for (const JsonMember& m : value.members()) {
            int f = layout.field_index(m.key_view());
            if (f < 0) continue;
            if (!assign_field(record, layout.fields[f], m.value))
                return fail(invalid_type(m.value, field_expectation(layout.fields[f].type)));
            seen |= std::uint32_t{1} << f;
        }
        for (std::size_t f = 0; f < N; ++f)
            if (layout.fields[f].required && !(seen >> f & 1))
                return fail(missing_field(layout.fields[f].name));
        return record;
    }
    if (value.kind() == JsonKind::array) {
        auto items = value.items();
        const std::size_t given = items.size() < N ? items.size() : N;
        for (std::size_t f = 0; f < given; ++f)
            if (!assign_field(record, layout.fields[f], items[f]))
                return fail(invalid_type(items[f], field_expectation(layout.fields[f].type)));
        for (std::size_t f = given; f < N; ++f)
            if (layout.fields[f].required)
                return fail(invalid_length(items.size(), array_expectation(layout.type_name, N)));
        if (items.size() > N) return fail(invalid_length(items.size(), "fewer elements in array"));
        return record;
    }
    return fail(invalid_type(value, struct_expectation(layout.type_name)));
}

inline Result<scoring::TierInput, std::string> decode_tier_input(const JsonValue& value) {
    return decode_record(value, scoring::kTierInputLayout);
}

inline Result<scoring::RetentionInput, std::string> decode_retention_input(const JsonValue& value) {
    return decode_record(value, scoring::kRetentionInputLayout);
}

}  // namespace mnemo::json
