#include "scoring/retention.hpp"

namespace mnemo::scoring::retention_detail {

namespace {

// The compiler must not fill the table with constants of its own rounding:
// the argument is read through a volatile, so that every entry comes from
// the C library's log when the module is loaded, as a call at run time
// would.
std::array<double, kCachedCounts> fill_log_table() {
    std::array<double, kCachedCounts> t{};
    for (int i = 0; i < kCachedCounts; ++i) {
        volatile double sum = i + 1.0;
        t[i] = std::log(sum);
    }
    return t;
}

}  // namespace

const std::array<double, kCachedCounts> kLogOfCountPlusOne = fill_log_table();

}  // namespace mnemo::scoring::retention_detail
