// Shortest decimal of a normal double by exact integer arithmetic on a
// scaled significand. The double is v = c 2^q; its rounding interval reaches
// halfway to each neighbour, and its ends belong to it when c is even
// (reading rounds ties to even).
//
// Most doubles take the Dragonbox method of J. Jeon, with one wide
// multiplication: the interval's upper end scaled by 10^k, for
// k = 2 - floor(log10 2^q), has a whole part z of 17 to 19 digits, and the
// interval's width there, delta, has a whole part from 100 to 999. The
// multiple of 1000 just below z lies in the interval when z mod 1000 < delta;
// otherwise the answer has one digit more and is the multiple of 100 nearest
// the scaled v, found from the remainder. The rare ties and ends are settled
// by the parity and fraction of one more product.
//
// The first significand of a binade, whose lower neighbour is closer, takes
// the Schubfach method of R. Giulietti. Everything is scaled by 4 so that
// the interval's ends are integers: cb = 4c, cbl = cb - 1, cbr = cb + 2.
// With k = floor(log10 (3/4) 2^q), the interval is narrower than 10^(k+1),
// so it holds at most one multiple of 10^(k+1), and wider than 10^k, so the
// multiples of 10^k around v, s = floor(v / 10^k) and t = s + 1, are the
// nearest candidates of one digit more. Multiplying by a 126-bit
// over-approximation g of 10^-k and rounding to odd keeps every comparison
// of the scaled values with those candidates exact.
#include "json/shortest_decimal.hpp"

#include <array>
#include <bit>
#include <cstring>

#include "platform/compiler.hpp"
#include "platform/wide_multiply.hpp"

