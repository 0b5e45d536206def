// Token anomalies: why a whitespace token of a text looks built to deceive.
//
// The scan cuts a text into tokens and runs a fixed sequence of checks on each
// one (hidden characters, direction tricks, stacked or enclosing marks, mixed
// numbering systems, script mixing, compatibility and confusable look-alikes,
// leet spellings and letters spelled apart); the first check that fires gives
// the token's one finding. Over the whole text it adds the carriage-return
// overwrites and the readable smuggled payloads.
//
// Lexicon checks (leet, segmentation) look decoded words up in a set of
// lower-cased words; with an empty lexicon they never fire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/string_hash.hpp"

namespace kelrad::anomalies {

enum class AnomalyKind : std::uint8_t {
    Invisible,
    Bidi,
    Zalgo,
    MixedScript,
    BidiMixed,
    Leet,
    Segmentation,
    Control,
    Deletion,  // whole-text only: a carriage-return overwrite
    Smuggled,  // whole-text only: a readable hidden payload
    CompatFold,
    Confusable,
    EnclosingMark,
    MixedNumbers,
    DuplicateMark,
};

inline constexpr std::size_t kKindCount = 15;

// "invisible", "bidi", "zalgo", "mixed_script", "bidi_mixed", "leet",
// "segmentation", "control", "deletion", "smuggled", "compat_fold",
// "confusable", "enclosing_mark", "mixed_numbers", "duplicate_mark".
std::string_view kind_name(AnomalyKind kind) noexcept;

// One reason a token is anomalous: the token as written, its byte span in the
// text and the evidence ("U+200B", "Latin and Cyrillic", a decoded word).
struct Finding {
    std::string token;
    std::string detail;
    std::size_t start = 0;
    std::size_t end = 0;
    AnomalyKind kind = AnomalyKind::Invisible;

    // The finding as a plain-language sentence, the token quoted with escapes.
    std::string reason() const;
};

// A set of words, each stored lower-cased (the full lowercase mapping with
// Final_Sigma), read by the lexicon checks.
class Lexicon {
public:
    Lexicon() = default;
    explicit Lexicon(std::span<const std::string> words);

    bool empty() const noexcept { return words_.empty(); }
    std::size_t size() const noexcept { return words_.size(); }
    // Membership of a word already lower-cased.
    bool contains(std::string_view lower_word) const;
    // Whether some word is `bytes` long, so that candidates of other lengths
    // need no lookup.
    bool has_length(std::size_t bytes) const noexcept { return bytes < lengths_.size() && lengths_[bytes]; }

private:
    StringSet words_;
    std::vector<bool> lengths_;
};

// The one lower-casing of lexicon words and of every candidate looked up in a
// lexicon: the full lowercase mapping of the whole string.
std::string lexicon_form(std::string_view word);

struct Token {
    std::size_t start;
    std::string_view text;
};

// Maximal runs of characters other than the separators U+0009-000D, U+0020,
// U+0085, U+2028 and U+2029, with their byte offsets. Other spaces (U+00A0,
// U+2000-200A, U+3000, ...) and U+001C-001F stay inside tokens.
std::vector<Token> split_tokens(std::string_view text);

// The finding of the first check that fires on the token, or nothing.
std::optional<Finding> inspect_token(std::string_view token, std::size_t start, const Lexicon& lexicon);

// U+180E, U+200B-200D, U+2060-2064, U+206A-206F, U+FEFF, the Hangul fillers
// U+115F, U+1160, U+3164, U+FFA0, U+2800, U+1BCA0-1BCA3, U+1D173-1D17A and
// U+FFF9-FFFB: characters that show nothing where they stand.
bool is_invisible(char32_t c) noexcept;

// `text` as the reasons and the Finding representation quote a token or a
// word: the escapes of error::quoted_debug_literal, and every `is_invisible`
// character as \u{hex} as well. The Hangul fillers and U+2800 are letters or
// a symbol to Unicode, so message literals keep them, yet they show nothing.
std::string visible_literal(std::string_view text);

// An ASCII letter, or a character whose canonical decomposition begins with
// one ("é"), canonical singletons excepted (KELVIN SIGN is not a Latin letter).
bool is_letter_like(char32_t c) noexcept;

// The canonical singletons: the NFC of c alone is one other character
// (U+212A KELVIN SIGN, U+2126 OHM SIGN, U+212B ANGSTROM SIGN, ...).
bool decomposes_to_single_char(char32_t c) noexcept;

// The punctuation and spaces trimmed off a token's ends before its second
// leet reading; "!", "(" and ")" stay, since they can spell letters.
bool is_token_delimiter(char32_t c) noexcept;

// The byte offset of the first line part that a carriage return overwrites,
// and that part: a CR (or a run of CRs) followed by a character other than a
// line feed, after a non-empty line. CR LF, a CR at the end and a CR at a
// line start overwrite nothing.
struct CrOverwrite {
    std::size_t start;
    std::string_view segment;
};
std::optional<CrOverwrite> find_cr_overwrite(std::string_view text) noexcept;

struct AnomalyReport {
    bool anomalous = false;
    std::vector<AnomalyKind> kinds;  // each once, in order of first appearance
    std::vector<Finding> findings;   // smuggled payloads first, then tokens, the overwrite by offset
    std::optional<std::string> reason;
};

// Stops at the first anomaly, cheapest whole-text tests first.
bool has_anomalies(std::string_view text, const Lexicon& lexicon);

AnomalyReport inspect_anomalies(std::string_view text, const Lexicon& lexicon);

namespace detail {

// The per-character facts the token scan's survey reads: from a table built
// once for the Basic Multilingual Plane, and computed from the Unicode tables
// directly. The two agree for every code point (a test holds them to it).
std::uint8_t char_facts(char32_t c) noexcept;
std::uint8_t char_facts_direct(char32_t c) noexcept;
// The fact that gates the stacked and repeated mark checks: a character
// without it can neither stack marks nor repeat one, alone or in a row.
inline constexpr std::uint8_t kMayStackMarks = 32;

}  // namespace detail

}  // namespace kelrad::anomalies
