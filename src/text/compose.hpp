// Canonical composition beyond NFC.
//
// NFC never produces the composition-excluded characters (UAX #15,
// Full_Composition_Exclusion): a Hebrew letter with dagesh stays a letter plus
// a point, a Devanagari letter with nukta stays a letter plus the nukta sign.
// The transliteration and confusable operations work on the precomposed
// characters, so `compose` also rebuilds the 71 excluded characters whose
// canonical decompositions are sequences of two or three characters, and
// reports for every character the byte offset in the caller's text it came
// from. As canonical composition does, a rebuild joins a key's later
// characters across marks of lower non-zero combining class: canonical order
// puts a Hebrew vowel point between a letter and its dagesh or shin dot, so
// bet, patah, dagesh gives U+FB31 then the patah, at its own offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelrad::compose {

// One character of the composed text and the byte offset in the source text
// of the character it came from.
struct Composed {
    char32_t ch;
    std::uint64_t offset;

    bool operator==(const Composed&) const = default;
};

// A character that can start or join a composition: a combining mark (below
// U+0590 only U+0300..U+036F and U+0483..U+0489 are marks), U+16D67, or a
// Hangul leading consonant U+1100..U+1112. Text without one is its own
// composed form, holds no stack of marks, and needs no composing pass.
bool starts_or_joins(char32_t cp) noexcept;

// The iterator over the composed text. It borrows the text. Offsets never
// decrease from one cluster to the next.
class Composer {
public:
    explicit Composer(std::string_view text) noexcept : text_(text) {}

    std::optional<Composed> next();

private:
    struct Source {
        char32_t ch;
        std::uint64_t offset;
    };

    std::optional<Composed> read() noexcept;
    std::optional<Composed> take() noexcept;
    void compose_cluster(Composed base);
    void assign_offsets(std::uint64_t base_offset);

    std::string_view text_;
    std::size_t pos_ = 0;
    std::optional<Composed> ahead_;
    // Characters waiting to be yielded: queue_[head_..].
    std::vector<Composed> queue_;
    std::size_t head_ = 0;
    // Work buffers, reused from cluster to cluster: the cluster's composed
    // text, its source characters and their positions sorted by character.
    std::string nfc_;
    std::u32string composed_;
    std::vector<Source> sources_;
    std::vector<std::uint32_t> by_char_;
    std::vector<std::uint32_t> claimed_;
};

inline Composer compose(std::string_view text) noexcept { return Composer(text); }

// Returns false and leaves `out` untouched when no character of `text` can
// start or join a composition (no mark-like character, no Hangul leading
// consonant U+1100..U+1112); otherwise empties `out` and writes the composed
// text.
bool compose_if_marks(std::string_view text, std::string& out);

}  // namespace kelrad::compose
