// Transliteration with every option, the untranslatable report and accent
// stripping: no failure but the documented strict one, well-formed output.
#include "fuzz_input.hpp"
#include "translit/accents.hpp"
#include "translit/langs.hpp"
#include "translit/transliterate.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> langs = [] {
        auto codes = transliterate::list_langs();
        codes.insert(codes.end(), {"auto", "nb", "nn", ""});
        return codes;
    }();
    fuzz::Input in(data, size);
    transliterate::TransliterateOptions options;
    const std::size_t lang = in.number<std::size_t>(0, langs.size());
    if (lang < langs.size() && !langs[lang].empty()) options.lang = langs[lang];
    options.errors = in.pick({ErrorMode::Replace, ErrorMode::Ignore, ErrorMode::Preserve, transliterate::ERRORS_STRICT});
    const std::string replace_with = in.text(8);
    options.replace_with = replace_with;
    options.strict_iso9 = in.flag();
    options.gost7034 = !options.strict_iso9 && in.flag();
    options.tones = in.flag();
    const std::string text = in.rest();
    FUZZ_CHECK(transliterate::resolve_lang(options.lang).has_value());

    std::string out;
    auto r = transliterate::transliterate(text, options, out);
    FUZZ_CHECK(r.has_value() || options.errors == transliterate::ERRORS_STRICT);
    if (r && *r) FUZZ_CHECK(fuzz::is_valid_utf8(out));

    auto hits = transliterate::find_untranslatable(text, options);
    FUZZ_CHECK(hits.has_value());
    for (const auto& hit : *hits) FUZZ_CHECK(hit.byte_offset < text.size());
    // Under "strict" exactly the texts with an untranslatable character fail.
    if (options.errors == transliterate::ERRORS_STRICT) FUZZ_CHECK(r.has_value() == hits->empty());

    std::string stripped;
    transliterate::strip_accents_into(text, stripped);
    FUZZ_CHECK(fuzz::is_valid_utf8(stripped));
    return 0;
}
