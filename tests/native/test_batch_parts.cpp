// A batch read in parts side by side answers exactly as one pass does,
// wherever the parts' guesses fall: on items, inside strings, in nested
// arrays of ignored members, past a fault, in an "items" array that a later
// one replaces.
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "commands/batch_parts.hpp"
#include "commands/command_table.hpp"

using namespace mnemo;

namespace {

std::string answer_in_parts(const commands::Command& command, std::string_view payload,
                            commands::BatchParts parts) {
    json::ByteBuffer result;
    auto status = command.in_parts(payload, result, parts);
    if (!status) return "error: " + status.error().message;
    return std::string(result.view());
}

}  // namespace

TEST_CASE(a_part_begins_at_the_first_element_after_its_share) {
    struct Case {
        std::string_view text;
        std::size_t k, count;
        std::ptrdiff_t expected;  // offset, or -1: no part
    };
    const Case cases[] = {
        {R"({"items":[{"a":1},{"a":2},{"a":3},{"a":4}]})", 1, 2, 26},
        {R"({"items":[[1,2],[3,4],[5,6],[7,8],[9,0]])", 1, 2, 22},
        {R"({"items":[{"a":1},   {"a":2},   {"a":3}]})", 1, 2, 32},
        {"{\"items\":[{\"a\":1},\n\t{\"a\":2},\n\t{\"a\":3}]}", 1, 2, 30},
        // A comma not followed by an element's start is passed over.
        {R"({"items":[{"a":1,"b":2,"c":3,"d":4},{"a":5}]})", 1, 2, 36},
        // What looks like an element inside a string is a guess too; the
        // walk never meets it and reads on itself.
        {R"({"x":"aaaaaaaa,{bbbbbbbb","items":[]})", 1, 3, 15},
        // Nothing that looks like an element in the part's share.
        {R"({"items":[{"a":1,"b":2,"c":3,"d":4,"e":5,"f":6}]})", 1, 2, -1},
        {R"({"items":[{"a":1},{"a":2}]})", 2, 3, -1},
    };
    for (const Case& c : cases) {
        const json::Text text(c.text);
        const unsigned char* const start = commands::batch_detail::guess_element_start(
            text.begin, text.end, c.k, c.count, text.begin);
        CHECK(start ? start - text.begin == c.expected : c.expected == -1);
    }
}

TEST_CASE(random_batches_answer_alike_in_any_number_of_parts) {
    const std::vector<std::string> records = {
        R"({"days_since_recall":2,"retrieval_count":1,"importance":0.5,"frequency":0.5})",
        R"({"days_since_recall": 12.25, "retrieval_count": 3, "importance": 0.75, "frequency": 0.1234567890123456, "is_procedural": true})",
        R"([301.5,8,0.25,0.9,false,true])",
        R"([ 1 , 0 , 1 , 0 ])",
        R"({"frequency":0.5,"importance":0.5,"retrieval_count":7,"days_since_recall":40})",
        R"({"days_since_recall":1,"retrieval_count":1,"importance":0.5,"frequency":0.5,"note":[{"a":1},{"b":[2,{"c":3}]}]})",
        R"({"days_since_recall":1,"note":"x,{\"y\":[1,{}]}, [","retrieval_count":1,"importance":0.5,"frequency":0.5})",
        R"({"days_since_recall":1,"retrieval_count":1,"importance":0.5,"frequency":0.5,"keep_forever":true})",
        // Records inside a record: a guess there reads them well, to the
        // inner array's end.
        R"({"days_since_recall":1,"note":[[1,1,0.5,0.5], [2,2,0.5,0.5]],"retrieval_count":1,"importance":0.5,"frequency":0.5})",
    };
    const std::vector<std::string> faulty = {
        R"({"days_since_recall":1,"retrieval_count":1,"importance":0.5})",
        R"([1,2,3])",
        R"({"days_since_recall":1,,"retrieval_count":1})",
        R"({"days_since_recall":-1e999,"retrieval_count":1,"importance":0.5,"frequency":0.5})",
        R"([1,2,0.5,0.5,tru])",
    };
    const std::vector<std::string> ignored = {
        R"("note":"a,{b},[c], {\"d\":1}")",
        R"("other":[{"a":1},{"b":2},[3,{"c":[4,{"d":5}]}]])",
        R"("count":12)",
        R"("held":[[1,2,0.5,0.5],[3,4,0.5,0.5],{"days_since_recall":3,"retrieval_count":1,"importance":0.5,"frequency":0.5}])",
    };
    const std::vector<std::string> spaces = {"", " ", "\n  ", "\t"};
    const commands::Command& batch = *commands::find_command("tier-batch");
    std::mt19937 random(11);
    auto pick = [&](const std::vector<std::string>& v) { return v[random() % v.size()]; };
    auto items = [&](std::size_t count, std::vector<std::size_t>* starts, std::string& text) {
        text.append("[").append(pick(spaces));
        for (std::size_t i = 0; i < count; ++i) {
            if (i) text.append(pick(spaces)).append(",").append(pick(spaces));
            if (starts) starts->push_back(text.size());
            text.append(random() % 200 == 0 ? pick(faulty) : pick(records));
        }
        text.append(pick(spaces)).append("]");
    };
    int met = 0;
    for (int i = 0; i < 300; ++i) {
        std::vector<std::size_t> replaced, starts;
        std::string payload = std::string("{").append(pick(spaces));
        if (random() % 3 == 0) payload.append(pick(ignored)).append(",").append(pick(spaces));
        if (random() % 6 == 0) {
            payload.append("\"items\":");
            items(random() % 40, &replaced, payload);
            payload.append(",");
        }
        payload.append("\"items\":");
        items(20 + random() % 150, &starts, payload);
        if (random() % 3 == 0) payload.append(",").append(pick(spaces)).append(pick(ignored));
        payload.append(pick(spaces)).append("}");
        if (random() % 20 == 0) payload.resize(random() % payload.size());
        if (random() % 20 == 0) payload.append(" x");

        const std::string one = answer_in_parts(batch, payload, {1});
        for (std::size_t parts = 2; parts <= 8; ++parts) {
            // Every part spliced in, or as the threads' timing has it.
            const std::string many = answer_in_parts(batch, payload, {parts, parts % 2 == 0});
            if (many != one) {
                std::string what = std::to_string(parts);
                what.append(" parts: ").append(payload).append("\n  got:      ").append(many);
                what.append("\n  in one pass: ").append(one);
                check::fail(__FILE__, __LINE__, what);
                return;
            }
            // The parts begin at the first item (of an "items" array that a
            // later one replaces, they are dropped with it).
            if (!replaced.empty() || starts.empty() || starts[0] >= payload.size()) continue;
            const json::Text text(payload);
            const unsigned char* const first = text.begin + starts[0];
            const unsigned char* start =
                commands::batch_detail::guess_element_start(first, text.end, 1, parts, first);
            for (std::size_t s : starts) met += start && start - text.begin == std::ptrdiff_t(s);
        }
    }
    // Most guesses land on an item, so that the parts are spliced in.
    CHECK(met > 1000);
}
