// Shortest decimal of a normal double by exact interval arithmetic on a
// scaled significand (the Schubfach method of R. Giulietti).
//
// The double is v = c 2^q. Its rounding interval reaches halfway to each
// neighbour; the interval's ends belong to it when c is even (reading rounds
// ties to even). Everything is scaled by 4 so that the ends are integers:
// cb = 4c, cbl = cb - 2 (cb - 1 when c is the smallest significand of its
// binade, whose lower neighbour is closer), cbr = cb + 2.
//
// With k = floor(log10 2^q), the interval is narrower than 10^(k+1), so it
// holds at most one multiple of 10^(k+1), and wider than 10^k, so the
// multiples of 10^k around v, s = floor(v / 10^k) and t = s + 1, are the
// nearest candidates of one digit more. Multiplying by a 126-bit
// over-approximation g of 10^-k and rounding to odd keeps every comparison
// of the scaled values with those candidates exact.
#include "json/shortest_decimal.hpp"

#include <bit>
#include <cstring>

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

// floor(g x cp / 2^127), with the lowest bit set when anything was dropped.
std::uint64_t round_to_odd(const Multiplier& g, std::uint64_t cp) {
    using u128 = unsigned __int128;
    const std::uint64_t x1 = static_cast<std::uint64_t>((static_cast<u128>(g.low) * cp) >> 64);
    const u128 y = static_cast<u128>(g.high) * cp;
    const std::uint64_t y0 = static_cast<std::uint64_t>(y);
    const std::uint64_t y1 = static_cast<std::uint64_t>(y >> 64);
    const std::uint64_t z = (y0 >> 1) + x1;
    const std::uint64_t vbp = y1 + (z >> 63);
    constexpr std::uint64_t kMask63 = (std::uint64_t{1} << 63) - 1;
    return vbp | (((z & kMask63) + kMask63) >> 63);
}

}  // namespace

int floor_log10_pow2(int q) {
    return static_cast<int>((static_cast<std::int64_t>(q) * 661971961083) >> 41);
}

int floor_log10_three_quarters_pow2(int q) {
    return static_cast<int>((static_cast<std::int64_t>(q) * 661971961083 - 274743187321) >> 41);
}

int floor_log2_pow10(int e) {
    return static_cast<int>((static_cast<std::int64_t>(e) * 913124641741) >> 38);
}

Decimal shortest_decimal(double positive_normal) {
    const double v = positive_normal;
    constexpr int kSignificandBits = 52;
    constexpr std::uint64_t kHidden = std::uint64_t{1} << kSignificandBits;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    const int biased = static_cast<int>(bits >> kSignificandBits);
    const std::uint64_t c = kHidden | (bits & (kHidden - 1));
    const int q = biased - 1075;

    // An integer below 2^53 is its own shortest decimal.
    if (q < 0 && q > -kSignificandBits - 1) {
        const std::uint64_t f = c >> -q;
        if (f << -q == c) return {f, 0};
    }

    const std::uint64_t out = c & 1;  // odd: the interval's ends are not in it
    const std::uint64_t cb = c << 2;
    const std::uint64_t cbr = cb + 2;
    std::uint64_t cbl;
    int k;
    if (c != kHidden || biased == 1) {
        cbl = cb - 2;
        k = floor_log10_pow2(q);
    } else {
        cbl = cb - 1;
        k = floor_log10_three_quarters_pow2(q);
    }
    const int h = q + floor_log2_pow10(-k) + 2;
    const Multiplier& g = kMultipliers[k - kMinK];
    const std::uint64_t vb = round_to_odd(g, cb << h);
    const std::uint64_t vbl = round_to_odd(g, cbl << h);
    const std::uint64_t vbr = round_to_odd(g, cbr << h);

    const std::uint64_t s = vb >> 2;
    // One digit fewer: the one multiple of 10^(k+1) the interval may hold.
    const std::uint64_t sp10 = s / 10 * 10;
    const std::uint64_t tp10 = sp10 + 10;
    const bool sp10_in = vbl + out <= sp10 << 2;
    const bool tp10_in = (tp10 << 2) + out <= vbr;
    if (sp10_in != tp10_in) return {sp10_in ? sp10 : tp10, k};

    // Otherwise the nearer of s and t that lies in the interval.
    const std::uint64_t t = s + 1;
    const bool s_in = vbl + out <= s << 2;
    const bool t_in = (t << 2) + out <= vbr;
    if (s_in != t_in) return {s_in ? s : t, k};
    const std::int64_t cmp = static_cast<std::int64_t>(vb - ((s + t) << 1));
    return {cmp < 0 || (cmp == 0 && (s & 1) == 0) ? s : t, k};
}

}  // namespace mnemo::json
