// Host-name homoglyph analysis: whether a host name may be a spoofing attack,
// and why.
//
// Each label is processed the way a resolver would (UTS #46 toUnicode, see
// idna.hpp), brought to NFKC and cleared of invisible characters; the
// processed labels are then examined for compatibility-folded characters,
// invisible characters, bidirectional controls and conflicts, scripts mixed
// within a label, characters that fold to Latin look-alikes (UTS #39),
// labels wholly in one non-Latin script that read as Latin, and scripts
// spread across labels. The analysis also gives the host's canonical form:
// the processed labels folded onto their Latin look-alikes, optionally with
// the letter-pair contractions of contraction.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/scripts.hpp"

namespace kelrad::hostname {

// The invisible characters of host names: Default_Ignorable_Code_Point,
// private use and the noncharacters, minus the bidirectional formatting
// characters (U+061C, U+200E-200F, U+202A-202E, U+2066-2069), which the
// analysis reports as bidi controls instead. 141,696 code points.
bool is_invisible(char32_t c) noexcept;

// Removes every invisible character from `text` in place, keeping the order
// of the rest; sets `removed` when it removed at least one (never resets it).
void strip_invisible(std::string& text, bool& removed);

// One label's findings besides its scripts.
struct LabelFindings {
    std::uint32_t scripts_end;     // where the label's scripts end in `label_script_list`
    bool whole_script_confusable;  // in one script, not Latin, and its Latin fold is all Latin
};

struct HostnameAnalysis {
    std::vector<scripts::Script> scripts;  // of all labels, in order of first appearance
    // The scripts of each label in order of first appearance, label after
    // label: one list for the whole host rather than one per label.
    std::vector<scripts::Script> label_script_list;
    std::vector<LabelFindings> labels;  // per label
    std::string canonical;
    bool suspicious = false;
    bool mixed_script = false;             // some label mixes scripts
    bool has_confusables = false;          // some label holds a character that folds to a Latin look-alike
    bool bidi_conflict = false;            // the processed host holds strong LTR and RTL characters
    bool bidi_control = false;             // the processed host holds a bidirectional control
    bool has_invisible = false;            // an invisible character was removed
    bool compat_fold = false;              // some label holds a character that NFKC changes
    bool cross_label_script = false;       // more than one script over all labels
    bool whole_script_confusable = false;  // some label is whole-script confusable with Latin

    // The scripts of label i.
    std::span<const scripts::Script> label_scripts(std::size_t i) const noexcept {
        std::size_t start = i == 0 ? 0 : labels[i - 1].scripts_end;
        return std::span(label_script_list).subspan(start, labels[i].scripts_end - start);
    }
};

// Analyses a host name; never fails. A bracketed IPv6 literal gives a record
// with every flag false, empty lists and the NFKC host as `canonical`. With
// `contractions`, each label of `canonical` is rewritten by the contraction
// rules.
HostnameAnalysis analyze(std::string_view host, bool contractions);

}  // namespace kelrad::hostname
