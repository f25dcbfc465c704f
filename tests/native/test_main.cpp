#include "check.hpp"

int main() {
    for (const check::Case& c : check::registry()) c.body();
    std::cout << check::registry().size() << " native test cases, " << check::failures()
              << " failed checks\n";
    return check::failures() == 0 ? 0 : 1;
}
