// A minimal test harness for the native tests.
//
//     TEST(error_messages) { CHECK_EQ(render(x), "..."); }
//
// The program runs every test whose name contains its first argument (or, with
// "=name", the one test of that name; "--list" lists them), reports
// every failed check (not only the first) and exits non-zero if any failed.
// pytest runs it (tests/test_native.py).
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "util/utf8.hpp"

namespace testing {

struct Case {
    const char* name;
    std::function<void()> body;
};

inline std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

inline int& failures() {
    static int n = 0;
    return n;
}

struct Register {
    Register(const char* name, std::function<void()> body) { registry().push_back({name, std::move(body)}); }
};

// `which` names the table row being checked, if any.
template <class A, class B>
void check_eq(const A& a, const B& b, const char* expr_a, const char* expr_b, const char* file, int line,
              std::string_view which = {}) {
    if (!(a == b)) {
        ++failures();
        std::ostringstream os;
        os << file << ":" << line << ": CHECK_EQ(" << expr_a << ", " << expr_b << ")";
        if (!which.empty()) os << " for " << which;
        os << "\n    left:  " << a << "\n    right: " << b << "\n";
        std::cerr << os.str();
    }
}

inline void check(bool ok, const char* expr, const char* file, int line, std::string_view which = {}) {
    if (!ok) {
        ++failures();
        std::cerr << file << ":" << line << ": CHECK(" << expr << ")" << (which.empty() ? "" : " for ") << which
                  << "\n";
    }
}

// The UTF-8 form of code points: u8(U"e\u0301").
inline std::string u8(std::u32string_view cps) {
    std::string s;
    for (char32_t cp : cps) kelrad::utf8::append(s, cp);
    return s;
}

// One random insertion, deletion or substitution of `c` in `cps`.
template <class Rng>
void random_edit(Rng& rng, std::u32string& cps, char32_t c) {
    const std::size_t at = rng() % (cps.size() + 1);
    switch (rng() % 3) {
        case 0: cps.insert(cps.begin() + static_cast<std::ptrdiff_t>(at), c); break;
        case 1:
            if (at < cps.size()) cps.erase(cps.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        default:
            if (at < cps.size()) cps[at] = c;
            break;
    }
}

// "U+00E9", so that a failed check names the code point.
inline std::string cp_name(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

// "U+0065 U+0301 ": the code points of a UTF-8 text, for failure reports.
inline std::string cp_names(std::string_view text) {
    std::string out;
    for (auto [cp, len] : kelrad::utf8::chars(text)) out += cp_name(cp) + ' ';
    return out;
}

}  // namespace testing

#define TEST_CONCAT2(a, b) a##b
#define TEST_CONCAT(a, b) TEST_CONCAT2(a, b)
#define TEST(name)                                                                        \
    static void test_##name();                                                            \
    static ::testing::Register TEST_CONCAT(register_, name)(#name, test_##name);          \
    static void test_##name()
#define CHECK_EQ(a, b) ::testing::check_eq((a), (b), #a, #b, __FILE__, __LINE__)
#define CHECK(cond) ::testing::check(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
// The same for one row of a table, named by `which` when the check fails.
#define CHECK_EQ_FOR(which, a, b) ::testing::check_eq((a), (b), #a, #b, __FILE__, __LINE__, (which))
#define CHECK_FOR(which, cond) ::testing::check(static_cast<bool>(cond), #cond, __FILE__, __LINE__, (which))
