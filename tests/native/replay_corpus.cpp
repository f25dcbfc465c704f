// Replays payloads through the reader, the writer and the command layer,
// built with AddressSanitizer and UndefinedBehaviorSanitizer: the corpus files
// named on the command line (files, or directories read recursively), each
// in a heap block of exactly its size, then a set of big and hostile inputs
// made here.
//
// Each corpus file is checked as reader input and as a command-corpus entry
// (see fuzz/oracle.hpp). A violated property aborts with a report; a memory
// or undefined-behaviour fault is reported by the sanitizers, which end the
// process with a failure status.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "commands/command_table.hpp"
#include "oracle.hpp"

namespace fs = std::filesystem;
using mnemo::oracle::check_command_answer;

namespace {

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> corpus_files(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path root(argv[i]);
        if (fs::is_directory(root)) {
            for (const auto& entry : fs::recursive_directory_iterator(root))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(root)) {
            files.push_back(root);
        } else {
            std::fprintf(stderr, "replay_corpus: no such file or directory: %s\n", argv[i]);
            std::exit(2);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string repeat(std::string_view unit, std::size_t count) {
    std::string out;
    out.reserve(unit.size() * count);
    for (std::size_t i = 0; i < count; ++i) out += unit;
    return out;
}

const std::string kOk = R"({"ok":true,"result":)";

// Every command of the table, and one that is not.
std::vector<std::string_view> all_commands() {
    std::vector<std::string_view> names;
    for (const mnemo::commands::Command& c : mnemo::commands::kCommands) names.push_back(c.name);
    names.emplace_back("");
    return names;
}

// The properties of a text given to the reader and to every command, the
// text in a heap block of exactly its size, so that a read one byte past
// its end is reported.
void check_exactly(std::string_view text) {
    const std::unique_ptr<char[]> exact(new char[text.size()]);
    std::memcpy(exact.get(), text.data(), text.size());
    const std::string_view payload(exact.get(), text.size());
    mnemo::oracle::check_json_round_trip(payload);
    for (std::string_view command : all_commands()) mnemo::oracle::check_command(command, payload);
}

// The same answer from every command: the payload fails in the reader.
void expect_reader_error(const std::string& payload, const std::string& message, int& cases) {
    for (std::string_view command : all_commands()) {
        check_command_answer(command, payload, "error: " + message);
        ++cases;
    }
}

int nesting_cases() {
    int cases = 0;
    const std::string arrays127 = std::string(127, '[') + std::string(127, ']');
    check_command_answer("", arrays127, "error: unknown command: ");
    check_command_answer("tier", arrays127, "error: invalid type: sequence, expected f64");
    check_command_answer("score", arrays127, "error: invalid type: sequence, expected f64");
    check_command_answer("tier-batch", arrays127, "error: missing required field: items");
    const std::string objects127 = repeat(R"({"a":)", 127) + "0" + std::string(127, '}');
    check_command_answer("tier", objects127, "error: missing field `days_since_recall`");
    check_command_answer("score", objects127, "error: missing field `days_since_recall`");
    cases += 6;
    // The 128th opening bracket is refused where it stands.
    expect_reader_error(std::string(128, '['), "recursion limit exceeded at line 1 column 128",
                        cases);
    expect_reader_error(std::string(100000, '['), "recursion limit exceeded at line 1 column 128",
                        cases);
    expect_reader_error(repeat(R"({"a":)", 100000), "recursion limit exceeded at line 1 column 636",
                        cases);
    expect_reader_error(repeat(R"([{"a":)", 50000), "recursion limit exceeded at line 1 column 380",
                        cases);
    return cases;
}

int size_cases() {
    int cases = 0;
    const std::string zeros = "[" + repeat("0,", 999999) + "0]";
    check_command_answer("score", zeros,
                         "error: invalid length 1000000, expected fewer elements in array");
    check_command_answer("tier", zeros, "error: invalid type: integer `0`, expected a boolean");
    check_command_answer("tier-batch", R"({"items":)" + zeros + "}",
                         "error: invalid type: integer `0`, expected struct TierInput");
    cases += 3;

    const std::size_t items = 100000;
    const std::string batch = R"({"items":[)" + repeat("[0,0,0,0],", items - 1) + "[0,0,0,0]]}";
    const std::string decision =
        R"({"action":"long_term_semantic","retention":1.0,"tier":"warm_semantic"})";
    check_command_answer(
        "tier-batch", batch,
        kOk + R"({"decisions":[)" + repeat(decision + ",", items - 1) + decision + "]}}");
    ++cases;

    const std::size_t big = 4u << 20;
    const std::string plain(big, 'x');
    check_command_answer(
        "tier", "\"" + plain + "\"",
        "error: invalid type: string \"" + plain + "\", expected struct TierInput");
    const std::string newlines = repeat("\\n", big);
    check_command_answer(
        "score", "\"" + newlines + "\"",
        "error: invalid type: string \"" + newlines + "\", expected struct RetentionInput");
    check_command_answer(
        "score",
        R"({"days_since_recall":0,"retrieval_count":0,"importance":0,"frequency":0,"note":")" +
            plain + "\"}",
        kOk + R"({"boost":1.0,"retention":1.0,"stability":0.001}})");
    cases += 3;

    expect_reader_error(std::string(10u << 20, ' ') + "x",
                        "expected value at line 1 column 10485761", cases);
    const std::string command(1u << 20, 'c');
    check_command_answer(command, "{}", "error: unknown command: " + command);
    const std::string odd_command = repeat(std::string("\0\xC3\xA9\xF0\x9F\x98\x80 ", 8), 1u << 14);
    check_command_answer(odd_command, "[]", "error: unknown command: " + odd_command);
    check_command_answer(command, "[1,", "error: EOF while parsing a value at line 1 column 3");
    return cases + 3;
}

// Every escape and every record cut short by the end of the input, at every
// byte, alone, as an element and as a key; then the faults of the escapes
// themselves. Each prefix is handed over in a heap block of exactly its
// size, so that a read one byte past the end is reported.
int cut_short_cases() {
    static const char* const kTexts[] = {
        R"({"days_since_recall": -2.5e1, "retrieval_count": 10, "importance": 0.25, "frequency": 1, "is_procedural": true, "keep_forever": false})",
        R"([-1.5, 2e1, 0, -0, true, false])",
        R"({"items":[[2e1,-3,0.5,1],{"frequency":0.1,"days_since_recall":7,"retrieval_count":-0.0,"importance":1e-3}]})",
        R"("\"\\\/\b\f\n\r\t\u00e9\u20AC\ud83d\ude00\uDBFF\uDFFF\u0000")",
        R"(["a\u0041b", {"k\u00e9\n": "\ud800\udc00"}])",
        R"("\ud800")",
        R"("\ud800\n")",
        R"("\udc00")",
        R"("\ud800\u0041")",
        R"("\x")",
        R"("\u00G0")",
        R"("\ud800\uZZZZ")",
    };
    static const char* const kPlaces[] = {"", "[1,\n  ", "{\"a\":{"};
    int cases = 0;
    for (std::string_view text : kTexts) {
        for (std::string_view place : kPlaces) {
            for (std::size_t n = 0; n <= text.size(); ++n) {
                check_exactly(std::string(place) + std::string(text.substr(0, n)));
                ++cases;
            }
        }
    }
    return cases;
}

// Records whose members are read with no test of the room left, far enough
// from the end of the text, but where one value is longer than any plain
// number (a long fraction, an exponent, a long run of digits): the room
// tested for the record must not be taken to hold for the members after
// it. Each text ends right after the record, in a block of exactly its size.
int long_value_cases() {
    const std::string longs[] = {"1." + std::string(300, '1'), "1.5e-300",
                                 std::string(40, '9') + ".5", "-0.000000000000000000000001"};
    const char* const keys[] = {"days_since_recall", "retrieval_count", "importance", "frequency"};
    int cases = 0;
    for (const std::string& value : longs) {
        for (std::size_t at = 0; at < 4; ++at) {
            std::string record = "{";
            for (std::size_t k = 0; k < 4; ++k) {
                if (k) record += ", ";
                record.append("\"").append(keys[k]).append("\": ").append(k == at ? value : "1");
            }
            record += ", \"is_procedural\": false}";
            check_exactly(record);
            check_exactly(R"({"items":[)" + record + "]}");
            cases += 2;
        }
    }
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t entries = 0, refused = 0;
    for (const fs::path& path : corpus_files(argc, argv)) {
        // In a block of exactly its size, as the fuzzers hand their inputs
        // over, so that a read past its end is reported.
        const std::string file = read_file(path);
        const std::unique_ptr<char[]> exact(new char[file.size()]);
        std::memcpy(exact.get(), file.data(), file.size());
        const std::string_view input(exact.get(), file.size());
        mnemo::oracle::check_json_round_trip(input);
        if (!mnemo::oracle::check_command_input(input)) ++refused;
        ++entries;
    }
    const int built_in = nesting_cases() + size_cases() + cut_short_cases() + long_value_cases();
    std::printf(
        "replay: %zu corpus entries (%zu not UTF-8, reader only), %d built-in cases: all "
        "properties held\n",
        entries, refused, built_in);
    return 0;
}
