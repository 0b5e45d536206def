// Key collisions and nearest matches over a caller's list of strings.
//
// `find_key_collisions` reduces every string to a key of one kind and reports
// the groups of distinct strings that share a key: two user names or catalogue
// entries that a normalizing key makes indistinguishable. `nearest_match`
// picks, among known names, the one closest to a value by edit distance, for
// "did you mean" answers over the caller's own vocabulary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/error.hpp"

namespace kelrad::collisions {

// The six key kinds, in the order of their names in `InvalidKeyForm`.
enum class KeyForm : std::uint8_t {
    FoldCase,              // "fold_case"
    SearchKey,             // "search_key"
    CatalogKey,            // "catalog_key"
    Canonicalize,          // "canonicalize"
    CanonicalizeStrict,    // "canonicalize_strict"
    NormalizeConfusables,  // "normalize_confusables"
};

// One of the six names exactly (case-sensitive); anything else, the empty
// string included, is `InvalidKeyForm`.
std::expected<KeyForm, CoreError> parse_key_form(std::string_view text);

// The most strings one call accepts (the module's batch limit).
inline constexpr std::size_t MAX_KEY_COLLISION_ITEMS = 100000;

// Computes the key of `value`: false when the key is the value itself
// (nothing is written), true when it was written to `out`. `lang` is the
// call's language, which only the kinds built on transliteration read.
using KeyFunction = std::expected<bool, CoreError> (*)(std::string_view value, KeyForm form,
                                                       std::optional<std::string_view> lang, std::string& out);

// The key of each kind, as the module's functions compute it: `_fold_case`,
// `_search_key(value, lang=lang)`, `_catalog_key(value, lang=lang)`,
// `_canonicalize`, `_canonicalize_strict` and `_normalize_confusables`, all
// with their default options. Only the two transliterating kinds read `lang`.
std::expected<bool, CoreError> compute_key(std::string_view value, KeyForm form, std::optional<std::string_view> lang,
                                           std::string& out);

// One group of distinct strings sharing a key.
struct KeyCollision {
    std::string key;
    std::vector<std::string> values;     // distinct (byte for byte), in order of first appearance
    std::vector<std::uint64_t> indices;  // every position with this key, ascending; not parallel to values
};

// The groups with at least two distinct strings, in the order in which their
// keys first appear. More than MAX_KEY_COLLISION_ITEMS strings is
// `BatchTooLarge` before any key is computed; the first error of `key_of`, in
// input order, ends the call.
std::expected<std::vector<KeyCollision>, CoreError> find_key_collisions(std::span<const std::string_view> values,
                                                                        KeyForm form,
                                                                        std::optional<std::string_view> lang,
                                                                        KeyFunction key_of = compute_key);

// A candidate name and its length in code points.
struct Candidate {
    std::string_view text;
    std::size_t length;
};

struct Match {
    std::size_t index;  // position in the candidate list
    std::uint64_t distance;
};

// The candidate at the smallest edit distance from `value` (code points,
// exact strings), if one is within `max_distance`; the first in list order
// wins a tie, and an exact match ends the scan.
std::optional<Match> nearest_match(std::string_view value, std::span<const Candidate> candidates,
                                   std::uint64_t max_distance);

}  // namespace kelrad::collisions
