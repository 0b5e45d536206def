#include <cstring>

#include "testing.hpp"

int main(int argc, char** argv) {
    const char* filter = argc > 1 ? argv[1] : "";
    if (std::strcmp(filter, "--list") == 0) {
        for (const auto& c : testing::registry()) std::cout << c.name << "\n";
        return 0;
    }
    int ran = 0;
    for (const auto& c : testing::registry()) {
        if (filter[0] == '=' ? std::strcmp(c.name, filter + 1) != 0 : !std::strstr(c.name, filter)) continue;
        int before = testing::failures();
        try {
            c.body();
        } catch (const std::exception& e) {
            ++testing::failures();
            std::cerr << c.name << ": unexpected exception: " << e.what() << "\n";
        }
        std::cout << (testing::failures() == before ? "ok   " : "FAIL ") << c.name << "\n";
        ++ran;
    }
    std::cout << ran << " native tests, " << testing::failures() << " failed checks\n";
    if (ran == 0) return 2;
    return testing::failures() == 0 ? 0 : 1;
}
