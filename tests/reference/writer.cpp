#include "writer.hpp"

#include <array>
#include <charconv>

#include "json/number_text.hpp"

namespace mnemo::json {

namespace {

// The escape of each byte that needs one; 0 for bytes copied as they are.
// 'u' stands for the six-byte form \u00XX.
constexpr auto kEscape = [] {
    std::array<char, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = 'u';
    t['\b'] = 'b';
    t['\t'] = 't';
    t['\n'] = 'n';
    t['\f'] = 'f';
    t['\r'] = 'r';
    t['"'] = '"';
    t['\\'] = '\\';
    return t;
}();

template <class Integer>
void write_integer(Integer value, ByteBuffer& out) {
    out.reserve_more(24);
    out.commit(static_cast<std::size_t>(std::to_chars(out.tail(), out.tail() + 24, value).ptr -
                                        out.tail()));
}

}  // namespace

void write_number(double value, ByteBuffer& out) {
    out.reserve_more(kDoubleTextRoom);
    char* const start = out.tail();
    out.commit(static_cast<std::size_t>(write_double(double_digits(value), value, start) - start));
}

void write_string(std::string_view s, ByteBuffer& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    out.reserve_more(n + 2);
    out.push_back('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < n; ++i) {
        char e = kEscape[p[i]];
        if (e == 0) continue;
        out.append(s.data() + run, i - run);
        run = i + 1;
        if (e == 'u') {
            static constexpr char kHex[] = "0123456789abcdef";
            char u[6] = {'\\', 'u', '0', '0', kHex[p[i] >> 4], kHex[p[i] & 0xF]};
            out.append(u, 6);
        } else {
            char two[2] = {'\\', e};
            out.append(two, 2);
        }
    }
    out.append(s.data() + run, n - run);
    out.push_back('"');
}

void write_json(const JsonValue& value, ByteBuffer& out) {
    switch (value.kind()) {
        case JsonKind::null: out.append("null"); return;
        case JsonKind::boolean: out.append(value.as_bool() ? "true" : "false"); return;
        case JsonKind::number:
            switch (value.number_repr()) {
                case NumberRepr::unsigned_int: write_integer(value.as_unsigned(), out); return;
                case NumberRepr::signed_int: write_integer(value.as_signed(), out); return;
                case NumberRepr::floating: write_number(value.as_double(), out); return;
            }
            return;
        case JsonKind::string: write_string(value.as_string(), out); return;
        case JsonKind::array: {
            out.push_back('[');
            bool first = true;
            for (const JsonValue& item : value.items()) {
                if (!first) out.push_back(',');
                first = false;
                write_json(item, out);
            }
            out.push_back(']');
            return;
        }
        case JsonKind::object: {
            out.push_back('{');
            bool first = true;
            for (const JsonMember& m : value.members()) {
                if (!first) out.push_back(',');
                first = false;
                write_string(m.key_view(), out);
                out.push_back(':');
                write_json(m.value, out);
            }
            out.push_back('}');
            return;
        }
    }
}

}  // namespace mnemo::json
