// A stack of trivially copyable values whose first N elements live in the
// stack object itself; beyond that it moves to the heap and doubles. The
// reader keeps the elements of open arrays and objects on two of these, so a
// small document needs no heap allocation for them.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace mnemo::json {

template <class T, std::size_t N>
class ScratchStack {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    ScratchStack() = default;
    ScratchStack(const ScratchStack&) = delete;
    ScratchStack& operator=(const ScratchStack&) = delete;
    ScratchStack(ScratchStack&&) = delete;
    ScratchStack& operator=(ScratchStack&&) = delete;
    ~ScratchStack() {
        if (data_ != inline_) std::free(data_);
    }

    std::size_t size() const { return size_; }
    T* data() { return data_; }
    // Drops the elements above the first `n`.
    void shrink_to(std::size_t n) { size_ = n; }

    void push_back(const T& value) {
        if (size_ == capacity_) grow();
        data_[size_++] = value;
    }

private:
    void grow() {
        if (capacity_ > static_cast<std::size_t>(-1) / (2 * sizeof(T))) throw std::bad_alloc();
        const std::size_t capacity = capacity_ * 2;
        void* p = data_ == inline_ ? std::malloc(capacity * sizeof(T))
                                   : std::realloc(static_cast<void*>(data_), capacity * sizeof(T));
        if (!p) throw std::bad_alloc();
        if (data_ == inline_) std::memcpy(p, inline_, size_ * sizeof(T));
        data_ = static_cast<T*>(p);
        capacity_ = capacity;
    }

    T* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = N;
    T inline_[N];
};

}  // namespace mnemo::json
