// A minimal table-friendly test harness for the C++ core.
#pragma once

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace check {

struct Case {
    const char* name;
    void (*body)();
};

inline std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Register {
    Register(const char* name, void (*body)()) { registry().push_back({name, body}); }
};

inline void fail(const char* file, int line, const std::string& what) {
    ++failures();
    std::cerr << file << ":" << line << ": " << what << "\n";
}

}  // namespace check

#define TEST_CASE(name)                                  \
    static void name();                                  \
    static check::Register register_##name(#name, name); \
    static void name()

#define CHECK(cond)                                                       \
    do {                                                                  \
        if (!(cond)) check::fail(__FILE__, __LINE__, "CHECK(" #cond ")"); \
    } while (0)

#define CHECK_EQ(actual, expected)                                                  \
    do {                                                                            \
        const auto& a_ = (actual);                                                  \
        const auto& e_ = (expected);                                                \
        if (!(a_ == e_))                                                            \
            check::fail(__FILE__, __LINE__,                                         \
                        std::string(#actual) + "\n  got:      " + std::string(a_) + \
                            "\n  expected: " + std::string(e_));                    \
    } while (0)
