#include "json/record_scan.hpp"
#include "platform/compiler.hpp"

namespace mnemo::json {

namespace {

bool starts_with(const unsigned char* q, const unsigned char* end, std::string_view word) {
    return static_cast<std::size_t>(end - q) >= word.size() &&
           std::memcmp(q, word.data(), word.size()) == 0;
}

// Any number the shortcuts leave, read by the reader's own procedure.
MNEMO_NOINLINE const unsigned char* scan_double_by_reader(const unsigned char* q,
                                                             const unsigned char* end,
                                                             bool negative, double& value) {
    if (!negative && !is_digit(*q)) return nullptr;
    JsonValue number;
    const NumberRead read = read_number(q + negative, end, negative, number);
    if (read.error != ErrorKind::message) return nullptr;
    value = number.number_to_double();
    return read.stop;
}

}  // namespace

const unsigned char* scan_boolean(const unsigned char* q, const unsigned char* end, bool& value) {
    if (starts_with(q, end, "true")) {
        value = true;
        return q + 4;
    }
    if (starts_with(q, end, "false")) {
        value = false;
        return q + 5;
    }
    return nullptr;
}

const unsigned char* scan_double_bytewise(const unsigned char* q, const unsigned char* end,
                                          double& value) {
    if (q == end) return nullptr;
    const bool negative = *q == '-';
    const unsigned char* const int_digits = q + negative;
    // The digits are added as they are passed: the numbers read here are
    // mostly a few digits long. S may wrap around in a run too long for the
    // shortcut, which then leaves the number to the reader.
    std::uint64_t s = 0;
    const unsigned char* p = int_digits;
    for (; p != end && is_digit(*p); ++p) s = s * 10 + (*p - '0');
    const auto int_count = static_cast<std::size_t>(p - int_digits);
    std::size_t frac_count = 0;
    bool plain = int_count - 1 < 19 && (*int_digits != '0' || int_count == 1);
    if (plain && p != end && *p == '.') {
        const unsigned char* const frac_digits = ++p;
        for (; p != end && is_digit(*p); ++p) s = s * 10 + (*p - '0');
        frac_count = static_cast<std::size_t>(p - frac_digits);
        plain = frac_count != 0 && int_count + frac_count <= 19;
    }
    if (plain && (p == end || (*p | 0x20) != 'e')) {
        value = plain_number_value(s, frac_count, negative);
        return p;
    }
    return scan_double_by_reader(q, end, negative, value);
}

const unsigned char* skip_plain_value(const unsigned char* q, const unsigned char* end) {
    if (q == end) return nullptr;
    switch (*q) {
        case '"': {
            const unsigned char* const text = q + 1;
            q = text + find_string_stop(text, 0, static_cast<std::size_t>(end - text));
            return q != end && *q == '"' ? q + 1 : nullptr;
        }
        case 'n': return starts_with(q, end, "null") ? q + 4 : nullptr;
        case 't':
        case 'f': {
            bool ignored;
            return scan_boolean(q, end, ignored);
        }
        default: {
            double ignored;
            return scan_double(q, end, ignored);
        }
    }
}

}  // namespace mnemo::json
