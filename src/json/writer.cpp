#include "json/writer.hpp"

#include <array>

#include "json/number_text.hpp"

namespace mnemo::json {

void write_double(double d, ByteBuffer& out) {
    out.reserve_more(kDoubleTextRoom);
    out.commit(static_cast<std::size_t>(write_double(d, out.tail()) - out.tail()));
}

char* write_double(double d, char* w) { return w + write_double_digits(double_digits(d), d, w); }

}  // namespace mnemo::json
