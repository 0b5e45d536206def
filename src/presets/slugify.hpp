// URL slugs: one text in, a lower-case, separator-joined run of words out.
//
// `slugify` runs these steps in order, each on the output of the one before,
// and hands a text on untouched when a step has nothing to do:
//    1. the caller's replacements (one pair: replace every occurrence; more:
//       leftmost-first over the non-empty keys, the first listed winning at
//       a shared start);
//    2. HTML character references: the five XML names and numeric references;
//    3. transliteration to ASCII (errors ignored), unless Unicode is allowed;
//    4. lower-casing, folded into the separator pass for ASCII text when no
//       pattern runs;
//    5. canonical composition, when Unicode is allowed;
//    6. deletion of every match of the caller's pattern;
//    7. the separator pass: runs of anything but letters, digits and safe
//       characters become one separator, never at either end;
//    8. composition again, when Unicode is allowed and the separator is empty;
//    9. stopword removal;
//   10. truncation to `max_length` bytes, on a character (or, with Unicode,
//       an extended grapheme cluster) boundary, optionally back to a word end;
//   11. with Unicode, joiners (U+200C, U+200D) left at either end are removed.
// No input fails: options are validated when the record is built.
//
// A cut slug must not end in a piece of a separator. The cut text alone
// cannot say whether its last bytes are a separator's beginning or a word's
// end ("bo|x" with the separator "x-"), so every trim looks at the uncut
// text: it removes trailing bytes only where the uncut text holds a whole
// separator starting at them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "presets/slug_regex.hpp"
#include "text/error.hpp"
#include "util/string_hash.hpp"

namespace kelrad::slugify {

// Lower-cased stopwords; looked up by `std::string_view` without a copy.
using StopwordSet = StringSet;

using Replacement = std::pair<std::string, std::string>;

// A validated option record (see `build_options`); read-only while slugs are made.
struct SlugifyOptions {
    std::string separator = "-";             // any text, the empty one included
    std::vector<std::string> stopwords;      // as given; the set is built from them
    std::vector<Replacement> replacements;   // in the caller's order; keys may be empty
    std::string safe_chars;                  // kept where they would become separators
    std::optional<std::string> lang;         // exactly as given ("nb" stays "nb")
    std::size_t max_length = 0;              // UTF-8 bytes; 0: no limit
    std::optional<SlugRegex> regex;          // its matches are deleted
    bool lowercase = true;
    bool word_boundary = false;              // cut back to a separator
    bool save_order = false;                 // only leading and trailing stopwords go
    bool allow_unicode = false;              // keep letters and digits instead of transliterating
    bool entities = true;                    // decode character references at all
    bool decimal = true;
    bool hexadecimal = true;
};

// The options as a caller passed them, converted but not yet validated.
struct SlugOptionValues {
    std::string_view separator = "-";
    bool lowercase = true;
    std::int64_t max_length = 0;
    bool word_boundary = false;
    bool save_order = false;
    std::vector<std::string> stopwords;
    std::optional<std::string_view> regex_pattern;
    std::vector<Replacement> replacements;
    bool allow_unicode = false;
    std::optional<std::string_view> lang;
    bool entities = true;
    bool decimal = true;
    bool hexadecimal = true;
    std::string_view safe_chars;
};

// Checks `lang` (UnknownLang), then `max_length` (NegativeMaxLength), then
// resolves `regex_pattern` (RegexTooLong, RegexCompile); nothing else is
// refused.
std::expected<SlugifyOptions, CoreError> build_options(SlugOptionValues values);

// The reusable buffers of `slugify`. A caller that makes many slugs keeps
// one, so that no call allocates once the buffers have grown.
class SlugWorkspace {
public:
    // The buffer that `current` does not point into.
    std::string& spare(std::string_view current) noexcept {
        return holds(buffers_[0], current) ? buffers_[1] : buffers_[0];
    }
    // Gives memory back after a large text.
    void shrink() noexcept;

private:
    static bool holds(const std::string& buffer, std::string_view view) noexcept {
        // std::less_equal orders pointers into different objects too.
        const std::less_equal<const char*> le;
        return le(buffer.data(), view.data()) && le(view.data(), buffer.data() + buffer.capacity());
    }
    std::array<std::string, 2> buffers_;
};

// The slug of `text`: a view into `workspace` (or an empty view), valid
// until the workspace is used again. `stopwords` is the set built from
// `options.stopwords`; without it the set is built when needed.
std::string_view slugify(std::string_view text, const SlugifyOptions& options, const StopwordSet* stopwords,
                         SlugWorkspace& workspace);

std::string slugify(std::string_view text, const SlugifyOptions& options, const StopwordSet* stopwords = nullptr);

// ---- The steps, for the classes and the tests --------------------------------

// False, `out` untouched, when nothing is replaced.
bool apply_replacements(std::string_view text, std::span<const Replacement> replacements, std::string& out);

// False, `out` untouched, when the text holds no reference to decode.
bool decode_char_references(std::string_view text, bool decimal, bool hexadecimal, std::string& out);

// The separator pass over ASCII text, lower-casing on the way when asked.
// Leading and trailing separators are left out, runs collapse into one.
void separator_class(std::string_view text, std::string_view separator, std::u32string_view safe_chars,
                     bool lowercase, std::string& out);

// The separator pass over text with non-ASCII characters. With
// `allow_unicode`, joiners stay only between kept characters and each
// character keeps at most two combining marks.
void unicode_separator_class(std::string_view text, std::string_view separator, std::u32string_view safe_chars,
                             bool allow_unicode, std::string& out);

// Where `text` cut at `cut` ends once no piece of a separator is left at the
// end (and, with `unicode`, no joiner).
std::size_t trim_trailing_separator(std::string_view text, std::size_t cut, std::string_view separator,
                                    bool unicode) noexcept;

StopwordSet build_stopword_set(std::span<const std::string> stopwords);

bool is_stopword(std::string_view word, const StopwordSet& stopwords, bool case_insensitive);

// The slug without its stopwords (every one, or with `save_order` only the
// leading and trailing run): a part of `slug`, or `out` written.
std::string_view remove_stopwords(std::string_view slug, std::string_view separator, const StopwordSet& stopwords,
                                  bool save_order, bool case_insensitive, std::string& out);

// The slug cut to at most `max_length` bytes (a prefix of it).
std::string_view truncate_slug(std::string_view slug, std::size_t max_length, std::string_view separator,
                               bool word_boundary, bool allow_unicode);

// The candidate for `counter`: the base itself for 0, else the base, cut to
// leave room when needed, then the separator and the counter in decimal.
std::expected<std::string, CoreError> unique_slug_candidate(std::string_view base, std::uint64_t counter,
                                                            std::string_view separator, std::size_t max_length,
                                                            bool allow_unicode);

}  // namespace kelrad::slugify
