#include "text/zalgo.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "tables/zalgo.hpp"
#include "text/compose.hpp"
#include "text/normalize.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::zalgo {
namespace {

constexpr std::size_t kMaxClasses = 64;
constexpr char32_t kNoMark = 0xFFFFFFFF;  // no code point

// The per-base counters of the stack walk: how many marks of each combining
// class sit on the current base. At most 64 distinct classes are recorded (no
// base can carry more: Unicode uses 55 nonzero classes); a 65th would count
// as over the limit.
//
// Every decision depends only on the order of marks within one class, and
// canonical reordering keeps that order (it is a stable sort by class that
// never moves a mark across a class-0 character). So the walk may consume a
// span's decomposition in its raw order: it keeps the same marks as a walk in
// canonical order, and callers normalize the result to NFC afterwards.
class MarkStack {
public:
    explicit MarkStack(std::size_t limit) noexcept : limit_(limit) {}

    void reset(std::optional<char32_t> base) noexcept {
        recorded_ = 0;
        base_ = base;
        overlay_excused_ = false;
    }

    // Consumes the next code point of a decomposition; true when it is a
    // mark over the limit.
    bool over_limit(char32_t d) noexcept {
        if (!overlay_excused_ && is_negation_overlay(d, base_)) {
            overlay_excused_ = true;
            return false;
        }
        if (!normalize::is_mark(d)) {
            reset(d);
            return false;
        }
        std::uint8_t cls = normalize::combining_class(d);
        if (limit_ > 0 && cls == 0) return false;
        for (std::size_t i = 0; i < recorded_; ++i) {
            if (classes_[i] == cls) return ++counts_[i] > limit_;
        }
        if (recorded_ < kMaxClasses) {
            classes_[recorded_] = cls;
            counts_[recorded_++] = 1;
            return 1 > limit_;
        }
        return limit_ != std::numeric_limits<std::size_t>::max();
    }

private:
    std::size_t limit_;
    std::array<std::uint8_t, kMaxClasses> classes_{};
    std::array<std::size_t, kMaxClasses> counts_{};
    std::size_t recorded_ = 0;
    std::optional<char32_t> base_;
    bool overlay_excused_ = false;
};

std::string_view span_text(std::string_view text, const normalize::UnstableSpan& span) noexcept {
    return text.substr(span.start, span.end - span.start);
}

// Calls fn(d) for every code point of the canonical decompositions of the
// span's characters, in raw (not reordered) order; stops when fn returns true.
template <class Fn>
bool each_decomposed(std::string_view span, Fn&& fn) {
    for (auto [cp, len] : utf8::chars(span)) {
        for (char32_t d : normalize::canonical_decomposition(cp)) {
            if (fn(d)) return true;
        }
    }
    return false;
}

// Zalgo needs a pile of marks: with a threshold above 2, text without a
// character that can start or join a composition has none. (Below U+0590
// that test looks only at U+0300-036F and U+0483-0489, and no precomposed
// character carries more than two marks of one class.)
bool may_stack_marks(std::string_view text) noexcept {
    for (std::size_t i = utf8::ascii_prefix_len(text); i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        if (compose::starts_or_joins(cp)) return true;
        i += len;
    }
    return false;
}

// Step 5 of the repeated-mark rule without materialising canonical order.
// Within one run of nonzero-class marks, canonical order lists the classes in
// ascending order, each class in its original order; marks of different
// classes are different code points. So the first repeat of a run in
// canonical order is either its first mark (the first of its lowest class)
// repeating the last mark carried over from before the run, or a mark
// repeating the previous mark of its own class, lowest class first.
class RepeatScan {
public:
    void start_span() noexcept { last_.reset(); }

    std::optional<char32_t> feed(char32_t d) noexcept {
        std::uint8_t cls = normalize::combining_class(d);
        if (cls == 0) {
            std::optional<char32_t> found = end_run();
            if (!normalize::is_mark(d)) last_.reset();  // a class-0 mark leaves it
            return found;
        }
        if (seen_[cls] != stamp_) {
            seen_[cls] = stamp_;
            first_of_[cls] = d;
            min_class_ = std::min<int>(min_class_, cls);
            max_class_ = std::max<int>(max_class_, cls);
        } else if (last_of_[cls] == d && cls < repeat_class_) {
            repeat_class_ = cls;
            repeat_mark_ = d;
        }
        last_of_[cls] = d;
        return std::nullopt;
    }

