// Confusable folding (UTS #39) and the confusable reports on arbitrary text,
// for every target and digit policy: no failure with valid options, well-formed
// output, and reports whose offsets point at the characters they name.
#include "fuzz_input.hpp"
#include "security/confusable_reports.hpp"
#include "security/confusables.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kTargets[] = {"latin", "cyrillic", "arabic", "hebrew"};
    static const char* const kPolicies[] = {"numeric", "tr39", "preserve"};
    static const std::vector<std::string> kAllowed[] = {{}, {"Latin"}, {"cyrillic", "GREEK"}, {"Common", "Han"}};
    fuzz::Input in(data, size);
    const std::string_view target = in.pick(kTargets);
    const std::string_view policy = in.pick(kPolicies);
    const std::vector<std::string>& allowed = in.pick(kAllowed);
    const std::string text = in.rest();

    std::string folded;
    auto changed = confusables::normalize_confusables(text, target, policy, folded);
    FUZZ_CHECK(changed.has_value());
    if (*changed) FUZZ_CHECK(fuzz::is_valid_utf8(folded));
    FUZZ_CHECK(confusables::is_confusable(text, target).has_value());

    std::string chars;
    auto parsed = confusables::parse_digit_policy(policy);
    FUZZ_CHECK(parsed.has_value() && confusables::fold_chars(text, target, *parsed, chars).has_value());
    FUZZ_CHECK(fuzz::is_valid_utf8(chars));

    auto found = confusables::find_confusables(text, target, allowed);
    FUZZ_CHECK(found.has_value());
    for (const auto& f : *found) {
        FUZZ_CHECK(fuzz::is_valid_utf8(f.prototype));
        FUZZ_CHECK(f.offset < text.size() && utf8::is_boundary(text, f.offset));
    }
    auto unmapped = confusables::find_unmapped_confusables(text, target);
    FUZZ_CHECK(unmapped.has_value());
    // Offsets are those of the text as given, at character boundaries (the
    // character found may be the composition of a sequence starting there).
    for (const auto& u : *unmapped) FUZZ_CHECK(u.offset < text.size() && utf8::is_boundary(text, u.offset));
    return 0;
}
