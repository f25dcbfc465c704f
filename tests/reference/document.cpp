#include "document.hpp"

#include <algorithm>
#include <cmath>

namespace mnemo::json {

const JsonValue* JsonValue::find(std::string_view key) const {
    auto all = members();
    auto it = std::lower_bound(
        all.begin(), all.end(), key,
        [](const JsonMember& m, std::string_view k) { return key_less(m.key_view(), k); });
    if (it == all.end() || it->key_view() != key) return nullptr;
    return &it->value;
}

void* Arena::allocate_chunk(std::size_t bytes, std::size_t align) {
    // Large requests get a chunk of their own so that the current chunk
    // keeps serving small ones.
    if (bytes + align > next_chunk_ / 4) {
        std::unique_ptr<char[]> chunk(new char[bytes + align]);
        char* base = chunk.get();
        chunks_.push_back(std::move(chunk));
        std::size_t p = (align - reinterpret_cast<std::uintptr_t>(base) % align) % align;
        return base + p;
    }
    std::unique_ptr<char[]> chunk(new char[next_chunk_]);
    chunks_.push_back(std::move(chunk));
    next_ = chunks_.back().get();
    left_ = next_chunk_;
    if (next_chunk_ < (std::size_t{8} << 20)) next_chunk_ *= 2;
    return allocate(bytes, align);
}

void Arena::reset() {
    chunks_.clear();
    next_ = first_;
    left_ = first_size_;
    next_chunk_ = kFirstChunk;
}

}  // namespace mnemo::json
