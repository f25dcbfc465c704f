#include "json/record_reader.hpp"

namespace mnemo::json {

const unsigned char* skip_plain_value(const unsigned char* q, const unsigned char* end) {
    if (q == end) return nullptr;
    switch (*q) {
        case '"': {
            const unsigned char* const text = q + 1;
            q = text + find_string_stop(text, 0, static_cast<std::size_t>(end - text));
            return q != end && *q == '"' ? q + 1 : nullptr;
        }
        case 'n': return end - q >= 4 && std::memcmp(q, "null", 4) == 0 ? q + 4 : nullptr;
        case 't':
        case 'f': {
            bool ignored;
            return scan_boolean(q, end, ignored);
        }
        default: {
            double ignored;
            return read_double(q, end, ignored);
        }
    }
}

const unsigned char* read_f64_field(const unsigned char* q, Text& text, int budget, double& out,
                                    bool& ok) {
    if (q == text.end || (*q != '-' && !is_digit(*q))) {
        ok = false;
        return skip_value(q, text, budget);
    }
    const bool negative = *q == '-';
    Number number;
    const NumberRead read = read_number(q + negative, text.end, negative, number);
    if (read.error != ErrorKind::none)
        return read.at_byte ? text.fail_at(read.error, read.stop)
                            : text.fail_after(read.error, read.stop);
    out = number.to_double();
    ok = true;
    return read.stop;
}

const unsigned char* read_boolean_field(const unsigned char* q, Text& text, int budget, bool& out,
                                        bool& ok) {
    ok = q != text.end && (*q == 't' || *q == 'f');
    if (!ok) return skip_value(q, text, budget);
    out = *q == 't';
    return read_literal(q, text, out ? "true" : "false");
}

}  // namespace mnemo::json
