// One forward cursor over the payload bytes. Values are built bottom-up: the
// elements of an open array (members of an open object) wait on a scratch
// stack and are moved into the document's arena in one block when the
// bracket closes, objects being sorted by key at that moment. Positions are
// worked out only when an error is reported.
#include "document_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "json/number_reader.hpp"
#include "json/string_scan.hpp"
#include "scratch_stack.hpp"

namespace mnemo::json {

namespace {

// The value of one hex digit, or -1: read as the grammar spells it.
int hex_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A code point as UTF-8: a lead byte that counts the bytes, then six bits
// in each continuation byte, most significant first.
void append_utf8(std::string& out, std::uint32_t cp) {
    int continuation = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    if (continuation == 0) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    static constexpr unsigned kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<char>(kLead[continuation] | (cp >> (6 * continuation))));
    while (continuation-- > 0)
        out.push_back(static_cast<char>(0x80 | ((cp >> (6 * continuation)) & 0x3F)));
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

class Reader {
public:
    Reader(std::string_view text, Arena& arena)
        : p_(reinterpret_cast<const unsigned char*>(text.data())),
          n_(text.size()),
          arena_(&arena) {}

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
    // A fault at the byte looked at but not consumed.
    bool fail_at(ErrorKind kind) {
        error_ = kind;
        error_index_ = std::min(pos_ + 1, n_);
        return false;
    }
    // A fault found just after the last byte consumed.
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
            case '-': ++pos_; return number(true, out);
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7':
            case '8':
            case '9': return number(false, out);
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

    bool enter() {
        if (budget_ == 1) return fail_at(ErrorKind::recursion_limit_exceeded);
        --budget_;
        return true;
    }

    bool array(JsonValue& out) {
        if (!enter()) return false;
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
            if (!value(item)) return false;
            values_.push_back(item);
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
            if (!value(item)) return false;
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
        std::memcpy(static_cast<void*>(members), members_.data() + base,
                    count * sizeof(JsonMember));
        members_.shrink_to(base);
        out = JsonValue::object(members, count);
        return true;
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
            const int h = hex_digit(p_[pos_ + i]);
            if (h < 0)
                bad = true;
            else
                v = v * 16 + static_cast<std::uint32_t>(h);
        }
        pos_ += 4;
        if (bad) return fail_after(ErrorKind::invalid_escape);
        out = v;
        return true;
    }

    // After the sign.
    bool number(bool negative, JsonValue& out) {
        Number number;
        const NumberRead read = read_number(p_ + pos_, p_ + n_, negative, number);
        out = JsonValue::from_number(number);
        pos_ = static_cast<std::size_t>(read.stop - p_);
        if (read.error == ErrorKind::none) return true;
        return read.at_byte ? fail_at(read.error) : fail_after(read.error);
    }

    const unsigned char* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
    int budget_ = kNestingBudget;
    Arena* arena_;
    ScratchStack<JsonValue, 32> values_;
    ScratchStack<JsonMember, 16> members_;
    std::string scratch_;
    ErrorKind error_ = ErrorKind::none;
    std::size_t error_index_ = 0;
};

}  // namespace

Result<JsonValue, JsonError> parse_json(std::string_view text, Arena& arena) {
    Reader reader(text, arena);
    JsonValue root;
    if (!reader.document(root)) {
        Position at = position_of(text, reader.error_index());
        return fail(JsonError{reader.error_kind(), at.line, at.column});
    }
    return root;
}

Result<JsonDocument, JsonError> parse_json(std::string_view text) {
    JsonDocument doc;
    auto root = parse_json(text, doc.arena);
    if (!root) return fail(root.error());
    doc.root = root.value();
    return doc;
}

}  // namespace mnemo::json
