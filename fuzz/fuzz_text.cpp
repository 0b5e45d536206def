// The text primitives on arbitrary text: the strip family, zalgo, grapheme
// clusters (UAX #29), terminal width, scripts and bidi tests, the escapers and
// punctuation folding. Every output is well-formed UTF-8; clusters rejoin to the
// text, and its width is the sum of theirs; the escapers leave nothing they
// escape.
#include "fuzz_input.hpp"
#include "text/escape.hpp"
#include "text/grapheme.hpp"
#include "text/percent.hpp"
#include "text/punctuation.hpp"
#include "text/scripts.hpp"
#include "text/strip.hpp"
#include "text/width.hpp"
#include "text/zalgo.hpp"

using namespace kelrad;

namespace {

using Strip = void (*)(std::string_view, std::string&);

void check_strip(Strip strip, std::string_view text) {
    std::string out;
    strip(text, out);
    FUZZ_CHECK(fuzz::is_valid_utf8(out));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const percent::UrlComponent kComponents[] = {percent::UrlComponent::Path, percent::UrlComponent::Segment,
                                                        percent::UrlComponent::Query, percent::UrlComponent::Form};
    fuzz::Input in(data, size);
    const auto threshold = in.number<std::size_t>(0, 8);
    const auto max_marks = in.number<std::size_t>(0, 8);
    const auto component = in.pick(kComponents);
    const bool keep_tab = in.flag(), letters_only = in.flag(), private_use = in.flag(), emoji_vs = in.flag();
    const bool ambiguous_wide = in.flag();
    const std::string replacement = in.text(3);
    const std::string text = in.rest();

    for (Strip strip : {strip::collapse_whitespace, strip::strip_control_chars, strip::strip_zero_width_chars,
                        strip::strip_bidi, strip::strip_pua, strip::strip_noncharacters,
                        strip::strip_variation_selectors}) {
        check_strip(strip, text);
    }
    FUZZ_CHECK(fuzz::is_valid_utf8(strip::strip_tags(text)));
    std::string format;
    strip::strip_format_chars(text, private_use, emoji_vs, format);
    FUZZ_CHECK(fuzz::is_valid_utf8(format));

    (void)zalgo::is_zalgo(text, threshold);
    std::string unzalgo;
    zalgo::strip_zalgo(text, max_marks, unzalgo);
    FUZZ_CHECK(fuzz::is_valid_utf8(unzalgo));
    std::string collapsed;
    if (zalgo::collapse_repeated_marks(text, collapsed)) FUZZ_CHECK(fuzz::is_valid_utf8(collapsed));

    std::string rejoined;
    std::size_t clusters = 0;
    std::uint64_t width = 0;
    for (std::string_view cluster : grapheme::clusters(text)) {
        FUZZ_CHECK(!cluster.empty());
        rejoined += cluster;
        ++clusters;
        width += width::grapheme_width(cluster, ambiguous_wide);
    }
    FUZZ_CHECK(rejoined == text && clusters == grapheme::count(text));
    FUZZ_CHECK(width::text_width(text, ambiguous_wide) == width);

    (void)scripts::detect_scripts(text);
    (void)scripts::is_mixed_script(text);
    (void)scripts::has_bidi_control(text);
    (void)scripts::has_bidi_conflict(text, letters_only);

    std::string html;
    if (escape::escape_html(text, html)) {
        FUZZ_CHECK(fuzz::is_valid_utf8(html) && html.find_first_of("<>\"'") == std::string::npos);
    }
    std::string log;
    auto logged = escape::strip_log_injection(text, replacement, keep_tab, log);
    if (logged && *logged) FUZZ_CHECK(fuzz::is_valid_utf8(log));
    std::string url;
    percent::percent_encode(text, component, url);
    for (unsigned char c : url) FUZZ_CHECK(c > 0x20 && c < 0x7F);
    std::string punctuation;
    if (punctuation::fold_punctuation(text, punctuation)) FUZZ_CHECK(fuzz::is_valid_utf8(punctuation));
    return 0;
}
