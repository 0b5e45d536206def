// Sorted code-point range tables, the representation most generated tables use.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelrad {

// An inclusive range of code points.
struct CodepointRange {
    char32_t first;
    char32_t last;
};

// Binary search over sorted, disjoint ranges.
inline bool in_ranges(std::span<const CodepointRange> ranges, char32_t cp) noexcept {
    auto it = std::upper_bound(ranges.begin(), ranges.end(), cp,
                               [](char32_t c, const CodepointRange& r) { return c < r.first; });
    return it != ranges.begin() && cp <= (it - 1)->last;
}

// A range carrying a small value (a script number, a width, a class).
template <class V>
struct ValuedRange {
    char32_t first;
    char32_t last;
    V value;
};

// The value of the range holding cp, or `fallback`.
template <class V>
V range_value(std::span<const ValuedRange<V>> ranges, char32_t cp, V fallback) noexcept {
    auto it = std::upper_bound(ranges.begin(), ranges.end(), cp,
                               [](char32_t c, const ValuedRange<V>& r) { return c < r.first; });
    if (it != ranges.begin() && cp <= (it - 1)->last) return (it - 1)->value;
    return fallback;
}

}  // namespace kelrad
