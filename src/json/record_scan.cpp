#include "json/record_scan.hpp"

namespace mnemo::json {

namespace {

bool starts_with(const unsigned char* q, const unsigned char* end, std::string_view word) {
    return static_cast<std::size_t>(end - q) >= word.size() &&
           std::memcmp(q, word.data(), word.size()) == 0;
}

// Any number the shortcuts leave, read by the reader's own procedure.
[[gnu::noinline]] const unsigned char* scan_double_by_reader(const unsigned char* q,
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
    const unsigned char* p = q + negative;
    const unsigned char* const int_digits = p;
    p = skip_digits(p, end);
    const std::size_t int_count = static_cast<std::size_t>(p - int_digits);
    std::size_t frac_count = 0;
    // The first digit is looked at only when there is one: a lone minus
    // sign may end the text.
    bool plain = int_count - 1 < 19 && (*int_digits != '0' || int_count == 1);
    std::uint64_t s = plain ? append_digits(0, int_digits, int_count, end) : 0;
    if (plain && p != end && *p == '.') {
        const unsigned char* const frac_digits = ++p;
        const std::size_t int_significant = s == 0 ? 0 : int_count;
        if (s == 0)
            while (p != end && *p == '0') ++p;
        const unsigned char* const significant = p;
        p = skip_digits(p, end);
        const auto significant_count = static_cast<std::size_t>(p - significant);
        frac_count = static_cast<std::size_t>(p - frac_digits);
        plain = (frac_count - 1 < 308) & (int_significant + significant_count <= 19);
        if (plain) s = append_digits(s, significant, significant_count, end);
    }
    if (plain && (p == end || (*p != 'e' && *p != 'E'))) {
        // An integer is unsigned, or signed when negative (-0 is a double);
        // either converts to the nearest double, and negation is exact.
        const double v =
            frac_count == 0 ? static_cast<double>(s) : static_cast<double>(s) / kPow10[frac_count];
        value = negative ? -v : v;
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
