// The segment-wise fixed-point rewrite engine behind the confusable folds.
//
// A rewrite (a confusable fold, a preset's step list) applied once may leave
// work for a second application: a fold can produce a base that composes with
// the mark after it, a mark cap can leave a run that is still too long. The
// engine applies the rewrite until the text stops changing, but segment by
// segment: a segment is a character that starts a composition cluster with
// the marks and conjoining jamo that follow it, so each application works on
// a few bytes instead of the whole text, and a segment that settles costs one
// more application. Whole-text passes only confirm that the joined segments
// settled too. Every loop is bounded; non-convergence returns the latest text.
//
// A callback is a context pointer and a function; the engine never inspects
// the context. The confusable folds bring their pair (confusables.cpp), the
// preset interpreter its own.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/error.hpp"

namespace kelrad::confusables {

// Rewrites a text into a new one (possibly equal to its input).
struct RewriteCallback {
    const void* context;
    std::expected<std::string, CoreError> (*rewrite)(const void* context, std::string_view text);

    std::expected<std::string, CoreError> operator()(std::string_view text) const { return rewrite(context, text); }
};

// True when the rewrite would change the character c on its own.
struct NeedsFoldPredicate {
    const void* context;
    bool (*needs_fold)(const void* context, char32_t c);

    bool operator()(char32_t c) const { return needs_fold(context, c); }
};

// At most 8 cycles. A cycle splits the text into segments, rewrites each
// segment to its own fixed point (at most n + 9 applications for a segment
// of n characters), joins them, and applies `rewrite` once to the whole
// result: when that changes nothing the joined text is returned, else it is
// the next cycle's text. The first callback error ends the call.
//
// A segment starts at every character except the continuation characters:
// combining marks (General_Category M; below U+0590 only U+0300..U+036F and
// U+0483..U+0489), U+16D67, the Hangul vowel jamo U+1160..U+1175 and trailing
// jamo U+11A8..U+11C2, and characters whose full decomposition begins with
// one (U+1160 excepted). The empty text is one empty segment.
//
// A segment that a rewrite shortens by d <= 7 copies of one mark per
// application (a mark with no decomposition and a non-zero combining class
// that `needs_fold` leaves alone) is not shortened application by
// application: once a probe on a run one longer confirms the pattern, the run
// jumps to the first length below 8 that repeated removal reaches.
std::expected<std::string, CoreError> fold_to_fixed_point(std::string text, RewriteCallback rewrite,
                                                          NeedsFoldPredicate needs_fold);

// One maximal stretch of a repeated character.
struct CharRun {
    char32_t ch;
    std::uint64_t count;  // at least 1
};

// The runs of a text in order; the empty text has none.
std::vector<CharRun> char_runs(std::string_view text);

// The text the runs spell.
std::string string_from_runs(std::span<const CharRun> runs);

// Appends c count times (nothing for 0).
void push_repeated(std::string& out, char32_t c, std::uint64_t count);

}  // namespace kelrad::confusables