namespace mnemo::json {

namespace {

struct Multiplier {
    std::uint64_t high;  // g >> 63
    std::uint64_t low;   // g & (2^63 - 1)
};

constexpr int kMinK = -325;
constexpr Multiplier kMultipliers[] = {
#include "json/pow10_multipliers.inc"
};

// 10^k rounded up to 128 bits, the top bit set.
struct Wide {
    std::uint64_t high;
    std::uint64_t low;
};

constexpr int kWideMinK = -290;
constexpr Wide kPow10Wide[] = {
#include "json/pow10_wide.inc"
};

// The multiplier and shift of scale_upper_end for each biased exponent of a
// normal double, looked up from the exponent's bits directly, so that no
// multiplication and shift for the power of ten stand before the load.
constexpr int kBiasedExponents = 2047;
constexpr auto kWideByExponent = [] {
    std::array<Wide, kBiasedExponents> t{};
    for (int e = 1; e < kBiasedExponents; ++e)
        t[e] = kPow10Wide[2 - floor_log10_pow2(e - 1075) - kWideMinK];
    return t;
}();
constexpr auto kBetaByExponent = [] {
    std::array<std::uint8_t, kBiasedExponents> t{};
    for (int e = 1; e < kBiasedExponents; ++e) {
        const int q = e - 1075;
        t[e] = static_cast<std::uint8_t>(q + floor_log2_pow10(2 - floor_log10_pow2(q)));
    }
    return t;
}();

// The upper 128 bits of the 192-bit product x * w.
platform::U128 upper128(std::uint64_t x, const Wide& w) {
    return platform::add(platform::multiply_wide(x, w.high), platform::multiply_high(x, w.low));
}

// Of x * w / 2^(128 - beta): the lowest bit of the whole part, and whether
// the fraction is zero.
struct Parity {
    bool odd;
    bool whole;
};

Parity parity_of(std::uint64_t x, const Wide& w, int beta) {
    const platform::U128 low_product = platform::multiply_wide(x, w.low);
    const std::uint64_t high = x * w.high + low_product.high;
    const std::uint64_t low = low_product.low;
    return {((high >> (64 - beta)) & 1) != 0, ((high << beta) | (low >> (64 - beta))) == 0};
}

// floor(g x cp / 2^127), with the lowest bit set when anything was dropped.
std::uint64_t round_to_odd(const Multiplier& g, std::uint64_t cp) {
    const std::uint64_t x1 = platform::multiply_high(g.low, cp);
    const platform::U128 y = platform::multiply_wide(g.high, cp);
    const std::uint64_t y0 = y.low;
    const std::uint64_t y1 = y.high;
    const std::uint64_t z = (y0 >> 1) + x1;
    const std::uint64_t vbp = y1 + (z >> 63);
    constexpr std::uint64_t kMask63 = (std::uint64_t{1} << 63) - 1;
    return vbp | (((z & kMask63) + kMask63) >> 63);
}

// The distance from z - delta/2 (about v) to z - r, in hundreds rounded
// (the upper 16 bits of `scaled`), and whether it is a whole number of
// hundreds.
struct Hundreds {
    std::uint32_t scaled;  // (r - delta/2 + 50) * 656
    bool whole;
};

Hundreds hundreds_of(std::uint32_t r, std::uint32_t delta) {
    // dist / 100 and whether it divides, exact for dist <= 1000
    const std::uint32_t scaled = (r - (delta / 2) + 50) * 656;
    return {scaled, (scaled & 0xFFFF) < 656};
}

// The answer of one digit more than s 10^(3-k): the multiple of 10^(2-k)
// nearest v, 10s + the hundreds of the distance from z - delta/2 (about v)
// to z - r, rounded. When that distance is a whole number of hundreds, v
// sits at a multiple of 10^(2-k) or halfway between two, and the true
// parity of v's scaled whole part tells which (a tie goes to even).
Decimal one_digit_more(std::uint64_t s, std::uint32_t r, std::uint32_t delta, std::uint64_t two_c,
                       const Wide& w, int beta, int k) {
    const bool approx_odd = (((r - (delta / 2) + 50) ^ 50) & 1) != 0;
    const Hundreds h = hundreds_of(r, delta);
    std::uint64_t t = s * 10 + (h.scaled >> 16);
    if (h.whole) {
        const Parity y = parity_of(two_c, w, beta);
        if (y.odd != approx_odd || ((t & 1) != 0 && y.whole)) --t;
    }
    return {t, 2 - k};
}

// The scaled upper end of the interval of v = c 2^q whose neighbours are
// equally far: the power of ten it is scaled by, 10^k; the whole part z of
// (2c + 1) 2^(q - 1) 10^k and whether that is whole; and the interval's
// width scaled alike, delta, whole part only.
struct ScaledEnd {
    int k;
    int beta;
    const Wide* w;
    std::uint64_t z;
    bool z_whole;
    std::uint32_t delta;
};

ScaledEnd scale_upper_end(std::uint64_t c, int q) {
    const int k = 2 - floor_log10_pow2(q);
    const Wide& w = kWideByExponent[q + 1075];
    const int beta = kBetaByExponent[q + 1075];  // 6 to 9
    const platform::U128 upper = upper128(((c << 1) | 1) << beta, w);
    const auto delta = static_cast<std::uint32_t>(w.high >> (63 - beta));
    return {k, beta, &w, upper.high, upper.low == 0, delta};
}

// The rare cases where the multiple of 1000 below z is an end of the
// interval: z itself (r = 0, z whole), which belongs to the interval only
// when c is even, or the lower end or just above it (r = delta), told by
// the fraction of the lower end.
// The search below when the answer has one digit more and its distance is a
// whole number of hundreds, which takes the exact test: rare, and kept out
// of the common way.
MNEMO_COLD Decimal one_digit_more_exactly(std::uint64_t c, int q) {
    const ScaledEnd e = scale_upper_end(c, q);
    const std::uint64_t s = e.z / 1000;
    const auto r = static_cast<std::uint32_t>(e.z - s * 1000);
    return one_digit_more(s, r, e.delta, c << 1, *e.w, e.beta, e.k);
}

MNEMO_COLD Decimal at_interval_end(std::uint64_t c, int q) {
    const bool even = (c & 1) == 0;
    const ScaledEnd e = scale_upper_end(c, q);
    const std::uint64_t s = e.z / 1000;
    const auto r = static_cast<std::uint32_t>(e.z - s * 1000);
    const std::uint64_t two_c = c << 1;
    if (r < e.delta) return one_digit_more(s - 1, 1000, e.delta, two_c, *e.w, e.beta, e.k);
    const Parity x = parity_of(two_c - 1, *e.w, e.beta);
    if (x.odd || (x.whole && even)) return {s, 3 - e.k};
    return one_digit_more(s, r, e.delta, two_c, *e.w, e.beta, e.k);
}

// The search for v = c 2^q whose lower and upper neighbours are equally far
// (every v but the first of a binade).
Decimal nearest_in_interval(std::uint64_t c, int q) {
    const bool even = (c & 1) == 0;  // the interval's ends belong to it
    const ScaledEnd e = scale_upper_end(c, q);
    const std::uint64_t s = e.z / 1000;
    const auto r = static_cast<std::uint32_t>(e.z - s * 1000);
    if (r == e.delta || (r == 0 && e.z_whole && !even)) [[unlikely]]
        return at_interval_end(c, q);
    // s 10^(3-k) is in the interval when r < delta. Which way it goes is as
    // good as random, so both answers are made and one is taken by a mask
    // rather than a branch.
    const bool fewer = r < e.delta;
    const Hundreds h = hundreds_of(r, e.delta);
    if (h.whole && !fewer) [[unlikely]]
        return one_digit_more_exactly(c, q);
    const std::uint64_t more = s * 10 + (h.scaled >> 16);
    const std::uint64_t take_s = std::uint64_t{0} - fewer;
    return {(s & take_s) | (more & ~take_s), 2 - e.k + fewer};
}

// The search for v = c 2^q, the first significand of a binade, whose
// lower neighbour is closer: rare, and kept out of the common way.
MNEMO_COLD Decimal first_of_binade(std::uint64_t c, int q) {
    // c is even, so the interval's ends belong to it.
    const std::uint64_t cb = c << 2;
    const std::uint64_t cbr = cb + 2;
    const std::uint64_t cbl = cb - 1;
    const int k = floor_log10_three_quarters_pow2(q);
    const int h = q + floor_log2_pow10(-k) + 2;
    const Multiplier& g = kMultipliers[k - kMinK];
    const std::uint64_t vb = round_to_odd(g, cb << h);
    const std::uint64_t vbl = round_to_odd(g, cbl << h);
    const std::uint64_t vbr = round_to_odd(g, cbr << h);

    const std::uint64_t s = vb >> 2;
    // One digit fewer: the one multiple of 10^(k+1) the interval may hold.
    const std::uint64_t sp10 = s / 10 * 10;
    const std::uint64_t tp10 = sp10 + 10;
    const bool sp10_in = vbl <= sp10 << 2;
    const bool tp10_in = tp10 << 2 <= vbr;
    if (sp10_in != tp10_in) return {sp10_in ? sp10 : tp10, k};

    // Otherwise the nearer of s and t that lies in the interval.
    const std::uint64_t t = s + 1;
    const bool s_in = vbl <= s << 2;
    const bool t_in = t << 2 <= vbr;
    if (s_in != t_in) return {s_in ? s : t, k};
    const std::int64_t cmp = static_cast<std::int64_t>(vb - ((s + t) << 1));
    return {cmp < 0 || (cmp == 0 && (s & 1) == 0) ? s : t, k};
}

}  // namespace

Decimal shortest_decimal(double positive_normal) {
    const double v = positive_normal;
    constexpr int kSignificandBits = 52;
    constexpr std::uint64_t kHidden = std::uint64_t{1} << kSignificandBits;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    const int biased = static_cast<int>(bits >> kSignificandBits);
    const std::uint64_t c = kHidden | (bits & (kHidden - 1));
    const int q = biased - 1075;

    if (c != kHidden || biased == 1) [[likely]]
        return nearest_in_interval(c, q);
    // A power of two from 1 to 2^52 is its own shortest decimal (other
    // whole numbers come out of the search above as they are).
    if (q < 0 && q > -kSignificandBits - 1) return {c >> -q, 0};
    return first_of_binade(c, q);
}

Decimal shortest_subnormal_decimal(double positive_subnormal) {
    // v = c 2^-1074 with c < 2^52, the exponent of the least normal binade:
    // its neighbours are equally far, as for every significand of that
    // binade, and the same search holds.
    return nearest_in_interval(std::bit_cast<std::uint64_t>(positive_subnormal), -1074);
}

}  // namespace mnemo::json
