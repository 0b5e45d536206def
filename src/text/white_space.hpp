// The White_Space property (PropList.txt), which separates words for the
// per-word tests and decides where demojize puts a space.
#pragma once

namespace kelrad {

constexpr bool is_white_space(char32_t cp) noexcept {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

}  // namespace kelrad
