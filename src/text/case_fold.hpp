// Full Unicode case folding and the full lowercase mapping.
//
// Folding is the caseless-matching transform of CaseFolding.txt (statuses C
// and F: one character may fold to up to three, "ß" to "ss"); it is what keys
// and caseless comparisons use. Lower-casing is the UnicodeData/SpecialCasing
// mapping with the Final_Sigma condition; it is what word lists, stopwords
// and slugs use. Both follow the same Unicode repertoire (16.0.0) so that they
// agree wherever the standard says they should.
//
// The "cow" variants hand back std::nullopt when the transform leaves the text
// unchanged, in which case the caller keeps its input; they allocate only when
// something changes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelrad::case_fold {

// True when the fold table has an entry for cp (ASCII capitals included).
bool has_fold(char32_t cp) noexcept;

// `out` is emptied, then receives the full case folding of `text`.
void fold_case(std::string_view text, std::string& out);

// The full case folding of `text`, or std::nullopt when no character folds.
std::optional<std::string> fold_case_cow(std::string_view text);

// A new string holding text[0, k) with room for the rest of the text plus a
// tenth (folds and lowercase mappings may lengthen it); k is a character
// boundary.
std::string prefix_buffer(std::string_view text, std::size_t k);

// `out` is emptied, then receives the full lowercase mapping of `text`:
// U+0130 becomes "i\u0307", and U+03A3 becomes U+03C2 where it ends a word
// (the Final_Sigma condition of Unicode 3.13), U+03C3 elsewhere.
void to_lowercase_into(std::string_view text, std::string& out);

// The full lowercase mapping of `text`, or std::nullopt when it is unchanged.
std::optional<std::string> to_lowercase_cow(std::string_view text);

// The Final_Sigma condition of Unicode 3.13 (Table 3-17) for the `len`-byte
// sigma at byte `at` of `text`: a cased letter and zero or more
// case-ignorable characters before it, and no case-ignorable characters
// followed by a cased letter after it.
bool is_final_sigma(std::string_view text, std::size_t at, std::size_t len) noexcept;

// True exactly when folding `text` gives the same string as lower-casing it.
bool is_case_fold_stable(std::string_view text);

}  // namespace kelrad::case_fold
