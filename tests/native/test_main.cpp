// Runs the native test cases: every group, or one (`--group GROUP`), and
// prints one line of counts.
#include <string_view>

#include "check.hpp"

int main(int argc, char** argv) {
    std::string_view group;
    if (argc == 3 && std::string_view(argv[1]) == "--group") {
        group = argv[2];
    } else if (argc != 1) {
        std::cerr << "usage: native_tests [--group GROUP]\n";
        return 2;
    }
    int cases = 0;
    for (const check::Case& c : check::registry()) {
        if (!group.empty() && c.group != group) continue;
        ++cases;
        c.body();
    }
    // A group with no cases is a misspelt name, not a pass.
    if (cases == 0) {
        std::cerr << "no native test cases in group " << group << "\n";
        return 2;
    }
    std::cout << (group.empty() ? "all groups" : group) << ": " << cases << " native test cases, "
              << check::failures() << " failed checks\n";
    return check::failures() == 0 ? 0 : 1;
}
