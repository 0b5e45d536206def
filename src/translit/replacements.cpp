#include "translit/replacements.hpp"

#include <algorithm>
#include <atomic>
#include <unordered_set>
#include <vector>

#include "text/lock.hpp"
#include "translit/seal.hpp"
#include "util/automaton.hpp"
#include "util/panic.hpp"
#include "util/string_hash.hpp"

namespace kelrad {
namespace {

using ReplacementTable = StringMap<std::string>;

// The matcher over the non-empty keys in ascending byte order, and the value
// of each pattern number.
struct ReplacementAutomaton {
    automaton::AhoCorasick matcher;
    std::vector<std::string> values;
};

sync::RwLock<ReplacementTable>& global_replacements() {
    static auto& GLOBAL_REPLACEMENTS = *new sync::RwLock<ReplacementTable>("GLOBAL_REPLACEMENTS");
    return GLOBAL_REPLACEMENTS;
}

sync::RwLock<std::optional<ReplacementAutomaton>>& global_replacements_ac() {
    static auto& GLOBAL_REPLACEMENTS_AC =
        *new sync::RwLock<std::optional<ReplacementAutomaton>>("GLOBAL_REPLACEMENTS_AC");
    return GLOBAL_REPLACEMENTS_AC;
}

// True exactly when the table holds an entry (the empty key included).
std::atomic<bool> REPLACEMENTS_ACTIVE{false};

// Runs while the caller holds the table's write lock. The new automaton is
// built before the automaton lock is taken, so scans in progress finish with
// the old one.
void rebuild_replacement_automaton(const ReplacementTable& table) {
    std::vector<const std::pair<const std::string, std::string>*> entries;
    for (const auto& entry : table) {
        if (!entry.first.empty()) entries.push_back(&entry);
    }
    std::optional<ReplacementAutomaton> rebuilt;
    if (!entries.empty()) {
        std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->first < b->first; });
        std::vector<std::string_view> keys;
        std::vector<std::string> values;
        keys.reserve(entries.size());
        values.reserve(entries.size());
        for (auto* e : entries) {
            keys.push_back(e->first);
            values.push_back(e->second);
        }
        auto matcher = automaton::AhoCorasick::build(keys, automaton::MatchKind::LeftmostLongest);
        KELRAD_ASSERT(matcher, "replacement keys are valid aho-corasick patterns");
        rebuilt.emplace(ReplacementAutomaton{std::move(*matcher), std::move(values)});
    }
    *global_replacements_ac().write() = std::move(rebuilt);
}

void publish(const ReplacementTable& table) {
    rebuild_replacement_automaton(table);
    REPLACEMENTS_ACTIVE.store(!table.empty(), std::memory_order_release);
}

}  // namespace

namespace tables {

std::expected<std::optional<std::string>, CoreError> apply_replacements(std::string_view text) {
    if (!REPLACEMENTS_ACTIVE.load(std::memory_order_acquire)) return std::nullopt;
    auto ac = global_replacements_ac().read();
    if (!ac->has_value()) return std::nullopt;
    const ReplacementAutomaton& automaton = **ac;

    // The output limit is checked after each piece, so the error reports the
    // size at the piece that crossed it.
    std::optional<std::string> out;
    std::size_t last = 0;
    for (const automaton::Match& match : automaton.matcher.find_all(text)) {
        if (!out) out.emplace().reserve(text.size());
        out->append(text.substr(last, match.start - last));
        out->append(automaton.values[match.pattern]);
        last = match.end;
        if (out->size() > MAX_REPLACEMENT_OUTPUT) {
            return fail(error::ReplacementOutputTooLarge{out->size(), MAX_REPLACEMENT_OUTPUT});
        }
    }
    if (!out) return std::nullopt;
    out->append(text.substr(last));
    if (out->size() > MAX_REPLACEMENT_OUTPUT) {
        return fail(error::ReplacementOutputTooLarge{out->size(), MAX_REPLACEMENT_OUTPUT});
    }
    return out;
}

}  // namespace tables

namespace transliterate {

std::expected<void, CoreError> register_replacements(std::span<const std::pair<std::string, std::string>> entries) {
    auto guard = tables::registration_guard("register_replacements");
    if (!guard) return std::unexpected(std::move(guard.error()));
    auto table = global_replacements().write();

    // Count distinct new keys: a key given twice in one call counts once.
    std::unordered_set<std::string_view> fresh;
    for (const auto& [key, value] : entries) {
        if (table->find(key) == table->end()) fresh.insert(key);
    }
    std::uint64_t projected = table->size() + fresh.size();
    if (projected > tables::MAX_REPLACEMENTS) {
        return fail(error::RegisterReplacementsLimit{tables::MAX_REPLACEMENTS, projected});
    }
    for (const auto& [key, value] : entries) table->insert_or_assign(key, value);
    publish(*table);
    return {};
}

std::expected<bool, CoreError> remove_replacement(std::string_view key) {
    auto guard = tables::registration_guard("remove_replacement");
    if (!guard) return std::unexpected(std::move(guard.error()));
    auto table = global_replacements().write();
    auto it = table->find(key);
    bool present = it != table->end();
    if (present) table->erase(it);
    publish(*table);
    return present;
}

std::expected<void, CoreError> clear_replacements() {
    auto guard = tables::registration_guard("clear_replacements");
    if (!guard) return std::unexpected(std::move(guard.error()));
    auto table = global_replacements().write();
    table->clear();
    publish(*table);
    return {};
}

}  // namespace transliterate
}  // namespace kelrad
