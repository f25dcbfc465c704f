// One forward cursor over the payload bytes. Values are built bottom-up: the
// elements of an open array (members of an open object) wait on a scratch
// stack and are moved into the document's arena in one block when the
// bracket closes, objects being sorted by key at that moment. Positions are
// worked out only when an error is reported.
#include "json/reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "json/pow10.hpp"
#include "json/scratch_stack.hpp"
#include "json/string_scan.hpp"

namespace mnemo::json {

namespace {

constexpr auto kHexValue = [] {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return t;
}();

inline bool is_digit(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        char b[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(b, 2);
    } else if (cp < 0x10000) {
        char b[3] = {static_cast<char>(0xE0 | (cp >> 12)),
                     static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(b, 3);
    } else {
        char b[4] = {static_cast<char>(0xF0 | (cp >> 18)),
                     static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                     static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(b, 4);
    }
}

// Stable order by key; of equal keys only the last one read is kept.
std::size_t sort_members(JsonMember* first, std::size_t count) {
    auto less = [](const JsonMember& a, const JsonMember& b) {
        return key_less(a.key_view(), b.key_view());
    };
    if (count <= 16) {
        for (std::size_t i = 1; i < count; ++i) {
            if (!less(first[i], first[i - 1])) continue;
            JsonMember m = first[i];
            std::size_t j = i;
            do {
                first[j] = first[j - 1];
                --j;
            } while (j > 0 && less(m, first[j - 1]));
            first[j] = m;
        }
    } else if (!std::is_sorted(first, first + count, less)) {
        std::stable_sort(first, first + count, less);
    }
    // Keys are seldom repeated: find the first repetition before moving any.
    std::size_t i = 1;
    while (i < count && first[i - 1].key_view() != first[i].key_view()) ++i;
    if (i >= count) return count;
    std::size_t out = i - 1;
    for (; i < count; ++i) {
        if (i + 1 < count && first[i].key_view() == first[i + 1].key_view()) continue;
        first[out++] = first[i];
    }
    return out;
}

// Eight ASCII bytes, the first in the lowest byte, when all are digits.
inline bool eight_digits(std::uint64_t x) {
    return (x & 0xF0F0F0F0F0F0F0F0u) == 0x3030303030303030u &&
           ((x + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) == 0x3030303030303030u;
}

// The value of eight digits loaded as above: pairs, then quadruples, then
// the whole, each step one multiply-add in parallel lanes.
inline std::uint32_t eight_digits_value(std::uint64_t x) {
    x -= 0x3030303030303030u;
    x = x * 10 + (x >> 8);
    x = ((x & 0x000000FF000000FFu) * (100 + (1000000ull << 32)) +
         ((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32))) >>
        32;
    return static_cast<std::uint32_t>(x);
}

// Adds the digits at q to the significand s while it stays below 10^18, where
// another digit always fits in 64 bits, eight at a time while there is room.
// Returns the first byte not taken; the caller counts the digits taken.
inline const unsigned char* take_digits(const unsigned char* q, const unsigned char* end,
                                        std::uint64_t& s) {
    constexpr std::uint64_t kRoomFor8 = 10000000000u;  // s * 10^8 + 10^8 < 10^18
    constexpr std::uint64_t kRoomFor1 = 1000000000000000000u;
    while (end - q >= 8 && s < kRoomFor8) {
        std::uint64_t x;
        std::memcpy(&x, q, 8);
        if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
        if (!eight_digits(x)) break;
        s = s * 100000000 + eight_digits_value(x);
        q += 8;
    }
    while (q != end && is_digit(*q) && s < kRoomFor1) {
        s = s * 10 + (*q - '0');
        ++q;
    }
    return q;
}

class Reader {
public:
    Reader(std::string_view text, Arena& arena, StreamedMember streamed)
        : p_(reinterpret_cast<const unsigned char*>(text.data())),
          n_(text.size()),
          arena_(&arena),
          streamed_(streamed) {}

    bool document(JsonValue& out) {
        skip_ws();
        if (!value(out)) return false;
        skip_ws();
        if (pos_ != n_) return fail_at(ErrorKind::trailing_characters);
        return true;
    }

    ErrorKind error_kind() const { return error_; }
    std::size_t error_index() const { return error_index_; }

private:
    // P1: at the byte looked at but not consumed.
    bool fail_at(ErrorKind kind) {
        error_ = kind;
        error_index_ = std::min(pos_ + 1, n_);
        return false;
    }
    // P2: just after the last byte consumed.
    bool fail_after(ErrorKind kind) {
        error_ = kind;
        error_index_ = pos_;
        return false;
    }

    void skip_ws() {
        // Every whitespace byte is at most a space, so most calls end here.
        if (pos_ < n_ && p_[pos_] > ' ') return;
        while (pos_ < n_) {
            unsigned char c = p_[pos_];
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t') break;
            ++pos_;
        }
    }

    bool value(JsonValue& out) {
        if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_value);
        switch (p_[pos_]) {
            case 'n':
                if (!literal("null")) return false;
                out = JsonValue::null();
                return true;
            case 't':
                if (!literal("true")) return false;
                out = JsonValue::boolean(true);
                return true;
            case 'f':
                if (!literal("false")) return false;
                out = JsonValue::boolean(false);
                return true;
            case '-':
                ++pos_;
                return number(true, out);
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9':
                return number(false, out);
            case '"': {
                ++pos_;
                std::string_view s;
                if (!string(s)) return false;
                out = JsonValue::string(s.data(), s.size());
                return true;
            }
            case '[': return array(out);
            case '{': return object(out);
            default: return fail_at(ErrorKind::expected_some_value);
        }
    }

    // Each letter is consumed before it is compared.
    bool literal(std::string_view word) {
        ++pos_;
        for (std::size_t i = 1; i < word.size(); ++i) {
            if (pos_ == n_) return fail_after(ErrorKind::eof_while_parsing_value);
            if (p_[pos_++] != static_cast<unsigned char>(word[i]))
                return fail_after(ErrorKind::expected_some_ident);
        }
        return true;
    }

    bool enter(void) {
        if (budget_ == 1) return fail_at(ErrorKind::recursion_limit_exceeded);
        --budget_;
        return true;
    }

    // With a sink, each element goes to it as soon as it is read and its
    // storage is released; the array itself is left empty.
    bool array(JsonValue& out, ElementSink* sink = nullptr) {
        if (!enter()) return false;
        if (sink) sink->begin_array();
        ++pos_;
        skip_ws();
        if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_list);
        if (p_[pos_] == ']') {
            ++pos_;
            ++budget_;
            out = JsonValue::array(nullptr, 0);
            return true;
        }
        const std::size_t base = values_.size();
        for (;;) {
            JsonValue item;
            if (sink) {
                if (!streamed_element(item, *sink)) return false;
            } else {
                if (!value(item)) return false;
                values_.push_back(item);
            }
            skip_ws();
            if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_list);
            unsigned char c = p_[pos_];
            if (c == ']') {
                ++pos_;
                break;
            }
            if (c != ',') return fail_at(ErrorKind::expected_list_comma_or_end);
            ++pos_;
            skip_ws();
            if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_value);
            if (p_[pos_] == ']') return fail_at(ErrorKind::trailing_comma);
        }
        ++budget_;
        const std::size_t count = values_.size() - base;
        JsonValue* items = arena_->allocate_array<JsonValue>(count);
        std::memcpy(static_cast<void*>(items), values_.data() + base, count * sizeof(JsonValue));
        values_.shrink_to(base);
        out = JsonValue::array(items, count);
        return true;
    }

