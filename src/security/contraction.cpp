#include "security/contraction.hpp"

#include <array>

#include "util/panic.hpp"

namespace kelrad::contraction {
namespace {

constexpr auto kReplacements = [] {
    std::array<std::string_view, std::size(CONTRACTION_RULES)> values{};
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = CONTRACTION_RULES[i].replacement;
    return values;
}();

const automaton::AhoCorasick& contraction_automaton() {
    // A function-local static: built by the first caller, exactly once even
    // when several threads arrive together, immutable afterwards.
    static const automaton::AhoCorasick CONTRACTION_AUTOMATON = build_contraction_automaton();
    return CONTRACTION_AUTOMATON;
}

}  // namespace

automaton::AhoCorasick build_contraction_automaton() {
    std::array<std::string_view, std::size(CONTRACTION_RULES)> patterns{};
    for (std::size_t i = 0; i < patterns.size(); ++i) patterns[i] = CONTRACTION_RULES[i].pattern;
    std::optional<automaton::AhoCorasick> built = automaton::AhoCorasick::build(
        std::span<const std::string_view>(patterns), automaton::MatchKind::LeftmostLongest);
    KELRAD_ASSERT(built, "the contraction rule set is validated at build time");
    return *std::move(built);
}

std::optional<std::string> ContractedLabels::next() {
    if (done_) return std::nullopt;
    std::size_t dot = rest_.find('.');
    std::string_view label = rest_.substr(0, dot);
    if (dot == std::string_view::npos) {
        done_ = true;
    } else {
        rest_.remove_prefix(dot + 1);
    }
    std::string out;
    if (!contraction_automaton().replace_all(label, kReplacements, out)) out.assign(label);
    return out;
}

}  // namespace kelrad::contraction
