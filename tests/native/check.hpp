// A minimal table-friendly test harness for the C++ core. The cases of
// tests/native/test_GROUP.cpp form the group GROUP, which native_tests runs
// alone with `--group GROUP` (one CTest test per group).
#pragma once

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace check {

struct Case {
    std::string_view group;
    const char* name;
    void (*body)();
};

// "dir/test_json_text.cpp" -> "json_text", whatever the path's separators.
constexpr std::string_view group_of(std::string_view file) {
    file.remove_prefix(file.find_last_of("/\\") + 1);  // npos + 1 == 0
    if (file.starts_with("test_")) file.remove_prefix(5);
    return file.substr(0, file.find('.'));
}

inline std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Register {
    Register(std::string_view group, const char* name, void (*body)()) {
        registry().push_back({group, name, body});
    }
};

inline void fail(const char* file, int line, const std::string& what) {
    ++failures();
    std::cerr << file << ":" << line << ": " << what << "\n";
}

}  // namespace check

#define TEST_CASE(name)                                                             \
    static void name();                                                             \
    static check::Register register_##name(check::group_of(__FILE__), #name, name); \
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
