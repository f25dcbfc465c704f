// A growable byte buffer for response text. The first kInlineBytes live in
// the buffer object itself, so that a small response costs no allocation;
// beyond that the bytes move to the heap and grow through realloc, which can
// extend a large buffer in place. Running out of memory throws
// std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "platform/compiler.hpp"

namespace mnemo::json {

class ByteBuffer {
public:
    static constexpr std::size_t kInlineBytes = 256;

    explicit ByteBuffer(std::size_t initial_capacity = 128) {
        if (initial_capacity > kInlineBytes) grow_to(initial_capacity);
    }
    ~ByteBuffer() { release(); }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept { take(other); }
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }

    const char* data() const { return data_; }
    char* data() { return data_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::string_view view() const { return {data_, size_}; }
    // Drops every byte after the first `n`.
    void truncate(std::size_t n) {
        if (n < size_) size_ = n;
    }

    // Makes room for `n` more bytes, so that `tail()` can be written directly.
    void reserve_more(std::size_t n) {
        if (capacity_ - size_ < n) grow_for(n);
    }
    char* tail() { return data_ + size_; }
    void commit(std::size_t n) { size_ += n; }

    void append(const char* p, std::size_t n) {
        reserve_more(n);
        if (n) std::memcpy(data_ + size_, p, n);
        size_ += n;
    }
    void append(std::string_view s) { append(s.data(), s.size()); }
    void push_back(char c) {
        reserve_more(1);
        data_[size_++] = c;
    }

private:
    bool is_inline() const { return data_ == inline_; }

    void release() {
        if (!is_inline()) std::free(data_);
    }
    // Leaves `other` empty, on its inline storage.
    void take(ByteBuffer& other) {
        if (other.is_inline()) {
            data_ = inline_;
            std::memcpy(inline_, other.inline_, other.size_);
        } else {
            data_ = std::exchange(other.data_, other.inline_);
        }
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, kInlineBytes);
    }
    MNEMO_NOINLINE void grow_for(std::size_t n) {
        std::size_t need = size_ + n;
        if (need < size_) throw std::bad_alloc();
        std::size_t cap = capacity_;
        while (cap < need) {
            if (cap > (static_cast<std::size_t>(-1) >> 1)) {
                cap = need;
                break;
            }
            cap *= 2;
        }
        grow_to(cap);
    }
    void grow_to(std::size_t cap) {
        void* p = is_inline() ? std::malloc(cap) : std::realloc(data_, cap);
        if (!p) throw std::bad_alloc();
        if (is_inline()) std::memcpy(p, inline_, size_);
        data_ = static_cast<char*>(p);
        capacity_ = cap;
    }

    char* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = kInlineBytes;
    char inline_[kInlineBytes];
};

}  // namespace mnemo::json
