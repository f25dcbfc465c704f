// The text of doubles, checked against the standard library's shortest
// round-trip digits on whole families of doubles and on random bit patterns.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "check.hpp"
#include "json/number_text.hpp"
#include "json/shortest_decimal.hpp"

using namespace mnemo::json;

namespace {

// The text of a double from the standard library's shortest round-trip
// digits, laid out independently of the engine.
std::string reference_text(double d) {
    if (d == 0.0) return std::signbit(d) ? "-0.0" : "0.0";
    char scientific[40];  // d[.ddd]e(+|-)xx
    char* end = std::to_chars(scientific, scientific + sizeof scientific, std::fabs(d),
                              std::chars_format::scientific)
                    .ptr;
    char* e = std::find(scientific, end, 'e');
    std::string digits(scientific, e);
    if (digits.size() > 1) digits.erase(1, 1);  // the point
    int k = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, k);
    const int n = static_cast<int>(digits.size());
    std::string text = std::signbit(d) ? "-" : "";
    if (k < -5 || k > 15) {
        text += digits.substr(0, 1);
        if (n > 1) text.append(".").append(digits.substr(1));
        return text + (k < 0 ? "e-" : "e+") + std::to_string(std::abs(k));
    }
    if (k < 0) return text + "0." + std::string(-k - 1, '0') + digits;
    if (k >= n - 1) return text + digits + std::string(k - n + 1, '0') + ".0";
    return text + digits.substr(0, k + 1) + "." + digits.substr(k + 1);
}

std::string engine_text(double d) {
    char out[kDoubleTextRoom];
    return {out, write_double(double_digits(d), d, out)};
}

int mismatches = 0;

void compare(double d) {
    std::string got = engine_text(d), expected = reference_text(d);
    if (got != expected && ++mismatches <= 10) CHECK_EQ(got, expected);
    // The digit writer takes at most 17 digits, trailing zeros included.
    const double m = std::fabs(d);
    if (m != 0.0 &&
        (m < std::numeric_limits<double>::min() ? shortest_subnormal_decimal(m)
                                                : shortest_decimal(m))
                .significand >= 100000000000000000u &&
        ++mismatches <= 10)
        CHECK(!"a significand of more than 17 digits");
}

}  // namespace

TEST_CASE(exponent_estimates_are_exact_over_the_double_range) {
    const long double log10_2 = std::log10(2.0L), log2_10 = std::log2(10.0L),
                      log10_3_4 = std::log10(0.75L);
    for (int q = -1100; q <= 1100; ++q) {
        CHECK(floor_log10_pow2(q) == static_cast<int>(std::floor(q * log10_2)));
        if (q != 0)
            CHECK(floor_log10_three_quarters_pow2(q) ==
                  static_cast<int>(std::floor(q * log10_2 + log10_3_4)));
    }
    for (int e = -400; e <= 400; ++e)
        CHECK(floor_log2_pow10(e) == static_cast<int>(std::floor(e * log2_10)));
}

TEST_CASE(shortest_digits_of_families_of_doubles) {
    mismatches = 0;
    // Every binade's first significand, whose lower neighbour is closer,
    // and its neighbours; the largest and smallest normal doubles.
    for (int e = -1022; e <= 1023; ++e) {
        const double p = std::ldexp(1.0, e);
        compare(p);
        compare(std::nextafter(p, 0.0));
        compare(std::nextafter(p, INFINITY));
    }
    compare(std::numeric_limits<double>::max());
    compare(std::numeric_limits<double>::min());
    compare(std::numeric_limits<double>::denorm_min());
    compare(-std::numeric_limits<double>::denorm_min());
    compare(0.0);
    compare(-0.0);
    for (double special : {INFINITY, -INFINITY, NAN}) CHECK_EQ(engine_text(special), "null");
    // Subnormals: the smallest, the largest, and random ones.
    for (std::uint64_t c = 1; c <= 100000; ++c) {
        compare(std::bit_cast<double>(c));
        compare(std::bit_cast<double>((std::uint64_t{1} << 52) - c));
    }
    // Powers of ten and their neighbours; integers around 2^53.
    for (int e = -307; e <= 308; ++e) {
        const double p = std::pow(10.0, e);
        compare(p);
        compare(std::nextafter(p, 0.0));
        compare(std::nextafter(p, INFINITY));
    }
    for (std::uint64_t n = (std::uint64_t{1} << 53) - 1000; n < (std::uint64_t{1} << 53) + 1000;
         ++n)
        compare(static_cast<double>(n));
    for (int n = 1; n <= 100000; ++n) {
        compare(n);
        compare(n / 1000.0);
        compare(-n * 0.1);
    }
    CHECK(mismatches == 0);
}

TEST_CASE(shortest_digits_of_random_doubles) {
    mismatches = 0;
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 2000000; ++i) {
        const double d = std::bit_cast<double>(random());
        if (std::isfinite(d)) compare(d);
        compare(std::bit_cast<double>(random() >> 12));  // subnormal (or zero)
    }
    // Doubles of the retention's usual range, 0 to 10.
    std::uniform_real_distribution<double> unit(0.0, 10.0);
    for (int i = 0; i < 1000000; ++i) compare(unit(random));
    CHECK(mismatches == 0);
}

TEST_CASE(shortest_digits_at_ties_and_interval_ends) {
    mismatches = 0;
    std::mt19937_64 random(20261209);
    // Small binary exponents, where the scaled ends of the interval can be
    // whole numbers exactly.
    for (int i = 0; i < 500000; ++i) {
        const std::uint64_t c = (random() >> 11) | (std::uint64_t{1} << 52);
        compare(std::ldexp(static_cast<double>(c), static_cast<int>(random() % 241) - 120));
    }
    // Decimals of few digits, the doubles nearest to them and to the points
    // halfway between them, and their neighbours.
    for (int i = 0; i < 200000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 17);
        const int exponent = static_cast<int>(random() % 600) - 320;
        const std::uint64_t m = random() % static_cast<std::uint64_t>(std::pow(10.0, digits));
        for (const char* form : {"%llue%d", "%llu5e%d"}) {
            char text[64];
            std::snprintf(text, sizeof text, form, static_cast<unsigned long long>(m), exponent);
            const double d = std::strtod(text, nullptr);
            compare(d);
            compare(std::nextafter(d, 0.0));
            compare(std::nextafter(d, INFINITY));
        }
    }
    CHECK(mismatches == 0);
}
