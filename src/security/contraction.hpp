// Contraction rules: letter pairs that read as one letter in many fonts ("rn"
// as "m"). The host-name analysis rewrites each label of its canonical form
// with them on request, so that a host imitating another by such pairs gets
// the imitated canonical form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "util/automaton.hpp"

namespace kelrad::contraction {

struct ContractionRule {
    std::string_view pattern;
    std::string_view replacement;
};

// Pattern i is replaced by replacement i. Every pattern is two bytes long, so
// leftmost-longest matching takes, at each position, the pattern starting
// there, and the scan resumes after the two matched letters ("vvv" -> "wv").
inline constexpr ContractionRule CONTRACTION_RULES[] = {
    {"cl", "d"},
    {"rn", "m"},
    {"vv", "w"},
};

// The leftmost-longest, case-sensitive automaton over the rule patterns in
// table order.
automaton::AhoCorasick build_contraction_automaton();

// The labels of a host text (split at every "." like a string split, empty
// labels included), each yielded as a new string with every rule match
// replaced. Matches never span a dot. The automaton is built on first use,
// once for the process, and read without a lock afterwards.
class ContractedLabels {
public:
    explicit ContractedLabels(std::string_view host) noexcept : rest_(host) {}

    // The next contracted label, or nullopt after the last one.
    std::optional<std::string> next();

private:
    std::string_view rest_;
    bool done_ = false;
};

}  // namespace kelrad::contraction
