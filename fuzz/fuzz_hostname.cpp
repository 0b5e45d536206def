// Host-name homoglyph analysis (UTS #46 processing, Punycode, scripts and
// confusables per label) on arbitrary text: the analysis is internally
// consistent and its canonical form is well-formed UTF-8; Punycode decoding
// refuses or yields well-formed UTF-8.
#include "fuzz_input.hpp"
#include "security/hostname.hpp"
#include "security/idna.hpp"
#include "security/punycode.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool contractions = in.flag();
    const std::string host = in.rest();

    const hostname::HostnameAnalysis a = hostname::analyze(host, contractions);
    FUZZ_CHECK(fuzz::is_valid_utf8(a.canonical));
    std::size_t scripts_end = 0;
    for (const auto& label : a.labels) {
        FUZZ_CHECK(label.scripts_end >= scripts_end && label.scripts_end <= a.label_script_list.size());
        scripts_end = label.scripts_end;
        if (label.whole_script_confusable) FUZZ_CHECK(a.whole_script_confusable);
    }
    if (a.cross_label_script) FUZZ_CHECK(a.scripts.size() > 1);

    std::string unicode;
    (void)idna::to_unicode(host, unicode);
    FUZZ_CHECK(fuzz::is_valid_utf8(unicode));
    std::string decoded;
    if (punycode::decode(host, decoded)) FUZZ_CHECK(fuzz::is_valid_utf8(decoded));
    return 0;
}
