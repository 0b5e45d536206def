#include "security/confusable_reports.hpp"

#include <algorithm>
#include <utility>

#include "security/composed_walk.hpp"
#include "security/confusables.hpp"
#include "tables/scripts.hpp"
#include "text/scripts.hpp"
#include "util/ascii.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::confusables {
namespace {

bool is_upstream_source(char32_t c) noexcept { return in_ranges(tables::UPSTREAM_CONFUSABLE_SOURCES, c); }

// The character of the text that starts at `offset`.
char32_t char_at(std::string_view text, std::uint64_t offset) noexcept {
    return utf8::decode(text, static_cast<std::size_t>(offset)).cp;
}

}  // namespace

std::expected<std::vector<std::string_view>, CoreError> resolve_allowed_scripts(std::span<const std::string> names) {
    std::vector<std::string_view> out;
    out.reserve(names.size());
    for (const std::string& name : names) {
        const auto* match = std::find_if(std::begin(tables::SCRIPT_NAMES), std::end(tables::SCRIPT_NAMES),
                                         [&](std::string_view s) { return ascii::equal_ignoring_case(s, name); });
        if (match == std::end(tables::SCRIPT_NAMES)) return fail(error::UnknownScript{name});
        out.push_back(*match);
    }
    return out;
}

std::expected<std::vector<ConfusableFinding>, CoreError> find_confusables(
    std::string_view text, std::string_view target_script, std::span<const std::string> allowed_scripts) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    auto allowed = resolve_allowed_scripts(allowed_scripts);
    if (!allowed) return std::unexpected(std::move(allowed.error()));
    const tables::ConfusableMap& map = target_map(*target);

    std::vector<ConfusableFinding> found;
    for_each_composed<false>(text, [&](char32_t c, std::size_t offset) {
        std::string_view prototype = map.prototype(c);
        if (prototype.empty()) return true;
        if (!allowed->empty()) {
            scripts::Script s = scripts::effective_script(c);
            if (s != tables::kCommon && s != tables::kInherited &&
                std::find(allowed->begin(), allowed->end(), s) != allowed->end()) {
                return true;
            }
        }
        found.push_back({char_at(text, offset), offset, prototype});
        return true;
    });
    return found;
}

std::expected<tables::ConfusableCoverage, CoreError> confusable_coverage(std::string_view script) {
    const auto* row = std::lower_bound(std::begin(tables::CONFUSABLE_COVERAGE), std::end(tables::CONFUSABLE_COVERAGE),
                                       script, [](const auto& r, std::string_view s) { return r.script < s; });
    if (row != std::end(tables::CONFUSABLE_COVERAGE) && row->script == script) return *row;
    const auto* name = std::lower_bound(std::begin(tables::SCRIPT_NAMES), std::end(tables::SCRIPT_NAMES), script);
    if (name != std::end(tables::SCRIPT_NAMES) && *name == script) return tables::ConfusableCoverage{*name, 0, 0};
    return fail(error::UnknownScript{std::string(script)});
}

std::expected<std::vector<char32_t>, CoreError> unmapped_confusables(std::string_view target_script) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    const tables::ConfusableMap& map = target_map(*target);
    std::vector<char32_t> out;
    for (const CodepointRange& r : tables::UPSTREAM_CONFUSABLE_SOURCES) {
        for (char32_t c = r.first; c <= r.last; ++c) {
            if (map.prototype(c).empty()) out.push_back(c);
        }
    }
    return out;  // the ranges are sorted, so the code points are ascending
}

std::expected<std::vector<UnmappedFinding>, CoreError> find_unmapped_confusables(std::string_view text,
                                                                                 std::string_view target_script) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    const tables::ConfusableMap& map = target_map(*target);
    std::vector<UnmappedFinding> found;
    for_each_composed<true>(text, [&](char32_t c, std::size_t offset) {
        if (map.prototype(c).empty() && is_upstream_source(c)) found.push_back({char_at(text, offset), offset});
        return true;
    });
    return found;
}

}  // namespace kelrad::confusables
