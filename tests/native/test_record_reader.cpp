// Records read where they stand agree with the reference reading (the whole
// payload as a document, then each record decoded from it): every command
// answers each text alike, response or message, whether the text is plain
// or leaves the plain shape anywhere, near the end of the text (where
// numbers are read byte by byte) and away from it (by whole blocks).
#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "commands.hpp"
#include "commands/command_table.hpp"
#include "commands/run_command.hpp"
#include "scoring/retention.hpp"
#include "scoring/retention_input.hpp"
#include "scoring/tier_input.hpp"

using namespace mnemo;

namespace {

std::string answer(std::string_view command, std::string_view payload) {
    json::ByteBuffer response;
    auto status = commands::run_command(command, payload, response);
    if (!status) return "error: " + status.error().message;
    return std::string(response.view());
}

void agree(std::string_view command, const std::string& payload) {
    const std::string got = answer(command, payload);
    const std::string expected = reference::answer(command, payload);
    if (got != expected)
        check::fail(__FILE__, __LINE__,
                    std::string(command) + " " + payload + "\n  got:      " + got +
                        "\n  expected: " + expected);
}

// One record text given to every command of the table: as the payload of
// a command that reads one record, as items of one that reads a batch, each
// near the end of the text, before a tail long enough for the numbers to be
// read by blocks, and before one long enough for a whole record to be read
// with no test of the room left.
bool agrees(const std::string& text) {
    const int before = check::failures();
    for (const std::string& tail : {std::string(), std::string(80, ' '), std::string(400, ' ')}) {
        for (const commands::Command& command : commands::kCommands) {
            if (command.payload_shape == commands::PayloadShape::record) {
                agree(command.name, text + tail);
                continue;
            }
            agree(command.name, std::string("{\"items\":[")
                                    .append(text)
                                    .append(",")
                                    .append(text)
                                    .append("]}")
                                    .append(tail));
            agree(command.name,
                  std::string("{\"items\": [").append(text).append("]").append(tail).append("}"));
        }
    }
    return check::failures() == before;
}

}  // namespace

TEST_CASE(every_command_has_its_reference_reading) {
    for (const commands::Command& command : commands::kCommands)
        CHECK(reference::has_case(command.name));
}

TEST_CASE(record_texts_agree) {
    const char* texts[] = {
        R"({"days_since_recall": 2, "retrieval_count": 1, "importance": 0.5, "frequency": 0.5})",
        R"({"frequency":0.4,"importance":0.8,"retrieval_count":5,"days_since_recall":3})",
        R"({ "days_since_recall" : -5 , "retrieval_count":-2,"importance":-1,"frequency":2 })",
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one text in two pieces
        "{\n\t\"days_since_recall\": 1,\r\n \"retrieval_count\": 0, \"importance\": 0, "
        "\"frequency\": 0\n}",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"is_procedural":true,"keep_forever":false})",
        R"({"note":"x","id":17,"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"z":null,"t":true})",
        R"({"days_since_recall":1,"days_since_recall":9,"retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":0.0018489127025067553,"retrieval_count":1e3,"importance":1E-2,"frequency":-0})",
        R"({"days_since_recall":123456789012345678901234,"retrieval_count":0.1,"importance":-0.0,"frequency":18446744073709551615})",
        R"({"days_since_recall":-9223372036854775808,"retrieval_count":-9223372036854775809,"importance":1.7976931348623157e308,"frequency":5e-324})",
        "[3, 2, 0.5, 0.1]",
        "[3,2,0.5,0.1,true]",
        "[ 3 , 2 , 0.5 , 0.1 , false , true ]",
        "[0.00000000000000000000000000001,12345678.87654321,99999999999999999999,0."
        "1234567890123456789]",
        "[18446744073709551616.0e-16,1844674407370955161600000000000000000000000.0,0,0]",

        "{}",
        "[]",
        "[1,2,3]",
        "[1,2,3,4,true,false,7]",
        "[1,2,3,4,0]",
        "[1,true,0.5,0.1]",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3})",
        R"({"days_since_recall":"1","retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"keep_forever":1})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"keep_forever":null})",
        R"({"d\u0061ys_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"note":[1]})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"note":"a\nb"})",
        R"({"days_since_recall":01,"retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":1.,"retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":1e400,"retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,})",
        R"({"days_since_recall":1 "retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":truex,"retrieval_count":2,"importance":3,"frequency":4})",
        "[1,2,3,4,]",
        "[1,2,3,4",
        "[+1,2,3,4]",
        "[.5,2,3,4]",
        "[1,2,3,NaN]",
        "5",
        "null",
        "\"x\"",
        R"({"days_since_recall":1,"days_since_recall":"x","retrieval_count":2,"importance":3,"frequency":4})",
        R"({"days_since_recall":"x","days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4})",
        R"({"retrieval_count":"x","importance":"y","days_since_recall":1,"frequency":1})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"n":{"a":[1,{"b":"\u00e9"}]}})",
        R"({"days_since_recall":1,"retrieval_count":2,"importance":3,"frequency":4,"keep_forever":"a\u0000\t"})",
        "[1,2,3,4,[[[]]],{}]",
        "[1,2,3,[4]]",
        "[1,{},3,4]",
        "{\"days_since_recall\":1,\"retrieval_count\":2",
        "{\"days_since_recall\":1,\"retrieval_count\"",
        "{\"days_since_recall\":1,",
        "{\"days_since_recall\"  :  1  ,  \"retrieval_count\":2,\"importance\":3,\"frequency\":4  "
        "}",
        "[1 ,2,3,4]",
        "[1,2 3,4]",
        "{\"a\":1 x}",
        "{\"a\"x}",
        "{\"\\ud800\":1}",
        "{1:2}",
        "{,}",
    };
    for (const char* text : texts) CHECK(agrees(text));
}

