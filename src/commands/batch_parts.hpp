// A long batch payload read in parts side by side, one thread each, for
// `walk_batch` (commands/batch.hpp).
//
// The parts are begun when the walk comes to the first element of an
// "items" array. Where part k of n begins is a guess: the first byte after
// k/n of the text from there on that looks like the start of an array
// element (a '{' or '[' after a comma). Each part reads records from its
// guess on, into a consumer of its own (`typename Items::Part`, made from a
// count of bytes, with `take` and `close`), until it meets the next part's
// guess at the start of an element or its array closes. The walk itself
// reads from the beginning, as it always does; when it meets a guess at the
// start of an element of an "items" array, the guess was right: the part
// read what the walk would have read next, and the walk splices its records
// in and goes on where the part stopped. A guess the walk passes without
// meeting, a part that met anything but plain records (a fault of syntax, a
// record that does not decode, memory running out), and one whose thread
// had not yet begun when the walk came to its start, are dropped, and the
// walk reads that stretch itself; when the array ends, every part not met
// is dropped. So every answer and every message is that of the one pass.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "commands/handlers.hpp"
#include "platform/cores.hpp"

namespace mnemo::commands {

// A part of a long batch is worth a thread of its own from this many bytes
// on (about a thousand items, a hundred microseconds or more of reading and
// writing, where a thread takes some tens of microseconds to begin and end).
inline constexpr std::size_t kPartBytes = std::size_t{128} << 10;
// And no more parts than this, however many processors there are: each
// costs a thread's start and a copy of its text.
inline constexpr std::size_t kMostParts = 8;

// How many parts a batch payload of `bytes` is read in: one per processor
// the process may run on, each of at least kPartBytes, at most kMostParts.
inline std::size_t batch_part_count(std::size_t bytes) {
    if (bytes < 2 * kPartBytes) return 1;
    const std::size_t cores = platform::available_cores();
    return std::min({cores, kMostParts, bytes / kPartBytes});
}

namespace batch_detail {

// The record type a record reader reads.
template <class Reader>
struct ReaderRecord;
template <class Record>
struct ReaderRecord<RecordReader<Record>> {
    using type = Record;
};

// How far past its share's start a part's beginning is looked for: items
// are far shorter, and a payload with none in reach (one long string, say)
// costs the look no more than this.
inline constexpr std::size_t kGuessReach = std::size_t{64} << 10;

// Where part k of `count` of the text from `from` to `end` may begin: the
// first byte at or after k/count of it, and after `after`, that looks like
// the start of an array element, a '{' or '[' whose byte before it
// (whitespace aside) is a comma; within kGuessReach bytes and the part's own
// share, or nowhere.
inline const unsigned char* guess_element_start(const unsigned char* from, const unsigned char* end,
                                                std::size_t k, std::size_t count,
                                                const unsigned char* after) {
    const std::size_t share = static_cast<std::size_t>(end - from) / count;
    const unsigned char* q = from + share * k;
    const unsigned char* const limit = q + std::min(share, kGuessReach);
    if (q <= after) q = after + 1;
    for (; q < limit; ++q) {
        q = static_cast<const unsigned char*>(
            std::memchr(q, ',', static_cast<std::size_t>(limit - q)));
        if (!q) return nullptr;
        const unsigned char* const element = json::skip_whitespace(q + 1, limit);
        if (element < limit && (*element == '{' || *element == '[')) return element;
    }
    return nullptr;
}

// One part of a long array and the thread that reads it. Everything but
// `abandon` is the thread's until it is joined.
template <auto Read, class Items>
struct Part {
    using Record = typename ReaderRecord<decltype(Read)>::type;

    const unsigned char* start = nullptr;  // the guess where it begins
    const unsigned char* stop = nullptr;   // the next part's guess, or the text's end
    std::atomic<bool> abandon{false};      // the walk no longer needs it
    // Whether its thread has begun reading, or the walk, come to its start
    // first, took its stretch over: a thread may begin long after it was
    // made, and the walk does not wait for one that has not begun.
    enum : int { waiting, reading, taken_over };
    std::atomic<int> state{waiting};
    std::optional<typename Items::Part> items;
    const unsigned char* end = nullptr;  // where it stopped; null: failed
    bool closed = false;                 // it stopped past its array's ']'
    std::thread thread;

