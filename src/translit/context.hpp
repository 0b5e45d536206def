// Context-aware transliteration of Arabic, Persian and Hebrew.
//
// These scripts are usually written without short vowels, which a letter by
// letter transliteration cannot restore. Here each word is looked up, by its
// form without vowel marks (its key), in a context dictionary
// (context_dict.hpp): first as a bigram after the previous word's key, then
// alone. A word found is transliterated in its vowelled form; any other text
// exactly as the context-free engine would.
//
// The text is cut into runs of word characters (the Hebrew and Arabic blocks
// and their presentation forms, without their punctuation and digits) and
// runs of everything else; each run is its own engine call, so "auto" is
// chosen per run. A non-word run holding a line break, ".", "!", "?", U+061F
// ARABIC QUESTION MARK, U+06D4 ARABIC FULL STOP or U+05C3 HEBREW PUNCTUATION
// SOF PASUQ ends a sentence: the next word is looked up alone. Any other
// non-word run (spaces, Latin words, a zero-width non-joiner) keeps the
// previous word for the next lookup.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "text/error.hpp"
#include "translit/context_dict.hpp"
#include "translit/transliterate.hpp"

namespace kelrad::context {

// The word-by-word worker: `out` is emptied and receives the text's
// transliteration with `options` (tones is not used), words found in
// `dictionary` in their vowelled forms. Keys drop the Hebrew points with
// lang "he", the Arabic harakat, superscript alef and tatweel otherwise.
void transliterate_with_dict(std::string_view text, const transliterate::TransliterateOptions& options,
                             const ContextDict& dictionary, std::string& out);

}  // namespace kelrad::context

namespace kelrad::transliterate {

// Checks, in this order, the two Cyrillic schemes together, `lang`, `errors`
// ("replace", "ignore" or "preserve"), then applies the global replacements,
// loads the dictionary of the language ("he": Hebrew; "fa": Persian, else
// Arabic when no Persian file is found; anything else: Arabic) and writes
// the transliteration into `out`. A missing or corrupt dictionary is an
// error, whatever the text; `run_blocking` runs a first load (see
// context_dict.hpp).
std::expected<void, CoreError> transliterate_context(std::string_view text, std::optional<std::string_view> lang,
                                                     std::string_view errors, std::string_view replace_with,
                                                     bool strict_iso9, bool gost7034, std::string& out,
                                                     context::BlockingRunner run_blocking = nullptr);

}  // namespace kelrad::transliterate