TEST_CASE(every_one_digit_decimal_agrees) {
    // d.d near the end of a text is read from a table of the hundred values.
    for (int i = 0; i < 100; ++i) {
        std::string d = std::to_string(i / 10);
        d += '.';
        d += std::to_string(i % 10);
        std::string spaced = "[";
        for (const char* after : {", ", ", ", ", ", "]"}) spaced.append(d).append(after);
        CHECK(agrees(spaced));
        std::string mixed = "[0,";
        mixed.append(d).append("1,-").append(d).append(",").append(d).append("e0]");
        CHECK(agrees(mixed));
    }
}

TEST_CASE(numbers_of_every_run_length_agree) {
    // Plain numbers are read by words or by blocks of sixteen digits,
    // depending on where their runs start and end: every split of up to 19
    // digits around the point, and a few beyond, each where its value shows
    // in a score to the last bit (the count, and fractions below one as
    // importance and frequency).
    std::mt19937 random(11);
    auto digits = [&](int n, bool first) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += static_cast<char>('0' + (first && i == 0 ? 1 + random() % 9 : random() % 10));
        return text;
    };
    for (int whole = 1; whole <= 20; ++whole) {
        for (int fraction = 0; whole + fraction <= 21; ++fraction) {
            std::string number = digits(whole, whole > 1);
            if (fraction > 0) number.append(".").append(digits(fraction, false));
            std::string zero = "0";
            if (fraction > 0) zero.append(".").append(digits(fraction + whole - 1, false));
            std::string counted = "[1, ";
            counted.append(number).append(", ").append(zero).append(", ").append(zero).append("]");
            CHECK(agrees(counted));
            std::string signed_first = "[-";
            signed_first.append(number).append(", ").append(number).append(", 0, ");
            signed_first.append(zero).append(", true]");
            CHECK(agrees(signed_first));
        }
    }
}