    // Reads from `start` with the nesting budget of the array's records.
    void read(std::string_view payload, int budget) noexcept {
        int expected = waiting;
        if (!state.compare_exchange_strong(expected, reading)) return;
        try {
            json::Text text(payload);
            items.emplace(static_cast<std::size_t>(stop - start) + 64);
            const unsigned char* q = start;
            const unsigned char* next = stop;
            for (;;) {
                if (q >= next) {
                    if (q == next) break;
                    next = text.end;  // passed: read on to the array's end
                }
                if (abandon.load(std::memory_order_relaxed)) return;
                Record record;
                json::DecodeFault fault;
                q = Read(q, text, budget, record, fault);
                if (!q || fault) return;
                items->take(record);
                if (!(q = json::after_element(q, text, closed))) return;
                if (closed) break;
            }
            items->close();
            end = q;
        } catch (...) {
            end = nullptr;  // the walk reads this stretch itself
        }
    }
};

// The parts of a walk, begun on threads of their own, and the guess the
// walk looks out for next. They are begun once, at the first element of the
// first "items" array with one, over the rest of the text, and what of them
// the walk has not met when that array ends is dropped: so no part reads
// records of a member the walk skips for longer than the walk takes to read
// the array, and what a dropped part wrote stays within about what the
// walk wrote meanwhile.
template <auto Read, class Items>
class Parts {
public:
    Parts(std::string_view payload, BatchParts how, int budget)
        : payload_(payload),
          how_(how),
          budget_(budget),
          end_(json::Text(payload).end),
          next_(end_) {}
    MNEMO_NOINLINE ~Parts() { drop_from(0); }
    Parts(const Parts&) = delete;
    Parts& operator=(const Parts&) = delete;
    Parts(Parts&&) = delete;
    Parts& operator=(Parts&&) = delete;

    // At `first`, the first element of an "items" array: begins the parts,
    // the first time only.
    void begin(const unsigned char* first) {
        if (how_.count > 1 && !begun_) [[unlikely]]
            start_threads(first);
    }

    // The array ends: what the walk has not met is dropped.
    void end_array() {
        if (next_index_ < size_) [[unlikely]]
            drop_from(next_index_);
        next_index_ = size_;
        next_ = end_;
    }

    // The next guess the walk looks out for: where an element's start is at
    // or past it, the walk calls `join`. With no guess left it is the text's
    // end, which no element's start reaches.
    const unsigned char* next() const { return next_; }

    // At q, an element's start at or past the next guess. Drops the
    // guesses behind q; where q meets one, splices the records of that part
    // and the parts after it that met their guesses into `items`, and
    // returns where the last of them stopped (`closed`: past the array's
    // ']'). Returns q where the walk reads on itself: where a part failed,
    // or had not begun.
    const unsigned char* join(const unsigned char* q, Items& items, bool& closed) {
        closed = false;
        while (next_index_ < size_ && parts_[next_index_].start < q) drop(next_index_++);
        while (next_index_ < size_ && parts_[next_index_].start == q) {
            Part<Read, Items>& part = parts_[next_index_++];
            int expected = Part<Read, Items>::waiting;
            if (!how_.wait_for_each &&
                part.state.compare_exchange_strong(expected, Part<Read, Items>::taken_over))
                break;
            part.thread.join();
            if (!part.end) break;
            items.splice(*part.items);
            part.items.reset();
            q = part.end;
            if (part.closed) {
                closed = true;
                while (next_index_ < size_) drop(next_index_++);
                break;
            }
        }
        next_ = next_index_ < size_ ? parts_[next_index_].start : end_;
        return q;
    }

private:
    void drop(std::size_t k) { parts_[k].abandon.store(true, std::memory_order_relaxed); }

    // Drops the parts from k on, and waits for their threads to end.
    MNEMO_NOINLINE void drop_from(std::size_t k) {
        for (std::size_t i = k; i < size_; ++i) drop(i);
        for (std::size_t i = k; i < size_; ++i)
            if (parts_[i].thread.joinable()) parts_[i].thread.join();
    }

    MNEMO_NOINLINE void start_threads(const unsigned char* first) {
        begun_ = true;
        const std::size_t count = how_.count;
        parts_.reset(new Part<Read, Items>[count - 1]);
        const unsigned char* after = first;
        for (std::size_t k = 1; k < count; ++k) {
            const unsigned char* const start = guess_element_start(first, end_, k, count, after);
            if (!start) continue;
            parts_[size_++].start = after = start;
        }
        for (std::size_t k = 0; k < size_; ++k) {
            Part<Read, Items>& part = parts_[k];
            part.stop = k + 1 < size_ ? parts_[k + 1].start : end_;
            try {
                part.thread = std::thread(
                    [&part, payload = payload_, budget = budget_] { part.read(payload, budget); });
            } catch (...) {
                size_ = k;  // no thread: the walk reads on from here itself
                break;
            }
        }
        if (size_) next_ = parts_[0].start;
    }

    std::string_view payload_;
    BatchParts how_;
    int budget_;
    bool begun_ = false;
    std::unique_ptr<Part<Read, Items>[]> parts_;
    std::size_t size_ = 0;        // parts begun
    std::size_t next_index_ = 0;  // the first part not yet met or dropped
    const unsigned char* end_;    // the text's
    const unsigned char* next_;
};

}  // namespace batch_detail

}  // namespace mnemo::commands
