// Token anomaly detection on arbitrary text with a small lexicon taken from the
// input: the yes/no test agrees with the report, the report's reason is its
// first finding's, and every finding but a smuggled one (whose token is the
// decoded payload) spans its token in the text.
#include "fuzz_input.hpp"
#include "security/anomalies.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    std::vector<std::string> words;
    for (int n = in.number<int>(0, 4); n > 0; --n) words.push_back(in.text(12));
    const std::string text = in.rest();
    const anomalies::Lexicon lexicon(words);

    const anomalies::AnomalyReport report = anomalies::inspect_anomalies(text, lexicon);
    FUZZ_CHECK(anomalies::has_anomalies(text, lexicon) == report.anomalous);
    FUZZ_CHECK(report.anomalous == !report.findings.empty());
    FUZZ_CHECK(report.reason == (report.findings.empty() ? std::nullopt
                                                         : std::optional(report.findings.front().reason())));
    for (const auto& f : report.findings) {
        FUZZ_CHECK(f.start <= f.end && f.end <= text.size());
        FUZZ_CHECK(fuzz::is_valid_utf8(f.token) && fuzz::is_valid_utf8(f.detail) && fuzz::is_valid_utf8(f.reason()));
        if (f.kind != anomalies::AnomalyKind::Smuggled) FUZZ_CHECK(text.substr(f.start, f.end - f.start) == f.token);
    }
    return 0;
}
