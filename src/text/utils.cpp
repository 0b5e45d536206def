#include "text/utils.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "text/case_fold.hpp"
#include "util/utf8.hpp"

namespace kelrad::utils {

std::uint64_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<char32_t> bs;
    bs.reserve(b.size());
    for (auto [cp, len] : utf8::chars(b)) bs.push_back(cp);
    const std::size_t n = bs.size();

    std::vector<std::uint64_t> prev(n + 1), cur(n + 1);
    for (std::size_t j = 0; j <= n; ++j) prev[j] = j;
    std::uint64_t i = 0;
    for (auto [x, len] : utf8::chars(a)) {
        cur[0] = ++i;
        for (std::size_t j = 1; j <= n; ++j) {
            std::uint64_t substitute = prev[j - 1] + (x == bs[j - 1] ? 0 : 1);
            cur[j] = std::min({substitute, cur[j - 1] + 1, prev[j] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[n];
}

namespace {

// Room for n elements: in place up to kInline, on the heap beyond, so that
// short words cost no allocation.
template <class T>
class Scratch {
public:
    static constexpr std::size_t kInline = 64;

    explicit Scratch(std::size_t n) {
        if (n > kInline) heap_.resize(n);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    T* data() noexcept { return heap_.empty() ? inline_ : heap_.data(); }

private:
    T inline_[kInline];
    std::vector<T> heap_;
};

// The banded computation over two code-point sequences, a no longer than b,
// b not empty, n - m <= k <= n.
//
// A path through the cell (i, j) on diagonal t = j - i costs at least
// |t| + |delta - t| (it must leave diagonal 0 and reach diagonal delta =
// n - m), so only the diagonals -slack .. delta + slack with slack =
// (k - delta) / 2 can carry a path of cost k or less: k + 1 of them at most.
// One array holds a row of the band, indexed by d = t + slack; cell d of row
// i needs cell d of row i - 1 (diagonal move), cell d + 1 of row i - 1 (from
// above) and cell d - 1 of row i (from the left), so the row is rewritten in
// place from left to right. Counters stop at k + 1, "out of reach".
template <class Char>
std::optional<std::uint64_t> banded_distance(std::basic_string_view<Char> a, std::basic_string_view<Char> b,
                                             std::size_t k) {
    using Diff = std::ptrdiff_t;
    const std::size_t m = a.size(), n = b.size();
    const std::size_t delta = n - m;
    const std::size_t slack = (k - delta) / 2;
    const std::size_t width = delta + 2 * slack + 1;
    const std::size_t unreachable = k + 1;
    const Diff lo = -static_cast<Diff>(slack);  // the diagonal of cell 0

    Scratch<std::size_t> scratch(width);
    std::size_t* row = scratch.data();
    for (std::size_t d = 0; d < width; ++d) {
        Diff j = lo + static_cast<Diff>(d);
        row[d] = j < 0 ? unreachable : std::min(static_cast<std::size_t>(j), unreachable);
    }
    for (std::size_t i = 1; i <= m; ++i) {
        const Char x = a[i - 1];
        const Diff first_j = static_cast<Diff>(i) + lo;  // the column of cell 0
        // Cells with j < 0 or j > n lie outside the table; no cell inside
        // reads them.
        const std::size_t d_begin = first_j < 0 ? static_cast<std::size_t>(-first_j) : 0;
        const std::size_t d_end = std::min(width - 1, n - i + slack);
        std::size_t left = unreachable;
        std::size_t reach = unreachable;  // the least cost any path through this row can still end with
        for (std::size_t d = d_begin; d <= d_end; ++d) {
            const std::size_t j = static_cast<std::size_t>(first_j + static_cast<Diff>(d));
            std::size_t v;
            if (j == 0) {
                v = std::min(i, unreachable);
            } else {
                std::size_t up = d + 1 < width ? row[d + 1] : unreachable;
                v = std::min({row[d] + (x == b[j - 1] ? 0 : 1), up + 1, left + 1, unreachable});
            }
            row[d] = v;
            left = v;
            const Diff t = lo + static_cast<Diff>(d);
            const Diff to_end = static_cast<Diff>(delta) - t;
            reach = std::min(reach, v + static_cast<std::size_t>(to_end < 0 ? -to_end : to_end));
        }
        if (reach > k) return std::nullopt;
    }
    std::size_t distance = row[delta + slack];
    if (distance > k) return std::nullopt;
    return distance;
}

template <class Char>
std::optional<std::uint64_t> bounded_distance(std::basic_string_view<Char> a, std::basic_string_view<Char> b,
                                              std::uint64_t bound) {
    if (a.size() > b.size()) std::swap(a, b);
    const std::size_t delta = b.size() - a.size();
    if (delta > bound) return std::nullopt;
    if (a.empty()) return delta;
    // No distance exceeds the longer length.
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(bound, b.size()));
    return banded_distance(a, b, k);
}

// Whether more than `bound` characters of `a` occur nowhere in `b`: each of
// them needs an edit of its own, so the distance then exceeds the bound. The
// characters of `b` are hashed into 64 bits; a collision can only hide a
// missing character, never invent one.
bool misses_more_than(std::string_view a, std::string_view b, std::size_t bound) noexcept {
    std::uint64_t present = 0;
    for (char c : b) present |= std::uint64_t{1} << (static_cast<unsigned char>(c) & 63);
    std::size_t missing = 0;
    for (char c : a) missing += !((present >> (static_cast<unsigned char>(c) & 63)) & 1);
    return missing > bound;
}

// The code points of a UTF-8 text, in `out` (room for text.size() of them).
std::u32string_view decode_into(std::string_view text, char32_t* out) {
    std::size_t n = 0;
    for (auto [cp, len] : utf8::chars(text)) out[n++] = cp;
    return {out, n};
}

// Kept out of line: its buffers would otherwise weigh on every ASCII call.
[[gnu::noinline]] std::optional<std::uint64_t> decoded_distance(std::string_view a, std::string_view b,
                                                                std::uint64_t bound) {
    Scratch<char32_t> wide_a(a.size()), wide_b(b.size());
    return bounded_distance(decode_into(a, wide_a.data()), decode_into(b, wide_b.data()), bound);
}

}  // namespace

std::optional<std::uint64_t> edit_distance_within(std::string_view a, std::string_view b, std::uint64_t bound) {
    // A common prefix and suffix never change the distance. Equal bytes
    // before a position mean the same character boundaries in both texts, so
    // backing off to a boundary of `a` lands on one of `b` too.
    std::size_t prefix = static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first -
                                                  a.begin());
    while (!utf8::is_boundary(a, prefix)) --prefix;
    a.remove_prefix(prefix);
    b.remove_prefix(prefix);
    std::size_t suffix = static_cast<std::size_t>(
        std::mismatch(a.rbegin(), a.rend(), b.rbegin(), b.rend()).first - a.rbegin());
    while (suffix > 0 && !utf8::is_boundary(a, a.size() - suffix)) --suffix;
    a.remove_suffix(suffix);
    b.remove_suffix(suffix);

    if (utf8::is_ascii(a) && utf8::is_ascii(b)) {
        // A cheap refusal of unrelated words before the table, where the
        // bound is smaller than the texts.
        if (bound < std::max(a.size(), b.size()) && (misses_more_than(a, b, bound) || misses_more_than(b, a, bound))) {
            return std::nullopt;
        }
        return bounded_distance(a, b, bound);
    }
    return decoded_distance(a, b, bound);
}

std::optional<std::string_view> closest_candidate(std::string_view value,
                                                  std::span<const std::string_view> candidates) {
    constexpr std::uint64_t kMaxDistance = 2;
    std::string lowered_value, lowered;
    case_fold::to_lowercase_into(value, lowered_value);
    std::optional<std::string_view> best;
    std::uint64_t best_distance = kMaxDistance + 1;
    for (std::string_view candidate : candidates) {
        case_fold::to_lowercase_into(candidate, lowered);
        std::optional<std::uint64_t> d = edit_distance_within(lowered_value, lowered, best_distance - 1);
        if (d && *d != 0) {
            best = candidate;
            best_distance = *d;
        }
    }
    if (!best || 2 * best_distance > std::max(utf8::char_count(value), utf8::char_count(*best))) return std::nullopt;
    return best;
}

}  // namespace kelrad::utils
