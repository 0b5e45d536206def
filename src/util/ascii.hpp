// ASCII character tests and ASCII case-insensitive comparison, for names,
// labels and the ASCII fast paths. A code point outside ASCII is neither a
// letter nor a digit here.
#pragma once

#include <algorithm>
#include <string_view>

namespace kelrad::ascii {

constexpr bool is_upper(char32_t c) noexcept { return c - U'A' < 26; }
constexpr bool is_letter(char32_t c) noexcept { return ((c | 0x20) - U'a') < 26; }
constexpr bool is_digit(char32_t c) noexcept { return c - U'0' < 10; }

constexpr char to_lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

constexpr bool equal_ignoring_case(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() &&
           std::ranges::equal(a, b, [](char x, char y) { return to_lower(x) == to_lower(y); });
}

}  // namespace kelrad::ascii
