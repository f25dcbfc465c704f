// Every allocation of a call, failed in turn: for each call of the table the
// first allocation is made to fail, then the second, and so on until the call
// completes without reaching the failure. Each failed run must end in
// std::bad_alloc and nothing else, leave none of its allocations alive, and
// the same call must then answer as before, byte for byte.
//
// The test executable is linked with --wrap=malloc (and realloc, calloc,
// free), so that the core's own calls of the C allocator come here, and it
// replaces the global operator new and delete, which the standard library's
// strings and vectors reach. The module is built without any of this.
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "check.hpp"
#include "commands/run_command.hpp"

// The linker's --wrap names these, in the reserved space on purpose.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);
}

namespace {

// The allocations made since the count was last reset, the one of them that
// fails (0: none does), and the blocks alive, whoever made them.
std::size_t allocations = 0;
std::size_t failing = 0;
long live_blocks = 0;

bool next_allocation_fails() { return ++allocations == failing; }

}  // namespace

extern "C" {

void* __wrap_malloc(std::size_t size) {
    if (next_allocation_fails()) return nullptr;
    void* block = __real_malloc(size);
    if (block) ++live_blocks;
    return block;
}

void* __wrap_calloc(std::size_t count, std::size_t size) {
    if (next_allocation_fails()) return nullptr;
    void* block = __real_calloc(count, size);
    if (block) ++live_blocks;
    return block;
}

void* __wrap_realloc(void* block, std::size_t size) {
    if (!block) return __wrap_malloc(size);
    if (next_allocation_fails()) return nullptr;
    return __real_realloc(block, size);
}

void __wrap_free(void* block) {
    if (block) --live_blocks;
    __real_free(block);
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier)

void* operator new(std::size_t size) {
    void* block = __wrap_malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    return __wrap_malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    return __wrap_malloc(size ? size : 1);
}
void operator delete(void* block) noexcept { __wrap_free(block); }
void operator delete[](void* block) noexcept { __wrap_free(block); }
void operator delete(void* block, std::size_t /*size*/) noexcept { __wrap_free(block); }
void operator delete[](void* block, std::size_t /*size*/) noexcept { __wrap_free(block); }
void operator delete(void* block, const std::nothrow_t& /*tag*/) noexcept { __wrap_free(block); }
void operator delete[](void* block, const std::nothrow_t& /*tag*/) noexcept { __wrap_free(block); }

namespace {

struct Call {
    const char* name;
    std::string command;
    std::string payload;
};

enum class Ending { answered, out_of_memory, other_exception };

const char* ending_text(Ending ending) {
    switch (ending) {
        case Ending::answered: return "answered";
        case Ending::out_of_memory: return "ended in std::bad_alloc";
        case Ending::other_exception: return "ended in another exception";
    }
    return "";
}

struct Outcome {
    Ending ending;
    std::string answer;  // the response, or "error: " and the message
    std::size_t allocations;
};

// One run of the call in which allocation number `fail_at` fails (0: none).
Outcome run_failing(const Call& call, std::size_t fail_at) {
    Outcome outcome{Ending::answered, {}, 0};
    allocations = 0;
    failing = fail_at;
    try {
        mnemo::json::ByteBuffer response;
        auto status = mnemo::commands::run_command(call.command, call.payload, response);
        outcome.allocations = allocations;
        failing = 0;
        outcome.answer = status ? std::string(response.view()) : "error: " + status.error().message;
    } catch (const std::bad_alloc&) {
        outcome.ending = Ending::out_of_memory;
        outcome.allocations = allocations;
    } catch (...) {
        outcome.ending = Ending::other_exception;
        outcome.allocations = allocations;
    }
    failing = 0;
    return outcome;
}

std::string item(int n) {
    std::string text = "[";
    text += std::to_string(n) + "," + std::to_string(n % 7) + ",0.5,0.25,true,false]";
    return text;
}

std::string items(int count) {
    std::string text = "{\"items\":[";
    for (int n = 0; n < count; ++n) {
        if (n) text += ',';
        text += item(n);
    }
    return text + "]}";
}

// A long string value with escapes, quoted back in the message.
std::string long_quoted_value() {
    std::string value;
    for (int n = 0; n < 300; ++n) value += "text\\n\\u00e9\\\"";
    return R"({"days_since_recall":")" + value +
           R"(","retrieval_count":2,"importance":0.5,"frequency":0.25})";
}

const std::vector<Call>& calls() {
    static const std::vector<Call> table = {
        {"score, object", "score",
         R"({"days_since_recall":3,"retrieval_count":2,"importance":0.5,"frequency":0.25})"},
        {"score, array", "score", "[3,2,0.5,0.25]"},
        {"tier, object", "tier",
         R"({"days_since_recall":40,"retrieval_count":1,"importance":0.2,"frequency":0.1,)"
         R"("is_procedural":true,"keep_forever":false})"},
        {"tier, array", "tier", "[40,1,0.2,0.1,false,true]"},
        {"tier-batch of 0", "tier-batch", R"({"items":[]})"},
        {"tier-batch of 1", "tier-batch", items(1)},
        {"tier-batch of 1000", "tier-batch", items(1000)},
        {"decoding fault", "tier-batch", R"({"items":[[1,2,0.5,0.25],{"importance":1}]})"},
        {"long quoted value", "score", long_quoted_value()},
        {"syntax fault", "tier", R"({"days_since_recall":3,"retrieval_count":2,})"},
        {"unknown command", "forget", R"({"items":[[1,2,0.5,0.25]]})"},
        {"escaped keys", "tier",
         R"({"d\u0061ys_since_recall":3,"retrieval_\u0063ount":2,"importance":0.5,)"
         R"("fr\u0065quency":0.25,"\u0069s_procedural":false})"},
    };
    return table;
}

TEST_CASE(each_allocation_of_a_call_failed_in_turn) {
    for (const Call& call : calls()) {
        // A first run makes whatever the process keeps for good (the
        // output stream's buffers, say) before any count is taken.
        const Outcome expected = run_failing(call, 0);
        CHECK(expected.ending == Ending::answered);
        std::size_t fail_at = 1;
        for (;; ++fail_at) {
            const long live_before = live_blocks;
            const Outcome failed = run_failing(call, fail_at);
            if (failed.allocations < fail_at) {  // completed without reaching it
                CHECK(failed.ending == Ending::answered);
                CHECK_EQ(failed.answer, expected.answer);
                break;
            }
            if (failed.ending != Ending::out_of_memory || live_blocks != live_before) {
                check::fail(__FILE__, __LINE__,
                            std::string(call.name) + ": allocation " + std::to_string(fail_at) +
                                " failed, the call " + ending_text(failed.ending) + ", " +
                                std::to_string(live_blocks - live_before) + " blocks left alive");
            }
            CHECK_EQ(run_failing(call, 0).answer, expected.answer);
        }
        std::cout << "  " << call.name << ": " << fail_at - 1
                  << (fail_at == 2 ? " allocation" : " allocations") << ", each failed in turn\n";
    }
}

}  // namespace
