#include <string>
#include <vector>

#include "security/contraction.hpp"
#include "security/hostname.hpp"
#include "testing.hpp"
#include "text/normalize.hpp"

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
        {"rnicrosoft", "microsoft"}, {"clouds", "douds"}, {"vvindovvs", "windows"},
        {"rnrn", "mm"},              {"vvv", "wv"},       {"cll", "dl"},
        {"RN.Rn.rN.CL.Vv", "RN.Rn.rN.CL.Vv"},  // case-sensitive
        {"r.n", "r.n"},              {"a.rn.b", "a.m.b"}, {"..", ".."},
        {"", ""},                    {"r\u00E9n", "r\u00E9n"},
    };
    for (const auto& c : cases) CHECK_EQ(contracted(c.host), c.want);

    contraction::ContractedLabels labels("..");
    int count = 0;
    while (auto label = labels.next()) count += label->empty();
    CHECK_EQ(count, 3);
}

TEST(hostname_strip_invisible_in_place) {
    std::string text = testing::u8(U"a\u00ADb\u200Bc\U000E0001\U0010FFFF\u200Ed");
    bool removed = false;
    hostname::strip_invisible(text, removed);
    CHECK_EQ(text, testing::u8(U"abc\u200Ed"));  // the bidi control stays
    CHECK(removed);
    hostname::strip_invisible(text, removed);
    CHECK(removed);  // never reset
    bool again = false;
    hostname::strip_invisible(text, again);
    CHECK(!again);
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
