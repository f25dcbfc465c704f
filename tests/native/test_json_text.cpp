// Writer, number layout and document building, which Python only sees
// through the few shapes of the responses.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "check.hpp"
#include "document_reader.hpp"
#include "json/number_text.hpp"
#include "writer.hpp"

using namespace mnemo::json;

namespace {

std::string rewrite(std::string_view text) {
    auto doc = parse_json(text);
    if (!doc) return "error: " + json_error_text(doc.error());
    ByteBuffer out;
    write_json(doc.value().root, out);
    return std::string(out.view());
}

std::string text_of(double d) {
    char out[kDoubleTextRoom];
    return {out, write_double(double_digits(d), d, out)};
}

}  // namespace

TEST_CASE(compact_rewrite_sorts_keys_and_keeps_the_last_duplicate) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {" { \"b\" : 1 , \"a\" : [ true , false , null ] } ", R"({"a":[true,false,null],"b":1})"},
        {R"({"a":1,"a":2})", R"({"a":2})"},
        {R"({"b":1,"a":2,"b":3})", R"({"a":2,"b":3})"},
        {R"({"Zeta":0,"alphabet":0,"beta":0,"alpha":0})",
         R"({"Zeta":0,"alpha":0,"alphabet":0,"beta":0})"},
        {R"({"é":1,"z":2,"":3})", R"({"":3,"z":2,"é":1})"},
        {R"([{},[],"",0,-0,-1,18446744073709551615,-9223372036854775808])",
         R"([{},[],"",0,-0.0,-1,18446744073709551615,-9223372036854775808])"},
        {"[1.0,1e21,1e-7,0.1,-2.5,5e-324]", "[1.0,1e+21,1e-7,0.1,-2.5,5e-324]"},
        {"18446744073709551616", "1.8446744073709552e+19"},
    };
    for (const Row& r : rows) CHECK_EQ(rewrite(r.in), r.out);
}

TEST_CASE(large_objects_keep_byte_order_and_last_duplicates) {
    std::string in = "{", expected = "{";
    for (int i = 40; i >= 0; --i)
        in += "\"k" + std::to_string(i % 20) + "\":" + std::to_string(i) + ",";
    in += "\"end\":0}";
    // keys k0..k19 each appear twice; the later (smaller i) occurrence wins
    auto doc = parse_json(in);
    CHECK(doc.ok());
    const JsonValue& root = doc.value().root;
    CHECK(root.size() == 21);
    for (std::size_t i = 1; i < root.size(); ++i)
        CHECK(key_less(root.members()[i - 1].key_view(), root.members()[i].key_view()));
    CHECK(root.find("k3")->as_unsigned() == 3);
    CHECK(root.find("k19")->as_unsigned() == 19);
    CHECK(root.find("k20") == nullptr);
}

TEST_CASE(string_escapes_are_written_back) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {R"("\"\\\/\b\f\n\r\t")", R"("\"\\/\b\f\n\r\t")"},
        {R"("\u0000\u0001\u001f\u000b\u007f")", "\"\\u0000\\u0001\\u001f\\u000b\x7f\""},
        {R"("\u00e9\u20ac\ud83d\ude00")", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        {"\"plain run \xC3\xA9 with / slash\"", "\"plain run \xC3\xA9 with / slash\""},
        {R"("\t")", R"("\t")"},
    };
    for (const Row& r : rows) CHECK_EQ(rewrite(r.in), r.out);
}

TEST_CASE(nesting_of_127_levels_round_trips) {
    std::string deep = std::string(127, '[') + std::string(127, ']');
    CHECK_EQ(rewrite(deep), deep);
    CHECK_EQ(rewrite(std::string(128, '[')),
             "error: recursion limit exceeded at line 1 column 128");
}

TEST_CASE(text_of_doubles) {
    struct Row {
        double d;
        const char* out;
    };
    const Row rows[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0, "1.0"},
        {10.0, "10.0"},
        {1e15, "1000000000000000.0"},
        {123456789.0, "123456789.0"},
        {1.5, "1.5"},
        {100.25, "100.25"},
        {1234.1, "1234.1"},
        {1234567890123456.8, "1234567890123456.8"},  // the point after the last digit but one
        {0.5, "0.5"},
        {0.1, "0.1"},
        {0.001, "0.001"},
        {1e-5, "0.00001"},
        {1.2345e-5, "0.000012345"},
        {1e-6, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {1e16, "1e+16"},
        {1.5e16, "1.5e+16"},
        {1e21, "1e+21"},
        {1.2345678901234568e20, "1.2345678901234568e+20"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {-std::numeric_limits<double>::max(), "-1.7976931348623157e+308"},
        {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {-2.5, "-2.5"},
        {-1.2345678901234568e-5, "-0.000012345678901234568"},
        {1.7249999999999999, "1.7249999999999999"},
    };
    for (const Row& r : rows) CHECK_EQ(text_of(r.d), r.out);
}

TEST_CASE(non_finite_doubles_become_null) {
    CHECK(JsonValue::from_double(std::nan("")).is_null());
    CHECK(JsonValue::from_double(INFINITY).is_null());
    CHECK(JsonValue::from_double(-INFINITY).is_null());
    CHECK(JsonValue::from_double(-0.0).is_number());
    for (double d : {std::nan(""), double{INFINITY}, -double{INFINITY}})
        CHECK_EQ(text_of(d), "null");
}

TEST_CASE(positions_count_bytes_from_the_last_line_feed) {
    const std::string_view text = "ab\ncd\r\nef";
    struct Row {
        std::size_t index, line, column;
    };
    const Row rows[] = {{0, 1, 0}, {2, 1, 2}, {3, 2, 0}, {6, 2, 3}, {7, 3, 0}, {9, 3, 2}};
    for (const Row& r : rows) {
        Position p = position_of(text, r.index);
        CHECK(p.line == r.line);
        CHECK(p.column == r.column);
    }
}