TEST_CASE(random_record_texts_agree) {
    // Records assembled from fragments, valid and not, some cut short: every
    // one must read the same both ways.
    const std::vector<std::string> numbers = {
        "0",
        "-0",
        "7",
        "-3",
        "12",
        "0.5",
        "9.9",
        "3.0",
        "5.5e1",
        "1.2E3",
        "4.56",
        "-0.25",
        "123.456",
        "0.0001",
        "1e5",
        "2.5E-3",
        "-1e-7",
        "0.20494814893807334",
        "243.13",
        "-98765432.1",
        "12345678.87654321",
        "1234567890123456789",
        "12345678901234567890",
        "123456789.0123456789",
        "0.123456789012345678",
        "0.0000000000000000000012345",
        "0.0018489127025067553",
        "9007199254740993",
        "18446744073709551616",
        "1" + std::string(25, '0'),
        "0." + std::string(30, '0') + "1",
        "01",
        "1.",
        "1.2.3",
        "1..2",
        ".5",
        "-.5",
        "--1",
        "1/2",
        "-0.0",
        "12.5.",
        "-",
        "1e",
        "1e999",
        "18446744073709551616.5e-3",
        "[1]",
        "{}",
        "\"\\u0031\"",
    };
    const std::vector<std::string> flags = {"true",     "false", "null", "1",
                                            "\"true\"", "falsy", "tru"};
    // The fields of the records the commands read, from their layouts, the
    // tier record's first; then keys that only look like them.
    struct Field {
        std::string name;
        bool flag;
    };
    std::vector<Field> fields;
    std::size_t required = 0;
    auto add_fields = [&](const auto& layout) {
        for (const auto& f : layout.fields) {
            bool known = false;
            for (const Field& g : fields) known |= g.name == f.name;
            if (known) continue;
            fields.push_back({std::string(f.name), f.type == json::FieldType::boolean});
            required += f.required ? 1 : 0;
        }
    };
    add_fields(scoring::kTierInputLayout);
    add_fields(scoring::kRetentionInputLayout);
    std::vector<std::string> keys = {"note"};
    for (const Field& f : fields) {
        const std::string& name = f.name;
        std::string capital = name;
        capital[0] = static_cast<char>(capital[0] - 'a' + 'A');
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(name[1]));
        keys.insert(keys.end(), {name, name.substr(0, name.size() - 1), name + name.back(), capital,
                                 name.substr(0, 1) + escaped + name.substr(2)});
    }
    const std::vector<std::string> spaces = {"", " ", "  ", "\n", "\t "};
    std::mt19937 random(7);
    auto pick = [&](const std::vector<std::string>& v) { return v[random() % v.size()]; };
    auto is_flag = [&](const std::string& key) {
        for (const Field& f : fields)
            if (f.name == key) return f.flag;
        return false;
    };
    int failed = 0;
    for (int i = 0; i < 6000 && failed < 10; ++i) {
        std::string text;
        const std::size_t count = required - 1 + random() % (fields.size() - required + 4);
        if (random() % 3 == 0) {
            text.assign("[").append(pick(spaces));
            for (std::size_t f = 0; f < count; ++f) {
                if (f) text.append(",").append(pick(spaces));
                const bool number = f < fields.size() && !fields[f].flag;
                text += number || random() % 4 == 0 ? pick(numbers) : pick(flags);
            }
            text += pick(spaces) + "]";
        } else {
            text.assign("{").append(pick(spaces));
            for (std::size_t f = 0; f < count + 1; ++f) {
                const std::string key = random() % 5 ? fields[f % fields.size()].name : pick(keys);
                if (f) text.append(",").append(pick(spaces));
                text += "\"" + key + "\"" + pick(spaces) + ":" + pick(spaces) +
                        (is_flag(key) == (random() % 8 != 0) ? pick(flags) : pick(numbers));
            }
            text += pick(spaces) + "}";
        }
        if (random() % 8 == 0) text.resize(random() % (text.size() + 1));
        failed += !agrees(text);
    }
}

TEST_CASE(whole_counts_read_their_logarithm_from_the_table) {
    // The stability is log(count + 1), floored; counts below 1024 that are
    // whole numbers come from a table that must hold the very same values.
    for (int n = 0; n < 2000; ++n) {
        for (double count :
             {static_cast<double>(n), n + 0.5, std::nextafter(static_cast<double>(n), 1e9)}) {
            volatile double sum = count + 1.0;
            const double s = std::log(sum);
            const double expected = s > 0.001 ? s : 0.001;
            const double got = scoring::compute_retention(0.0, count, 0.0, 0.0).stability;
            if (std::bit_cast<std::uint64_t>(got) != std::bit_cast<std::uint64_t>(expected))
                check::fail(__FILE__, __LINE__, "stability of count " + std::to_string(count));
        }
    }
}
