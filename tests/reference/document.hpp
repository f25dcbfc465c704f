// The in-memory JSON document, as the reference reading of payloads builds
// it (the module reads payloads where they stand, without one).
//
// A `JsonValue` is a 16-byte tagged node: null, boolean, number (unsigned
// 64-bit, signed 64-bit or finite double), string, array or object. Strings,
// arrays and objects refer to storage that the value does not own: the
// `JsonDocument` the reader produced (its arena, or the payload text itself
// for strings without escapes). A value is immutable once made, so reading it
// never changes the document and handlers can decode from it directly.
//
// Objects hold unique keys in ascending unsigned byte order; the reader
// builds them with a replacing insert (the last occurrence of a key wins).
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "json/number_reader.hpp"
#include "platform/bits.hpp"

namespace mnemo::json {

enum class JsonKind : std::uint8_t { null, boolean, number, string, array, object };

struct JsonMember;

class JsonValue {
public:
    JsonValue() : head_(pack(JsonKind::null, NumberRepr::unsigned_int, 0)), u_(0) {}

    static JsonValue null() { return JsonValue(); }
    static JsonValue boolean(bool b) {
        JsonValue v(JsonKind::boolean, NumberRepr::unsigned_int, 0);
        v.u_ = b ? 1 : 0;
        return v;
    }
    static JsonValue from_unsigned(std::uint64_t n) {
        JsonValue v(JsonKind::number, NumberRepr::unsigned_int, 0);
        v.u_ = n;
        return v;
    }
    static JsonValue from_signed(std::int64_t n) {
        JsonValue v(JsonKind::number, NumberRepr::signed_int, 0);
        v.i_ = n;
        return v;
    }
    static JsonValue from_number(const Number& n) {
        switch (n.repr) {
            case NumberRepr::unsigned_int: return from_unsigned(n.u);
            case NumberRepr::signed_int: return from_signed(n.i);
            case NumberRepr::floating: break;
        }
        return from_double(n.d);
    }
    // A finite double becomes a number; NaN and the infinities become null.
    static JsonValue from_double(double d) {
        if (!std::isfinite(d)) return null();
        JsonValue v(JsonKind::number, NumberRepr::floating, 0);
        v.d_ = d;
        return v;
    }
    // The bytes are not copied: they must outlive the value.
    static JsonValue string(const char* data, std::size_t size) {
        JsonValue v(JsonKind::string, NumberRepr::unsigned_int, size);
        v.s_ = data;
        return v;
    }
    static JsonValue array(const JsonValue* items, std::size_t count) {
        JsonValue v(JsonKind::array, NumberRepr::unsigned_int, count);
        v.items_ = items;
        return v;
    }
    // `members` must already be sorted by key with unique keys.
    static JsonValue object(const JsonMember* members, std::size_t count) {
        JsonValue v(JsonKind::object, NumberRepr::unsigned_int, count);
        v.members_ = members;
        return v;
    }

    JsonKind kind() const { return static_cast<JsonKind>(head_ & 0xff); }
    NumberRepr number_repr() const { return static_cast<NumberRepr>((head_ >> 8) & 0xff); }
    std::size_t size() const { return static_cast<std::size_t>(head_ >> 16); }

    bool is_null() const { return kind() == JsonKind::null; }
    bool is_number() const { return kind() == JsonKind::number; }

    bool as_bool() const { return u_ != 0; }
    std::uint64_t as_unsigned() const { return u_; }
    std::int64_t as_signed() const { return i_; }
    double as_double() const { return d_; }
    // Any number as the nearest double (ties to even).
    double number_to_double() const {
        switch (number_repr()) {
            case NumberRepr::unsigned_int: return static_cast<double>(u_);
            case NumberRepr::signed_int: return static_cast<double>(i_);
            case NumberRepr::floating: break;
        }
        return d_;
    }
    std::string_view as_string() const { return {s_, size()}; }
    std::span<const JsonValue> items() const { return {items_, size()}; }
    std::span<const JsonMember> members() const;

    // The member with exactly this key, or null when there is none.
    const JsonValue* find(std::string_view key) const;

private:
    static std::uint64_t pack(JsonKind k, NumberRepr r, std::size_t size) {
        return static_cast<std::uint64_t>(k) | (static_cast<std::uint64_t>(r) << 8) |
               (static_cast<std::uint64_t>(size) << 16);
    }
    JsonValue(JsonKind k, NumberRepr r, std::size_t size) : head_(pack(k, r, size)), u_(0) {}

    std::uint64_t head_;  // kind | repr << 8 | size << 16
    union {
        std::uint64_t u_;
        std::int64_t i_;
        double d_;
        const char* s_;
        const JsonValue* items_;
        const JsonMember* members_;
    };
};

struct JsonMember {
    const char* key;
    std::size_t key_size;
    JsonValue value;

    std::string_view key_view() const { return {key, key_size}; }
};

inline std::span<const JsonMember> JsonValue::members() const { return {members_, size()}; }

static_assert(sizeof(JsonValue) == 16);
static_assert(sizeof(JsonMember) == 32);

// Unsigned byte order of keys: the first differing byte decides, and a
// prefix sorts before the longer key. Keys are short and usually differ in
// their first eight bytes, which are compared as one big-endian word.
inline bool key_less(std::string_view a, std::string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = 0;
    for (; i + 8 <= common; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            return platform::to_big_endian(x) < platform::to_big_endian(y);
        }
    }
    for (; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

// Bump allocator for the nodes and unescaped strings of one document. The
// first allocations can be served from a block the caller provides (on its
// stack, say), so that a small document costs no heap allocation at all.
class Arena {
public:
    Arena() = default;
    // `first_block` must outlive the arena.
    explicit Arena(std::span<std::byte> first_block)
        : first_(reinterpret_cast<char*>(first_block.data())),
          first_size_(first_block.size()),
          next_(first_),
          left_(first_size_) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    Arena(Arena&&) = default;
    Arena& operator=(Arena&&) = default;
    ~Arena() = default;

    void* allocate(std::size_t bytes, std::size_t align) {
        std::size_t pad = (align - reinterpret_cast<std::uintptr_t>(next_) % align) % align;
        if (bytes + pad > left_) return allocate_chunk(bytes, align);
        char* out = next_ + pad;
        next_ = out + bytes;
        left_ -= bytes + pad;
        return out;
    }

    template <class T>
    T* allocate_array(std::size_t count) {
        return static_cast<T*>(allocate(sizeof(T) * count, alignof(T)));
    }

    // Releases everything allocated so far: heap chunks are freed and the
    // first block is served again from its start.
    void reset();

private:
    void* allocate_chunk(std::size_t bytes, std::size_t align);

    static constexpr std::size_t kFirstChunk = std::size_t{64} * 1024;

    std::vector<std::unique_ptr<char[]>> chunks_;
    char* first_ = nullptr;
    std::size_t first_size_ = 0;
    char* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t next_chunk_ = kFirstChunk;
};

// A parsed payload: the root value and the storage it refers to. Strings
// without escapes point into the payload text, which must outlive the
// document.
struct JsonDocument {
    JsonValue root;
    Arena arena;
};

}  // namespace mnemo::json
