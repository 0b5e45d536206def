// Sorted code-point range tables, the representation most generated tables use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelrad {

// An inclusive range of code points.
struct CodepointRange {
    char32_t first;
    char32_t last;
};

// A range carrying a small value (a script number, a width, a class).
template <class V>
struct ValuedRange {
    char32_t first;
    char32_t last;
    V value;
};

// The last of `rows` (not empty, sorted by `first`) whose first code point
// is at or below cp, or the first row when there is none. A branch-free
// search: the number of steps depends only on the size (a constant for a
// table of fixed size, so the loop unrolls), and each step is a conditional
// move instead of a mispredicted branch.
template <class Row, std::size_t N>
const Row* last_row_at_or_below(std::span<const Row, N> rows, char32_t cp) noexcept {
    const Row* base = rows.data();
    for (std::size_t n = rows.size(); n > 1;) {
        std::size_t half = n / 2;
        base = base[half].first <= cp ? base + half : base;
        n -= half;
    }
    return base;
}

// The row of sorted, disjoint `rows` whose range holds cp, or nullptr.
template <class Row, std::size_t N>
const Row* find_range(std::span<const Row, N> rows, char32_t cp) noexcept {
    if (rows.empty()) return nullptr;
    const Row* base = last_row_at_or_below(rows, cp);
    return base->first <= cp && cp <= base->last ? base : nullptr;
}

template <class Row, std::size_t N>
const Row* find_range(const Row (&rows)[N], char32_t cp) noexcept {
    return find_range(std::span<const Row, N>(rows), cp);
}

inline bool in_ranges(std::span<const CodepointRange> ranges, char32_t cp) noexcept {
    return find_range(ranges, cp) != nullptr;
}

template <std::size_t N>
bool in_ranges(const CodepointRange (&ranges)[N], char32_t cp) noexcept {
    return find_range(ranges, cp) != nullptr;
}

// The value of the range holding cp, or `fallback`.
template <class V, std::size_t N>
V range_value(const ValuedRange<V> (&ranges)[N], char32_t cp, V fallback) noexcept {
    const ValuedRange<V>* row = find_range(ranges, cp);
    return row != nullptr ? row->value : fallback;
}

}  // namespace kelrad
