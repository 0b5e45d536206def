#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "security/confusables.hpp"
#include "security/contraction.hpp"
#include "security/hostname.hpp"
#include "security/idna.hpp"
#include "testing.hpp"
#include "text/normalize.hpp"
#include "text/scripts.hpp"

using namespace kelrad;

namespace {

std::string contracted(std::string_view host) {
    contraction::ContractedLabels labels(host);
    std::string joined;
    for (bool first = true; auto label = labels.next(); first = false) {
        if (!first) joined += '.';
        joined += *label;
    }
    return joined;
}

}  // namespace

TEST(hostname_contracted_labels) {
    struct Case {
        std::string_view host, want;
    };
    const Case cases[] = {
        {"clouds", "douds"}, {"vvindovvs", "windows"}, {"rnrn", "mm"},  {"cll", "dl"},
        {"RN.Rn.rN.CL.Vv", "RN.Rn.rN.CL.Vv"},  // case-sensitive
        {"r.n", "r.n"},      {"", ""},             {"r\u00E9n", "r\u00E9n"},
    };
    for (const auto& c : cases) CHECK_EQ(contracted(c.host), c.want);
}

TEST(hostname_nfkc_quick_check_decides_single_characters) {
    // The compatibility test reads the NFKC quick check of each character
    // instead of normalizing it: a character is changed by NFKC on its own
    // exactly when its quick check is No.
    int mismatches = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string alone = utf8::encode(cp);
        bool changes = normalize::to_nfkc(alone) != alone;
        bool quick_no = normalize::quick_check(cp, normalize::Form::NFKC) == normalize::QuickCheck::No;
        if (changes != quick_no && ++mismatches <= 10) std::cerr << testing::cp_name(cp) << "\n";
    }
    CHECK_EQ(mismatches, 0);
}

TEST(hostname_canonical_folds_stretches_as_the_whole) {
    // The analysis folds the labels of a host in stretches; the result must
    // be the fold of the whole processed host without its bidi controls. Its
    // scripts are found without detect_scripts; they must be the same.
    // The alphabet holds look-alikes of every kind (multi-character and
    // dotted prototypes, marks that compose, whole-script labels), mapped
    // and compatibility characters, separators and bidi controls, but no
    // invisible character, so that processing the host whole gives J.
    const std::u32string alphabet =
        U"abrn01-.\u3002\u0430\u0440\u0435\u043E\u0441\u03BF\u03B1\u0301\u0308\u0338\u2026\uFF41\uFF21\u2488"
        U"\uFB01\U0001D41A\u0130\u00DF\u0663\u05D0\u202E\u200F\U0001D592\u2025";
    std::mt19937 rng(3120);
    int failed = 0;
    for (int i = 0; i < 20000; ++i) {
        std::u32string host;
        for (auto n = rng() % 12; n > 0; --n) host += alphabet[rng() % alphabet.size()];
        std::string text = testing::u8(host), unicode, folded;
        idna::to_unicode(text, unicode);
        std::string j = normalize::to_nfkc(unicode), plain;
        for (auto [cp, len] : utf8::chars(j)) {
            if (!scripts::has_bidi_control(utf8::encode(cp))) utf8::append(plain, cp);
        }
        if (*confusables::normalize_confusables(plain, "latin", "numeric", folded)) plain = folded;
        hostname::HostnameAnalysis a = hostname::analyze(text, false);
        bool scripts_ok = a.scripts == scripts::detect_scripts(j);
        // Label by label where no mapping made a full stop (U+2025 maps to "..").
        bool aligned = static_cast<std::size_t>(std::ranges::count(j, '.')) + 1 == a.labels.size();
        std::size_t start = 0;
        for (std::size_t label = 0; aligned && label < a.labels.size(); ++label) {
            std::size_t dot = std::min(j.find('.', start), j.size());
            auto want = scripts::detect_scripts(std::string_view(j).substr(start, dot - start));
            scripts_ok = scripts_ok && std::ranges::equal(a.label_scripts(label), want);
            start = dot + 1;
        }
        if ((a.canonical != plain || !scripts_ok) && ++failed <= 10) {
            std::cerr << text << ": " << a.canonical << " != " << plain << "\n";
        }
    }
    CHECK_EQ(failed, 0);
}
