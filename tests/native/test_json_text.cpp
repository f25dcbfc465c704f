// Writer, number layout and document building, which Python only sees
// through the few shapes of the responses.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "check.hpp"
#include "json/number_text.hpp"
#include "document_reader.hpp"
#include "json/writer.hpp"
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

std::string layout(bool negative, std::string_view digits, int k) {
    char padded[kDigitRoom] = {};
    std::memcpy(padded, digits.data(), digits.size());
    char out[kDoubleTextRoom];
    return std::string(out, layout_digits(negative, {padded, digits.size()}, k, out));
}

std::string text_of(double d) {
    std::string out;
    format_double(d, out);
    return out;
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

TEST_CASE(layout_of_digits) {
    struct Row {
        bool neg;
        const char* digits;
        int k;
        const char* out;
    };
    const Row rows[] = {
        {false, "1", 0, "1.0"},
        {false, "1", 1, "10.0"},
        {false, "1", 15, "1000000000000000.0"},
        {false, "123456789", 8, "123456789.0"},
        {false, "15", 0, "1.5"},
        {false, "10025", 2, "100.25"},
        {false, "12341", 3, "1234.1"},
        {false, "5", -1, "0.5"},
        {false, "1", -3, "0.001"},
        {false, "1", -5, "0.00001"},
        {false, "12345", -5, "0.000012345"},
        {false, "1", -6, "1e-6"},
        {false, "15", -7, "1.5e-7"},
        {false, "1", 16, "1e+16"},
        {false, "15", 16, "1.5e+16"},
        {false, "12345678901234568", 20, "1.2345678901234568e+20"},
        {false, "17976931348623157", 308, "1.7976931348623157e+308"},
        {false, "5", -324, "5e-324"},
        {true, "25", 0, "-2.5"},
        {true, "12345678901234567", -5, "-0.000012345678901234567"},
    };
    for (const Row& r : rows) CHECK_EQ(layout(r.neg, r.digits, r.k), r.out);
}

TEST_CASE(format_double_edges) {
    CHECK_EQ(text_of(0.0), "0.0");
    CHECK_EQ(text_of(-0.0), "-0.0");
    CHECK_EQ(text_of(0.1), "0.1");
    CHECK_EQ(text_of(1e21), "1e+21");
    CHECK_EQ(text_of(std::numeric_limits<double>::denorm_min()), "5e-324");
    CHECK_EQ(text_of(-std::numeric_limits<double>::max()), "-1.7976931348623157e+308");
    CHECK_EQ(text_of(1.7249999999999999), "1.7249999999999999");
}

TEST_CASE(non_finite_doubles_become_null) {
    CHECK(JsonValue::from_double(std::nan("")).is_null());
    CHECK(JsonValue::from_double(INFINITY).is_null());
    CHECK(JsonValue::from_double(-INFINITY).is_null());
    CHECK(JsonValue::from_double(-0.0).is_number());
    ByteBuffer out;
    write_double(INFINITY, out);
    out.push_back(',');
    write_double(std::nan(""), out);
    CHECK_EQ(std::string(out.view()), "null,null");
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