    std::optional<char32_t> end_run() noexcept {
        if (max_class_ < 0) return std::nullopt;
        std::optional<char32_t> found;
        if (last_ && *last_ == first_of_[min_class_]) {
            found = last_;
        } else if (repeat_class_ < kNone) {
            found = repeat_mark_;
        }
        last_ = last_of_[max_class_];
        if (++stamp_ == 0) {
            seen_.fill(0);
            stamp_ = 1;
        }
        min_class_ = kNone;
        max_class_ = -1;
        repeat_class_ = kNone;
        return found;
    }

private:
    static constexpr int kNone = 256;
    std::optional<char32_t> last_;
    std::uint32_t stamp_ = 1;
    std::array<std::uint32_t, 256> seen_{};
    std::array<char32_t, 256> first_of_{};
    std::array<char32_t, 256> last_of_{};
    int min_class_ = kNone;
    int max_class_ = -1;
    int repeat_class_ = kNone;
    char32_t repeat_mark_ = 0;
};

}  // namespace

bool is_negation_overlay(char32_t mark, std::optional<char32_t> base) noexcept {
    if (mark != 0x0338 && mark != 0x20D2) return false;
    return base.has_value() && !in_ranges(tables::OVERLAY_NON_SYMBOL_BASES, *base);
}

bool is_zalgo(std::string_view text, std::size_t threshold) noexcept {
    if (threshold > 2 && !may_stack_marks(text)) return false;
    MarkStack stack(threshold);
    normalize::SpanState state(text);
    while (std::optional<normalize::UnstableSpan> span = normalize::next_unstable_span(state)) {
        stack.reset(span->previous);
        if (each_decomposed(span_text(text, *span), [&](char32_t d) { return stack.over_limit(d); })) return true;
    }
    return false;
}

bool is_zalgo_default(std::string_view text) noexcept { return !utf8::is_ascii(text) && is_zalgo(text, 3); }

void strip_zalgo(std::string_view text, std::size_t max_marks, std::string& out) {
    out.clear();
    if (utf8::is_ascii(text)) {
        out.assign(text);
        return;
    }
    if (!is_zalgo(text, max_marks)) {
        normalize::nfc_into(text, out);
        return;
    }
    std::string kept;
    kept.reserve(text.size());
    MarkStack stack(max_marks);
    normalize::SpanState state(text);
    std::size_t copied = 0;
    while (std::optional<normalize::UnstableSpan> span = normalize::next_unstable_span(state)) {
        kept.append(text.substr(copied, span->start - copied));
        stack.reset(span->previous);
        each_decomposed(span_text(text, *span), [&](char32_t d) {
            if (!stack.over_limit(d)) utf8::append(kept, d);
            return false;
        });
        copied = span->end;
    }
    kept.append(text.substr(copied));
    normalize::nfc_into(kept, out);
}

std::optional<char32_t> find_repeated_mark(std::string_view text) noexcept {
    RepeatScan scan;
    normalize::SpanState state(text);
    while (std::optional<normalize::UnstableSpan> span = normalize::next_unstable_span(state)) {
        scan.start_span();
        std::optional<char32_t> found;
        each_decomposed(span_text(text, *span), [&](char32_t d) {
            found = scan.feed(d);
            return found.has_value();
        });
        if (!found) found = scan.end_run();
        if (found) return found;
    }
    return std::nullopt;
}

bool collapse_repeated_marks(std::string_view text, std::string& out) {
    if (!find_repeated_mark(text)) return false;
    std::string kept;
    kept.reserve(text.size());
    std::string decomposed;
    normalize::SpanState state(text);
    std::size_t copied = 0;
    while (std::optional<normalize::UnstableSpan> span = normalize::next_unstable_span(state)) {
        kept.append(text.substr(copied, span->start - copied));
        decomposed.clear();
        normalize::normalize_into(span_text(text, *span), normalize::Form::NFD, decomposed);
        char32_t last = kNoMark;
        for (auto [d, len] : utf8::chars(decomposed)) {
            if (!normalize::is_mark(d)) {
                last = kNoMark;
            } else if (normalize::combining_class(d) != 0) {
                if (d == last) continue;
                last = d;
            }
            utf8::append(kept, d);
        }
        copied = span->end;
    }
    kept.append(text.substr(copied));
    normalize::nfc_into(kept, out);
    return true;
}

}  // namespace kelrad::zalgo
