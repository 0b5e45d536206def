#include "security/fixed_point.hpp"

#include <cstddef>
#include <utility>

#include "text/normalize.hpp"
#include "util/utf8.hpp"

namespace kelrad::confusables {
namespace {

constexpr int kMaxCycles = 8;
// A segment of n characters gets n + kExtraApplications + 1 applications.
constexpr std::size_t kExtraApplications = 8;
// The long-run shortcut: runs of at least kMinRun copies, shortened by at
// most kMaxStep copies per application, jump below kMinRun.
constexpr std::uint64_t kMinRun = 8;
constexpr std::uint64_t kMaxStep = 7;

// Combines with a preceding Kirat Rai vowel sign, although it is no mark.
constexpr char32_t kKiratRaiVowelSignE = 0x16D67;

bool in_low_mark_ranges(char32_t c) noexcept { return (c >= 0x300 && c <= 0x36F) || (c >= 0x483 && c <= 0x489); }

bool is_trailing_jamo(char32_t c) noexcept { return c >= 0x11A8 && c <= 0x11C2; }

// A character that continues the segment of the character before it. The
// Hangul filler U+1160 continues a segment itself, but a character that
// decomposes to it does not.
bool is_continuation(char32_t c) noexcept {
    if (c < 0x80) return false;
    if (c < 0x590) {
        if (in_low_mark_ranges(c)) return true;
    } else if (c == kKiratRaiVowelSignE || normalize::is_mark(c) || (c >= 0x1160 && c <= 0x1175) ||
               is_trailing_jamo(c)) {
        return true;
    }
    char32_t d = normalize::compatibility_decomposition(c)[0];
    if (d == c) return false;
    if (d < 0x590) return in_low_mark_ranges(d);
    return d == kKiratRaiVowelSignE || normalize::is_mark(d) || (d >= 0x1161 && d <= 0x1175) || is_trailing_jamo(d);
}

bool has_decomposition(char32_t c) noexcept {
    normalize::Decomposition d = normalize::compatibility_decomposition(c);
    return d.size() != 1 || d[0] != c;
}

// When `current` -> `output` removed d <= 7 copies from one run of at least
// 8 copies of a mark the rewrite leaves alone, and a probe on the run one
// longer removes the same d copies, shortens that run in `output` to the
// first length below 8 that repeated removal of d copies reaches.
std::expected<void, CoreError> long_run_shortcut(std::string_view current, std::string& output,
                                                 RewriteCallback rewrite, NeedsFoldPredicate needs_fold) {
    std::vector<CharRun> before = char_runs(current);
    std::vector<CharRun> after = char_runs(output);
    if (before.size() != after.size()) return {};
    std::size_t k = before.size();
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i].ch == after[i].ch && before[i].count == after[i].count) continue;
        if (k != before.size() || before[i].ch != after[i].ch) return {};
        k = i;
    }
    if (k == before.size()) return {};
    const char32_t c = before[k].ch;
    const std::uint64_t n1 = before[k].count, m = after[k].count;
    if (n1 <= m || m < kMinRun || n1 - m > kMaxStep) return {};
    if (has_decomposition(c) || normalize::combining_class(c) == 0 || needs_fold(c)) return {};

    ++before[k].count;
    ++after[k].count;
    auto probe = rewrite(string_from_runs(before));
    if (!probe) return std::unexpected(std::move(probe.error()));
    if (*probe != string_from_runs(after)) return {};
    const std::uint64_t d = n1 - m;
    after[k].count = m - d * ((m - kMinRun) / d + 1);
    output = string_from_runs(after);
    return {};
}

// Applies `rewrite` to the segment until it stops changing, at most n + 9
// times for n characters.
std::expected<std::string, CoreError> fold_segment(std::string_view segment, RewriteCallback rewrite,
                                                   NeedsFoldPredicate needs_fold) {
    std::string current(segment);
    const std::size_t limit = utf8::char_count(segment) + kExtraApplications;
    for (std::size_t i = 0;; ++i) {
        auto output = rewrite(current);
        if (!output) return output;
        if (*output == current) return current;
        if (auto shortcut = long_run_shortcut(current, *output, rewrite, needs_fold); !shortcut) {
            return std::unexpected(std::move(shortcut.error()));
        }
        current = std::move(*output);
        if (i == limit) return current;
    }
}

}  // namespace

std::expected<std::string, CoreError> fold_to_fixed_point(std::string text, RewriteCallback rewrite,
                                                          NeedsFoldPredicate needs_fold) {
    for (int cycle = 0; cycle < kMaxCycles; ++cycle) {
        std::string joined;
        joined.reserve(text.size());
        std::size_t start = 0;
        auto fold_until = [&](std::size_t end) -> std::expected<void, CoreError> {
            auto folded = fold_segment(std::string_view(text).substr(start, end - start), rewrite, needs_fold);
            if (!folded) return std::unexpected(std::move(folded.error()));
            joined += *folded;
            start = end;
            return {};
        };
        for (std::size_t i = 0; i < text.size();) {
            auto [c, len] = utf8::decode(text, i);
            if (i > 0 && !is_continuation(c)) {
                if (auto r = fold_until(i); !r) return std::unexpected(std::move(r.error()));
            }
            i += len;
        }
        if (auto r = fold_until(text.size()); !r) return std::unexpected(std::move(r.error()));

        auto whole = rewrite(joined);
        if (!whole) return whole;
        if (*whole == joined) return joined;
        text = std::move(joined);
    }
    return text;
}

std::vector<CharRun> char_runs(std::string_view text) {
    std::vector<CharRun> runs;
    for (auto [c, len] : utf8::chars(text)) {
        if (!runs.empty() && runs.back().ch == c) {
            ++runs.back().count;
        } else {
            runs.push_back({c, 1});
        }
    }
    return runs;
}

std::string string_from_runs(std::span<const CharRun> runs) {
    std::string out;
    for (const CharRun& r : runs) push_repeated(out, r.ch, r.count);
    return out;
}

void push_repeated(std::string& out, char32_t c, std::uint64_t count) {
    if (count == 0) return;
    const std::string one = utf8::encode(c);
    out.reserve(out.size() + one.size() * count);
    for (std::uint64_t i = 0; i < count; ++i) out += one;
}

}  // namespace kelrad::confusables
