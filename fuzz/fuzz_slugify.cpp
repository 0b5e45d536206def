// Slugs with every option, a caller's regex pattern included: the options are
// refused only for the documented reasons, a slug keeps to max_length, is ASCII
// when Unicode is not allowed, and comes out the same through a reused
// workspace as through a fresh call.
#include "fuzz_input.hpp"
#include "presets/slug_regex.hpp"
#include "presets/slugify.hpp"
#include "translit/langs.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kLangs[] = {"", "auto", "de", "ru", "uk", "zh", "ja", "ko", "ar", "el", "hi", "nb", "vi"};
    fuzz::Input in(data, size);
    const std::string pattern = in.text(80);
    const bool has_pattern = in.flag();
    const std::string separator = in.text(4);
    const std::string safe_chars = in.text(4);
    const std::string lang = in.pick(kLangs);
    slugify::SlugOptionValues values;
    values.separator = separator;
    values.safe_chars = safe_chars;
    if (!lang.empty()) values.lang = lang;
    if (has_pattern) values.regex_pattern = pattern;
    values.max_length = in.number<std::int64_t>(-1, 40);
    values.lowercase = in.flag();
    values.word_boundary = in.flag();
    values.save_order = in.flag();
    values.allow_unicode = in.flag();
    values.entities = in.flag();
    values.decimal = in.flag();
    values.hexadecimal = in.flag();
    for (int n = in.number<int>(0, 3); n > 0; --n) values.stopwords.push_back(in.text(8));
    for (int n = in.number<int>(0, 2); n > 0; --n) values.replacements.emplace_back(in.text(6), in.text(6));
    const std::string text = in.rest();

    if (has_pattern) (void)slugify::rewrite_pattern(pattern);
    const std::int64_t max_length = values.max_length;
    const bool allow_unicode = values.allow_unicode;
    auto options = slugify::build_options(std::move(values));
    if (!options) {
        FUZZ_CHECK(max_length < 0 || has_pattern);
        return 0;
    }
    FUZZ_CHECK(max_length >= 0);

    const std::string slug = slugify::slugify(text, *options);
    FUZZ_CHECK(fuzz::is_valid_utf8(slug));
    if (max_length > 0) FUZZ_CHECK(slug.size() <= static_cast<std::size_t>(max_length));
    if (!allow_unicode && utf8::is_ascii(separator) && utf8::is_ascii(safe_chars)) FUZZ_CHECK(utf8::is_ascii(slug));

    // A reused workspace gives the same slugs, also after a different text.
    slugify::SlugWorkspace workspace;
    const auto stopwords = slugify::build_stopword_set(options->stopwords);
    FUZZ_CHECK(slugify::slugify(text, *options, &stopwords, workspace) == slug);
    (void)slugify::slugify(slug + text, *options, &stopwords, workspace);
    FUZZ_CHECK(slugify::slugify(text, *options, &stopwords, workspace) == slug);

    for (std::uint64_t counter : {1ull, 10ull, 12345ull}) {
        auto candidate = slugify::unique_slug_candidate(slug, counter, options->separator, options->max_length,
                                                        allow_unicode);
        if (!candidate) continue;
        FUZZ_CHECK(fuzz::is_valid_utf8(*candidate));
        if (max_length > 0) FUZZ_CHECK(candidate->size() <= static_cast<std::size_t>(max_length));
    }
    return 0;
}