    bool object(JsonValue& out) {
        if (!enter()) return false;
        ++pos_;
        skip_ws();
        if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_object);
        if (p_[pos_] == '}') {
            ++pos_;
            ++budget_;
            out = JsonValue::object(nullptr, 0);
            return true;
        }
        if (p_[pos_] != '"') return fail_at(ErrorKind::key_must_be_a_string);
        const std::size_t base = members_.size();
        for (;;) {
            ++pos_;  // the key's opening quote
            std::string_view key;
            if (!string(key)) return false;
            skip_ws();
            if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_object);
            if (p_[pos_] != ':') return fail_at(ErrorKind::expected_colon);
            ++pos_;
            skip_ws();
            JsonValue item;
            if (!member_value(key, item)) return false;
            members_.push_back(JsonMember{key.data(), key.size(), item});
            skip_ws();
            if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_object);
            unsigned char c = p_[pos_];
            if (c == '}') {
                ++pos_;
                break;
            }
            if (c != ',') return fail_at(ErrorKind::expected_object_comma_or_end);
            ++pos_;
            skip_ws();
            if (pos_ == n_) return fail_at(ErrorKind::eof_while_parsing_value);
            c = p_[pos_];
            if (c == '}') return fail_at(ErrorKind::trailing_comma);
            if (c != '"') return fail_at(ErrorKind::key_must_be_a_string);
        }
        ++budget_;
        const std::size_t count = sort_members(members_.data() + base, members_.size() - base);
        JsonMember* members = arena_->allocate_array<JsonMember>(count);
        std::memcpy(static_cast<void*>(members), members_.data() + base, count * sizeof(JsonMember));
        members_.shrink_to(base);
        out = JsonValue::object(members, count);
        return true;
    }

    // The value of an object member; the streamed member of the root object
    // hands its array's elements to the sink.
    bool member_value(std::string_view key, JsonValue& out) {
        const bool at_root = budget_ == kNestingBudget - 1;
        if (at_root && streamed_.sink && pos_ < n_ && p_[pos_] == '[' && key == streamed_.key)
            return array(out, streamed_.sink);
        return value(out);
    }

    // One element of a streamed array, read into storage of its own that is
    // released once the sink has seen it.
    bool streamed_element(JsonValue& item, ElementSink& sink) {
        Arena* const document_arena = arena_;
        arena_ = &element_arena_;
        const bool ok = value(item);
        if (ok) sink.element(item);
        element_arena_.reset();
        arena_ = document_arena;
        return ok;
    }

    // After the opening quote. A string without escapes is a view of the
    // payload; one with escapes is assembled run by run and stored once.
    bool string(std::string_view& out) {
        const std::size_t start = pos_;
        pos_ = find_string_stop(p_, pos_, n_);
        if (pos_ == n_) return fail_after(ErrorKind::eof_while_parsing_string);
        unsigned char c = p_[pos_];
        if (c == '"') {
            out = {reinterpret_cast<const char*>(p_ + start), pos_ - start};
            ++pos_;
            return true;
        }
        if (c != '\\') {
            ++pos_;
            return fail_after(ErrorKind::control_character_while_parsing_string);
        }
        scratch_.assign(reinterpret_cast<const char*>(p_ + start), pos_ - start);
        for (;;) {
            // At a backslash.
            ++pos_;
            if (!escape()) return false;
            const std::size_t run = pos_;
            pos_ = find_string_stop(p_, pos_, n_);
            scratch_.append(reinterpret_cast<const char*>(p_ + run), pos_ - run);
            if (pos_ == n_) return fail_after(ErrorKind::eof_while_parsing_string);
            c = p_[pos_];
            if (c == '"') break;
            if (c != '\\') {
                ++pos_;
                return fail_after(ErrorKind::control_character_while_parsing_string);
            }
        }
        ++pos_;
        char* stored = arena_->allocate_array<char>(scratch_.size());
        if (!scratch_.empty()) std::memcpy(stored, scratch_.data(), scratch_.size());
        out = {stored, scratch_.size()};
        return true;
    }

    // After the backslash.
    bool escape() {
        if (pos_ == n_) return fail_after(ErrorKind::eof_while_parsing_string);
        switch (p_[pos_++]) {
            case '"': scratch_.push_back('"'); return true;
            case '\\': scratch_.push_back('\\'); return true;
            case '/': scratch_.push_back('/'); return true;
            case 'b': scratch_.push_back('\b'); return true;
            case 'f': scratch_.push_back('\f'); return true;
            case 'n': scratch_.push_back('\n'); return true;
            case 'r': scratch_.push_back('\r'); return true;
            case 't': scratch_.push_back('\t'); return true;
            case 'u': break;
            default: return fail_after(ErrorKind::invalid_escape);
        }
        std::uint32_t unit;
        if (!hex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return fail_after(ErrorKind::lone_leading_surrogate_in_hex_escape);
        if (unit < 0xD800 || unit > 0xDFFF) {
            append_utf8(scratch_, unit);
            return true;
        }
        // A leading surrogate: its trailing half must follow at once.
        if (pos_ == n_) return fail_after(ErrorKind::eof_while_parsing_string);
        if (p_[pos_++] != '\\') return fail_after(ErrorKind::unexpected_end_of_hex_escape);
        if (pos_ == n_) return fail_after(ErrorKind::eof_while_parsing_string);
        if (p_[pos_++] != 'u') return fail_after(ErrorKind::unexpected_end_of_hex_escape);
        std::uint32_t low;
        if (!hex4(low)) return false;
        if (low < 0xDC00 || low > 0xDFFF)
            return fail_after(ErrorKind::lone_leading_surrogate_in_hex_escape);
        append_utf8(scratch_, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        return true;
    }

    bool hex4(std::uint32_t& out) {
        if (n_ - pos_ < 4) {
            pos_ = n_;
            return fail_after(ErrorKind::eof_while_parsing_string);
        }
        std::uint32_t v = 0;
        bool bad = false;
        for (int i = 0; i < 4; ++i) {
            std::int8_t h = kHexValue[p_[pos_ + i]];
            bad |= h < 0;
            v = (v << 4) | static_cast<std::uint32_t>(h & 0xF);
        }
        pos_ += 4;
        if (bad) return fail_after(ErrorKind::invalid_escape);
        out = v;
        return true;
    }

    // The significand S collects digits while it fits in 64 bits; the
    // decimal exponent E counts dropped integer digits and taken fraction
    // digits; the double is S scaled by a power of ten from the table.
    // The cursor is kept in a local while the digits are read.
    bool number(bool negative, JsonValue& out) {
        constexpr std::uint64_t kLimit = 1844674407370955161u;  // (2^64 - 1) / 10
        const unsigned char* const end = p_ + n_;
        const unsigned char* q = p_ + pos_;
        auto fail_here = [&](ErrorKind kind, bool at_byte) {
            pos_ = static_cast<std::size_t>(q - p_);
            return at_byte ? fail_at(kind) : fail_after(kind);
        };
        if (q == end) return fail_here(ErrorKind::eof_while_parsing_value, false);
        unsigned char c = *q++;
        if (!is_digit(c)) return fail_here(ErrorKind::invalid_number, false);
        std::uint64_t s = c - '0';
        std::int64_t e = 0;
        bool full = false;  // a digit did not fit: later digits are dropped
        if (c == '0') {
            if (q != end && is_digit(*q)) return fail_here(ErrorKind::invalid_number, true);
        } else {
            q = take_digits(q, end, s);
            for (; q != end && is_digit(*q); ++q) {
                const unsigned d = *q - '0';
                if (full || s > kLimit || (s == kLimit && d > 5)) {
                    full = true;
                    ++e;
                } else {
                    s = s * 10 + d;
                }
            }
        }
        bool is_double = full;
        if (q != end && *q == '.') {
            ++q;
            is_double = true;
            if (q == end) return fail_here(ErrorKind::eof_while_parsing_value, true);
            if (!is_digit(*q)) return fail_here(ErrorKind::invalid_number, true);
            const unsigned char* const first = q;
            q = take_digits(q, end, s);
            e -= q - first;
            for (; q != end && is_digit(*q); ++q) {
                const unsigned d = *q - '0';
                if (!full && (s > kLimit || (s == kLimit && d > 5))) full = true;
                if (!full) {
                    s = s * 10 + d;
                    --e;
                }
            }
        }
        if (q != end && (*q == 'e' || *q == 'E')) {
            ++q;
            is_double = true;
            bool exp_negative = false;
            if (q != end && (*q == '+' || *q == '-')) {
                exp_negative = *q == '-';
                ++q;
            }
            if (q == end) return fail_here(ErrorKind::eof_while_parsing_value, false);
            c = *q++;
            if (!is_digit(c)) return fail_here(ErrorKind::invalid_number, false);
            std::int32_t x = c - '0';
            while (q != end && is_digit(*q)) {
                const int d = *q++ - '0';
                if (x > 214748364 || (x == 214748364 && d > 7)) {
                    if (s != 0 && !exp_negative)
                        return fail_here(ErrorKind::number_out_of_range, false);
                    while (q != end && is_digit(*q)) ++q;
                    pos_ = static_cast<std::size_t>(q - p_);
                    out = JsonValue::from_double(negative ? -0.0 : 0.0);
                    return true;
                }
                x = x * 10 + d;
            }
            e += exp_negative ? -static_cast<std::int64_t>(x) : x;
        }
        pos_ = static_cast<std::size_t>(q - p_);
        if (!is_double) {
            if (!negative) {
                out = JsonValue::from_unsigned(s);
            } else if (s >= 1 && s <= (std::uint64_t{1} << 63)) {
                out = JsonValue::from_signed(static_cast<std::int64_t>(0 - s));
            } else {
                out = JsonValue::from_double(-static_cast<double>(s));
            }
            return true;
        }
        e = std::clamp<std::int64_t>(e, INT32_MIN, INT32_MAX);
        double v = static_cast<double>(s);
        if (e >= 0) {
            if (e <= 308) {
                v *= kPow10[e];
                if (std::isinf(v)) return fail_after(ErrorKind::number_out_of_range);
            } else if (v != 0.0) {
                return fail_after(ErrorKind::number_out_of_range);
            }
        } else {
            while (e < -308 && v != 0.0) {
                v /= 1e308;
                e += 308;
            }
            if (v != 0.0) v /= kPow10[-e];
        }
        out = JsonValue::from_double(negative ? -v : v);
        return true;
    }

    const unsigned char* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
    int budget_ = kNestingBudget;
    Arena* arena_;
    StreamedMember streamed_;
    alignas(16) std::byte element_block_[4096];
    Arena element_arena_{element_block_};
    ScratchStack<JsonValue, 32> values_;
    ScratchStack<JsonMember, 16> members_;
    std::string scratch_;
    ErrorKind error_ = ErrorKind::message;
    std::size_t error_index_ = 0;
};

}  // namespace

Position position_of(std::string_view text, std::size_t index) {
    std::size_t line_start = 0;
    std::size_t line = 1;
    const char* base = text.data();
    const char* p = base;
    const char* end = base + index;
    while (p < end) {
        const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        if (!nl) break;
        p = static_cast<const char*>(nl) + 1;
        ++line;
        line_start = static_cast<std::size_t>(p - base);
    }
    return {line, index - line_start};
}

Result<JsonValue, JsonError> parse_json(std::string_view text, Arena& arena,
                                        StreamedMember streamed) {
    Reader reader(text, arena, streamed);
    JsonValue root;
    if (!reader.document(root)) {
        Position at = position_of(text, reader.error_index());
        return fail(JsonError::at(reader.error_kind(), at.line, at.column));
    }
    return root;
}

Result<JsonDocument, JsonError> parse_json(std::string_view text) {
    JsonDocument doc;
    auto root = parse_json(text, doc.arena);
    if (!root) return fail(std::move(root).error());
    doc.root = root.value();
    return doc;
}

}  // namespace mnemo::json
