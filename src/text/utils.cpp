#include "text/utils.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstddef>
#include <limits>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "text/case_fold.hpp"
#include "util/utf8.hpp"

namespace kelrad::utils {

namespace {

// Room for n elements: in place up to N, on the heap beyond, so that short
// words cost no allocation.
template <class T, std::size_t N = 64>
class Scratch {
public:
    explicit Scratch(std::size_t n) {
        if (n > N) heap_.resize(n);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    T* data() noexcept { return heap_.empty() ? inline_ : heap_.data(); }

private:
    T inline_[N];
    std::vector<T> heap_;
};

// A common prefix and suffix never change the distance. Equal bytes before a
// position mean the same character boundaries in both texts, so backing off
// to a boundary of `a` lands on one of `b` too.
void trim_common_affixes(std::string_view& a, std::string_view& b) noexcept {
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
}

// ---------------------------------------------------------------------------
// The full distance, bit-parallel (Myers 1999, in Hyyrö's formulation).
//
// The pattern (the shorter text) runs down the rows of the dynamic-programming
// table and the other text along its columns. A column is held as vertical
// deltas D[i][j] - D[i-1][j] in {-1, 0, +1}, one bit each in two words per 64
// rows (vp: +1, vn: -1), and one text character advances a block of 64 rows
// with a dozen word operations. Between blocks, the horizontal delta
// D[r][j] - D[r][j-1] at the boundary row r is carried from the block above
// to the block below.
//
// Characters become symbols first: an ASCII character is its own code, the
// other characters of the pattern are numbered from 128, and a text character
// absent from the pattern gets the one symbol whose masks stay empty. The mask
// table thus holds 128 entries for ASCII plus one per other character.
// ---------------------------------------------------------------------------

constexpr std::size_t kWord = 64;

// Blocks run along the text side by side, each one column behind the block
// above it, so that their dependency chains interleave. Two chains keep a
// core's arithmetic units busy; more gain nothing measurable and need more
// registers than x86-64 has.
constexpr std::size_t kStripBlocks = 2;

// One block's column of vertical deltas; every delta is +1 before the first
// column (D[i][0] = i).
struct Block {
    std::uint64_t vp = ~std::uint64_t{0};
    std::uint64_t vn = 0;
};

// Advances a block by one text column whose match mask is `eq`. On entry hp
// and hn hold the horizontal delta entering the block's top row (one bit
// each); on exit, the delta leaving its row `out_row`.
[[gnu::always_inline]] inline void advance(Block& b, std::uint64_t eq, std::uint64_t& hp, std::uint64_t& hn,
                                           unsigned out_row) noexcept {
    const std::uint64_t xv = eq | b.vn;
    eq |= hn;
    const std::uint64_t xh = (((eq & b.vp) + b.vp) ^ b.vp) | eq;
    std::uint64_t ph = b.vn | ~(xh | b.vp);
    std::uint64_t mh = b.vp & xh;
    const std::uint64_t hp_out = (ph >> out_row) & 1, hn_out = (mh >> out_row) & 1;
    ph = (ph << 1) | hp;
    mh = (mh << 1) | hn;
    b.vp = mh | ~(xv | ph);
    b.vn = ph & xv;
    hp = hp_out;
    hn = hn_out;
}

// Horizontal deltas at a strip boundary, one byte per column: bit 0 for +1,
// bit 1 for -1.
constexpr std::uint8_t kCarryPlus = 1, kCarryMinus = 2;

// Runs `Blocks` consecutive blocks along the whole text. Block w handles
// column j - w while block 0 handles column j, so it finds the delta block
// w - 1 left at that column one iteration earlier. kTop: the strip starts at
// row 0, where every entering delta is +1; otherwise they come from `carry`.
// kBottom: the strip ends at the pattern's last row (`last_row` in its last
// block), and the sum of the deltas leaving it is returned; otherwise they
// go to `carry`. `peq` holds kStripBlocks masks per symbol.
template <std::size_t Blocks, bool kTop, bool kBottom, class Symbol>
std::int64_t run_strip(const std::uint64_t* peq, std::span<const Symbol> text, std::uint8_t* carry,
                       unsigned last_row) noexcept {
    const std::size_t n = text.size();
    Block block[Blocks];
    std::uint64_t hp[Blocks] = {}, hn[Blocks] = {};  // what block w handed down at its last column
    std::int64_t sum = 0;

    auto step = [&]<std::size_t w>(std::size_t column) __attribute__((always_inline)) {
        std::uint64_t p, m;
        if constexpr (w > 0) {
            p = hp[w - 1];
            m = hn[w - 1];
        } else if constexpr (kTop) {
            p = 1;
            m = 0;
        } else {
            p = carry[column] & kCarryPlus;
            m = (carry[column] & kCarryMinus) >> 1;
        }
        constexpr bool last = w + 1 == Blocks;
        advance(block[w], peq[static_cast<std::size_t>(text[column]) * kStripBlocks + w], p, m,
                last && kBottom ? last_row : kWord - 1);
        hp[w] = p;
        hn[w] = m;
        if constexpr (last && kBottom) {
            sum += static_cast<std::int64_t>(p) - static_cast<std::int64_t>(m);
        } else if constexpr (last) {
            carry[column] = static_cast<std::uint8_t>(p * kCarryPlus | m * kCarryMinus);
        }
    };
    // Iteration j: blocks from the last to the first, so that each reads what
    // the block above left in the previous iteration before it is replaced.
    auto guarded = [&]<std::size_t... w>(std::size_t j, std::index_sequence<w...>) __attribute__((always_inline)) {
        ((j >= Blocks - 1 - w && j - (Blocks - 1 - w) < n ? step.template operator()<Blocks - 1 - w>(
                                                                  j - (Blocks - 1 - w))
                                                            : void()),
         ...);
    };
    auto full = [&]<std::size_t... w>(std::size_t j, std::index_sequence<w...>) __attribute__((always_inline)) {
        (step.template operator()<Blocks - 1 - w>(j - (Blocks - 1 - w)), ...);
    };
    constexpr auto blocks = std::make_index_sequence<Blocks>{};
    const std::size_t steady_begin = std::min(Blocks - 1, n), steady_end = n;
    for (std::size_t j = 0; j < steady_begin; ++j) guarded(j, blocks);
    for (std::size_t j = steady_begin; j < steady_end; ++j) full(j, blocks);
    for (std::size_t j = std::max(steady_begin, steady_end); j < n + Blocks - 1; ++j) guarded(j, blocks);
    return sum;
}

template <bool kTop, bool kBottom, class Symbol>
std::int64_t run_strip_of(std::size_t blocks, const std::uint64_t* peq, std::span<const Symbol> text,
                          std::uint8_t* carry, unsigned last_row) noexcept {
    return [&]<std::size_t... b>(std::index_sequence<b...>) {
        std::int64_t sum = 0;
        ((blocks == b + 1 ? (sum = run_strip<b + 1, kTop, kBottom>(peq, text, carry, last_row), 0) : 0), ...);
        return sum;
    }(std::make_index_sequence<kStripBlocks>{});
}

// The distance between a pattern of m >= 1 symbols and a text of n >= 1
// symbols below `alphabet`, in ceil(m / 64) * n block steps and O(m + n +
// alphabet) memory: strip after strip down the pattern, each over the whole
// text, with one byte per column carried between strips.
template <class Symbol>
std::uint64_t bit_parallel_distance(std::span<const Symbol> pattern, std::span<const Symbol> text,
                                    std::size_t alphabet) {
    const std::size_t m = pattern.size();
    const std::size_t strip_rows = kWord * kStripBlocks;
    const std::size_t strips = (m + strip_rows - 1) / strip_rows;
    const auto last_row = static_cast<unsigned>((m - 1) % kWord);

    // In place for every pattern of one block.
    Scratch<std::uint64_t, kStripBlocks * (0x80 + kWord + 1)> table(alphabet * kStripBlocks);
    std::uint64_t* peq = table.data();
    std::fill_n(peq, alphabet * kStripBlocks, 0);
    auto mark_rows = [&](std::size_t begin, std::size_t end, bool set) {
        for (std::size_t r = begin; r < end; ++r) {
            std::uint64_t& word = peq[static_cast<std::size_t>(pattern[r]) * kStripBlocks + (r - begin) / kWord];
            word = set ? word | (std::uint64_t{1} << ((r - begin) % kWord)) : 0;
        }
    };
    auto blocks_of = [&](std::size_t begin, std::size_t end) { return (end - begin + kWord - 1) / kWord; };

    if (strips == 1) {
        mark_rows(0, m, true);
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(m) +
                                          run_strip_of<true, true>(blocks_of(0, m), peq, text, nullptr, last_row));
    }
    std::vector<std::uint8_t> carry(text.size());
    for (std::size_t s = 0; s + 1 < strips; ++s) {
        const std::size_t begin = s * strip_rows, end = begin + strip_rows;
        mark_rows(begin, end, true);
        if (s == 0) {
            run_strip<kStripBlocks, true, false>(peq, text, carry.data(), 0);
        } else {
            run_strip<kStripBlocks, false, false>(peq, text, carry.data(), 0);
        }
        mark_rows(begin, end, false);
    }
    const std::size_t begin = (strips - 1) * strip_rows;
    mark_rows(begin, m, true);
    return static_cast<std::uint64_t>(
        static_cast<std::int64_t>(m) +
        run_strip_of<false, true>(blocks_of(begin, m), peq, text, carry.data(), last_row));
}

// The multiplier of SymbolMap's hash: odd, drawn once per process.
// Multiply-shift hashing with a multiplier the caller cannot know is
// universal (Dietzfelbinger et al. 1997), so no choice of characters crowds
// a pattern's symbols into a few slots and turns each lookup into a walk.
std::uint64_t symbol_hash_multiplier() noexcept {
    static const std::uint64_t multiplier = [] {
        std::uint64_t m = 0;
        try {
            std::random_device device;
            m = std::uint64_t{device()} << 32 ^ device();
        } catch (...) {  // no entropy source: the clock still varies per process
            m = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
                0x9E3779B97F4A7C15u;
        }
        return m | 1;
    }();
    return multiplier;
}

// Numbers the characters of a pattern that are not ASCII from 128 upwards,
// in an open-addressing table at most half full.
class SymbolMap {
public:
    explicit SymbolMap(std::size_t most_keys)
        : capacity_(std::bit_ceil(std::max<std::size_t>(2 * most_keys, 16))),
          shift_(64 - static_cast<unsigned>(std::countr_zero(capacity_))),
          multiplier_(symbol_hash_multiplier()),
          slots_(capacity_) {
        std::fill_n(slots_.data(), capacity_, Slot{});
    }

