// A growable byte buffer for response text. Growth goes through realloc so
// that a large buffer can be extended in place; running out of memory throws
// std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace mnemo::json {

class ByteBuffer {
public:
    explicit ByteBuffer(std::size_t initial_capacity = 128) { grow_to(initial_capacity); }
    ~ByteBuffer() { std::free(data_); }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::string_view view() const { return {data_, size_}; }
    void clear() { size_ = 0; }

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
    void grow_for(std::size_t n) {
        std::size_t need = size_ + n;
        if (need < size_) throw std::bad_alloc();
        std::size_t cap = capacity_ ? capacity_ : 128;
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
        void* p = std::realloc(data_, cap ? cap : 1);
        if (!p) throw std::bad_alloc();
        data_ = static_cast<char*>(p);
        capacity_ = cap;
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace mnemo::json
