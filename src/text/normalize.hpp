// The four Unicode normalization forms (UAX #15), their checks and the
// character data behind them, for Unicode 17.0.0.
//
// Everything here is a pure function of its arguments and of the constant
// tables in tables/normalization.hpp. The whole-text operations keep the
// decompose-reorder-compose work away from stretches that a form cannot
// change: a character that is stable for the form (quick check Yes and
// canonical combining class 0) is a safe cut point. Stable stretches are
// found sixteen bytes at a time from the UTF-8 lead bytes alone, so an
// already-normalized text is recognised without decoding most of it, and
// only the spans around unstable characters are decomposed, reordered and
// composed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "text/error.hpp"

namespace kelrad::normalize {

// The number of a form selects its stable bitmap and its quick check.
enum class Form : std::uint8_t { NFC, NFD, NFKC, NFKD };

// The quick-check property values of UAX #15 (NFD and NFKD never say Maybe).
enum class QuickCheck : std::uint8_t { Yes, No, Maybe };

// "NFC", "NFD", "NFKC" or "NFKD", exactly; anything else, the empty string
// included, is `InvalidNormForm`.
std::expected<Form, CoreError> validate_form(std::string_view form);

// Empties `out` and writes the form of `text` into it. On an invalid form
// nothing is written.
std::expected<void, CoreError> normalize(std::string_view text, std::string_view form, std::string& out);

// Appends the form of `text` to `out`, copying stable stretches unchanged.
void normalize_into(std::string_view text, Form form, std::string& out);

// Returns false and leaves `out` untouched when the quick check finds `text`
// already in the form; otherwise empties `out` and writes the form of `text`
// (which may still equal the text).
bool normalize_cow(std::string_view text, Form form, std::string& out);

// Empties `out` and fills it with the NFC of `text`.
void nfc_into(std::string_view text, std::string& out);

// The whole text in one form, as a new string.
std::string to_nfc(std::string_view text);
std::string to_nfd(std::string_view text);
std::string to_nfkc(std::string_view text);
std::string to_nfkd(std::string_view text);
std::string to_form(std::string_view text, Form form);

// The UAX #15 quick check over a whole text: Yes and No are certain, Maybe
// leaves the answer to a comparison with the normalization.
QuickCheck quick_check(std::string_view text, Form form) noexcept;

// Whether `text` is already in the form. Answered from the quick check where
// it can; otherwise the text is compared with its normalization as that is
// produced, without building a normalized copy of the whole text.
bool is_normalized(std::string_view text, Form form);

// In the form and stream-safe. Each form is checked with its own quick check
// and its own normalization.
bool is_normalized_stream_safe(std::string_view text, Form form);

// The Stream-Safe Text Process of UAX #15: inserts U+034F COMBINING GRAPHEME
// JOINER before a non-starter that would make a run of more than 30. Returns
// false and leaves `out` untouched when the text is already stream-safe;
// otherwise empties `out` and writes the processed text.
bool stream_safe(std::string_view text, std::string& out);

// The stretches of a text that normalization could change. A stable character
// here has combining class 0, an NFD quick check of Yes and is not a combining
// mark (General_Category Mn, Mc, Me); a span is a maximal run of the others.
struct UnstableSpan {
    std::size_t start;                // byte offset of the run's first character
    std::size_t end;                  // byte offset just past the run
    std::optional<char32_t> previous; // the stable character before the run, if any
};

struct SpanState {
    explicit SpanState(std::string_view t) noexcept : text(t) {}
    std::string_view text;
    std::size_t pos = 0;
    std::optional<char32_t> previous;
};

// The next unstable span from the state's position, or nullopt at the end.
std::optional<UnstableSpan> next_unstable_span(SpanState& state) noexcept;

// ---- Character data -------------------------------------------------------

// Canonical_Combining_Class.
std::uint8_t combining_class(char32_t cp) noexcept;

// General_Category Mn, Mc or Me.
bool is_mark(char32_t cp) noexcept;

// The quick-check property of one code point for a form.
QuickCheck quick_check(char32_t cp, Form form) noexcept;

// The full (recursively applied) decomposition of one code point; the code
// point itself when it has none. Hangul syllables decompose algorithmically.
class Decomposition {
public:
    static constexpr std::size_t kMaxLen = 18;  // U+FDFA, compatibility

    std::u32string_view view() const noexcept { return {cps_, len_}; }
    const char32_t* begin() const noexcept { return cps_; }
    const char32_t* end() const noexcept { return cps_ + len_; }
    std::size_t size() const noexcept { return len_; }
    char32_t operator[](std::size_t i) const noexcept { return cps_[i]; }

    void push(char32_t cp) noexcept { cps_[len_++] = cp; }

private:
    char32_t cps_[kMaxLen] = {};
    std::uint8_t len_ = 0;
};

Decomposition canonical_decomposition(char32_t cp) noexcept;
Decomposition compatibility_decomposition(char32_t cp) noexcept;

// Appends the NFKC of the one code point `cp` to `out`.
void append_nfkc(char32_t cp, std::string& out);

// The primary composite of two code points (Hangul included), or nullopt.
std::optional<char32_t> compose_pair(char32_t first, char32_t second) noexcept;

}  // namespace kelrad::normalize