    std::uint32_t add(char32_t cp) noexcept {
        if (cp < 0x80) return cp;
        Slot* slot = find_slot(cp);
        if (slot->cp == 0) *slot = {cp, static_cast<std::uint32_t>(0x80 + size_++)};
        return slot->symbol;
    }

    // The symbol of `cp`, or absent() when the pattern does not hold it.
    std::uint32_t find(char32_t cp) noexcept {
        if (cp < 0x80) return cp;
        const Slot* slot = find_slot(cp);
        return slot->cp == 0 ? absent() : slot->symbol;
    }

    std::uint32_t absent() const noexcept { return static_cast<std::uint32_t>(0x80 + size_); }

private:
    struct Slot {
        char32_t cp = 0;  // 0: empty, never a character stored here
        std::uint32_t symbol = 0;
    };

    Slot* find_slot(char32_t cp) noexcept {
        const std::size_t mask = capacity_ - 1;
        auto i = static_cast<std::size_t>(std::uint64_t{cp} * multiplier_ >> shift_);
        Slot* slots = slots_.data();
        while (slots[i].cp != 0 && slots[i].cp != cp) i = (i + 1) & mask;
        return &slots[i];
    }

    std::size_t capacity_;
    unsigned shift_;  // the top log2(capacity_) bits of the product are the slot
    std::uint64_t multiplier_;
    std::size_t size_ = 0;
    Scratch<Slot, 128> slots_;
};

// Kept out of line: its buffers would otherwise weigh on every ASCII call.
[[gnu::noinline]] std::uint64_t decoded_full_distance(std::string_view pattern, std::size_t m, std::string_view text,
                                                      std::size_t n) {
    SymbolMap symbols(m);
    Scratch<std::uint32_t> pattern_symbols(m), text_symbols(n);
    std::uint32_t* p = pattern_symbols.data();
    for (auto [cp, len] : utf8::chars(pattern)) *p++ = symbols.add(cp);
    std::uint32_t* t = text_symbols.data();
    for (auto [cp, len] : utf8::chars(text)) *t++ = symbols.find(cp);
    return bit_parallel_distance(std::span<const std::uint32_t>(pattern_symbols.data(), m),
                                 std::span<const std::uint32_t>(text_symbols.data(), n), symbols.absent() + 1);
}

std::span<const unsigned char> bytes(std::string_view s) noexcept {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

// The distance between texts of m and n code points once their common
// affixes are gone; `ascii` when both texts are.
std::uint64_t trimmed_distance(std::string_view a, std::size_t m, std::string_view b, std::size_t n, bool ascii) {
    if (m > n) {
        std::swap(a, b);
        std::swap(m, n);
    }
    if (m == 0) return n;
    if (ascii) return bit_parallel_distance(bytes(a), bytes(b), 0x80);
    return decoded_full_distance(a, m, b, n);
}

std::uint64_t saturating_product(std::uint64_t x, std::uint64_t y) noexcept {
    std::uint64_t product;
    return __builtin_mul_overflow(x, y, &product) ? std::numeric_limits<std::uint64_t>::max() : product;
}

// The bit-parallel distance pays off over the banded one when the band holds
// more than this many cells per block step (measured on ASCII words of 8 to
// 300 characters with bounds of 1 to 32: a step costs about three cells, and
// a fixed cost of its own).
constexpr std::uint64_t kCellsPerBlockStep = 5;

std::uint64_t bit_parallel_cost(std::size_t m, std::size_t n) noexcept {
    return saturating_product(kCellsPerBlockStep * ((std::min(m, n) + kWord - 1) / kWord), std::max(m, n));
}

std::uint64_t banded_cost(std::size_t m, std::size_t n, std::uint64_t bound) noexcept {
    const std::uint64_t diagonals = std::min<std::uint64_t>(bound, std::max(m, n)) + 1;
    return saturating_product(diagonals, std::min(m, n));
}

}  // namespace

std::uint64_t edit_distance(std::string_view a, std::string_view b) {
    trim_common_affixes(a, b);
    const bool ascii = utf8::is_ascii(a) && utf8::is_ascii(b);
    return trimmed_distance(a, ascii ? a.size() : utf8::char_count(a), b, ascii ? b.size() : utf8::char_count(b),
                            ascii);
}

std::uint64_t distance_cost(std::size_t m, std::size_t n, std::uint64_t bound) noexcept {
    const std::size_t gap = m > n ? m - n : n - m;
    if (gap > bound) return 1;
    return std::min(banded_cost(m, n, bound), bit_parallel_cost(m, n));
}

namespace {

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
    trim_common_affixes(a, b);
    const bool ascii = utf8::is_ascii(a) && utf8::is_ascii(b);
    // A cheap refusal of unrelated words before the table, where the bound is
    // smaller than the texts.
    if (ascii && bound < std::max(a.size(), b.size()) &&
        (misses_more_than(a, b, bound) || misses_more_than(b, a, bound))) {
        return std::nullopt;
    }
    const std::size_t m = ascii ? a.size() : utf8::char_count(a), n = ascii ? b.size() : utf8::char_count(b);
    if ((m > n ? m - n : n - m) > bound) return std::nullopt;
    // A band wide enough costs more than the whole table taken 64 rows at a
    // time.
    if (bit_parallel_cost(m, n) < banded_cost(m, n, bound)) {
        const std::uint64_t distance = trimmed_distance(a, m, b, n, ascii);
        if (distance > bound) return std::nullopt;
        return distance;
    }
    return ascii ? bounded_distance(a, b, bound) : decoded_distance(a, b, bound);
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
