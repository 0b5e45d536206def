#include "presets/collisions.hpp"

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "presets/presets.hpp"
#include "security/confusables.hpp"
#include "text/case_fold.hpp"
#include "text/utils.hpp"
#include "util/panic.hpp"
#include "util/utf8.hpp"

namespace kelrad::collisions {

namespace {

constexpr std::array<std::string_view, 6> kKeyFormNames = {
    "fold_case", "search_key", "catalog_key", "canonicalize", "canonicalize_strict", "normalize_confusables",
};

static_assert(MAX_KEY_COLLISION_ITEMS <= std::numeric_limits<std::uint32_t>::max());

// A key and how many strings reached it. The key is a view of the input
// string that produced it when the key function handed that back unchanged,
// else of `owned`; groups live in a deque, so neither moves.
struct Group {
    std::string owned;
    std::string_view key;
    std::size_t distinct = 0;  // distinct strings
    std::size_t members = 0;   // positions
};

}  // namespace

std::expected<KeyForm, CoreError> parse_key_form(std::string_view text) {
    for (std::size_t i = 0; i < kKeyFormNames.size(); ++i) {
        if (text == kKeyFormNames[i]) return static_cast<KeyForm>(i);
    }
    return fail(error::InvalidKeyForm{std::string(text)});
}

std::expected<bool, CoreError> compute_key(std::string_view value, KeyForm form, std::optional<std::string_view> lang,
                                           std::string& out) {
    constexpr confusables::DigitPolicy numeric = confusables::DigitPolicy::Numeric;
    switch (form) {
        case KeyForm::FoldCase: {
            std::optional<std::string> folded = case_fold::fold_case_cow(value);
            if (!folded) return false;
            out = std::move(*folded);
            return true;
        }
        case KeyForm::SearchKey: return presets::search_key(value, lang, numeric, out);
        case KeyForm::CatalogKey: return presets::catalog_key(value, lang, false, numeric, out);
        case KeyForm::Canonicalize: return presets::canonicalize(value, numeric, out);
        case KeyForm::CanonicalizeStrict: return presets::canonicalize_strict(value, numeric, out);
        case KeyForm::NormalizeConfusables: return confusables::normalize_confusables(value, "latin", "numeric", out);
    }
    panic("parse_key_form guarantees a known key form");
}

std::expected<std::vector<KeyCollision>, CoreError> find_key_collisions(std::span<const std::string_view> values,
                                                                        KeyForm form,
                                                                        std::optional<std::string_view> lang,
                                                                        KeyFunction key_of) {
    const std::size_t n = values.size();
    if (n == 0) return {};
    if (n > MAX_KEY_COLLISION_ITEMS) return fail(error::BatchTooLarge{n, MAX_KEY_COLLISION_ITEMS});

    // Groups are numbered in order of creation, which is the result order;
    // the hash containers only answer lookups.
    std::deque<Group> groups;
    std::unordered_map<std::string_view, std::uint32_t> group_by_key;
    std::unordered_set<std::string_view> seen;
    group_by_key.reserve(n);
    seen.reserve(n);
    std::vector<std::uint32_t> group_of(n);
    std::vector<bool> first_sight(n);  // the first occurrence of a distinct string

    std::string computed;
    for (std::size_t i = 0; i < n; ++i) {
        auto changed = key_of(values[i], form, lang, computed);
        if (!changed) return std::unexpected(std::move(changed.error()));
        std::string_view key = *changed ? std::string_view(computed) : values[i];
        std::uint32_t g;
        bool is_new;
        if (auto it = group_by_key.find(key); it != group_by_key.end()) {
            g = it->second;
            is_new = seen.insert(values[i]).second;
        } else {
            // Equal strings have equal keys: a string founding a group is new.
            g = static_cast<std::uint32_t>(groups.size());
            Group& group = groups.emplace_back();
            if (*changed) {
                group.owned = computed;
                group.key = group.owned;
            } else {
                group.key = values[i];
            }
            group_by_key.emplace(group.key, g);
            seen.insert(values[i]);
            is_new = true;
        }
        groups[g].distinct += is_new;
        ++groups[g].members;
        group_of[i] = g;
        first_sight[i] = is_new;
    }

    // A group reached by a single distinct string, however often, is no
    // collision. Only the strings of the groups kept are copied, once each.
    constexpr std::size_t kDropped = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> slot(groups.size(), kDropped);
    std::vector<KeyCollision> result;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        Group& group = groups[g];
        if (group.distinct < 2) continue;
        slot[g] = result.size();
        KeyCollision& c = result.emplace_back();
        c.key = group.owned.empty() ? std::string(group.key) : std::move(group.owned);
        c.values.reserve(group.distinct);
        c.indices.reserve(group.members);
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t s = slot[group_of[i]];
        if (s == kDropped) continue;
        if (first_sight[i]) result[s].values.emplace_back(values[i]);
        result[s].indices.push_back(i);
    }
    return result;
}

std::optional<Match> nearest_match(std::string_view value, std::span<const Candidate> candidates,
                                   std::uint64_t max_distance) {
    const std::size_t value_length = utf8::char_count(value);
    std::optional<Match> best;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Candidate& c = candidates[i];
        // Only a strictly smaller distance replaces the best so far, so the
        // first candidate in list order keeps a tie. A best at distance 0 has
        // ended the scan, so best->distance - 1 cannot wrap.
        const std::uint64_t bound = best ? best->distance - 1 : max_distance;
        const std::size_t gap = c.length > value_length ? c.length - value_length : value_length - c.length;
        if (gap > bound) continue;
        std::optional<std::uint64_t> d = utils::edit_distance_within(value, c.text, bound);
        if (!d) continue;
        best = Match{i, *d};
        if (*d == 0) break;
    }
    return best;
}

}  // namespace kelrad::collisions
