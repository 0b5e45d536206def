#include "translit/context.hpp"

#include <utility>

#include "text/warning.hpp"
#include "translit/langs.hpp"
#include "translit/replacements.hpp"
#include "util/utf8.hpp"

namespace kelrad::context {
namespace {

// The punctuation and digits inside the Hebrew and Arabic blocks separate
// words as their Latin counterparts do.
constexpr bool is_abjad_non_word(char32_t c) noexcept {
    switch (c) {
        case 0x05BE:  // HEBREW PUNCTUATION MAQAF
        case 0x05C0:  // HEBREW PUNCTUATION PASEQ
        case 0x05C3:  // HEBREW PUNCTUATION SOF PASUQ
        case 0x05C6:  // HEBREW PUNCTUATION NUN HAFUKHA
        case 0x060C:  // ARABIC COMMA
        case 0x061B:  // ARABIC SEMICOLON
        case 0x061F:  // ARABIC QUESTION MARK
        case 0x06D4:  // ARABIC FULL STOP
            return true;
        default:
            return (c >= 0x0660 && c <= 0x0669) ||  // ARABIC-INDIC DIGITs
                   (c >= 0x066A && c <= 0x066D) ||  // ARABIC PERCENT SIGN .. FIVE POINTED STAR
                   (c >= 0x06F0 && c <= 0x06F9);    // EXTENDED ARABIC-INDIC DIGITs
    }
}

constexpr bool is_word_char(char32_t c) noexcept {
    const bool in_blocks = (c >= 0x0590 && c <= 0x06FF) || (c >= 0x0750 && c <= 0x077F) ||
                           (c >= 0x08A0 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
                           (c >= 0xFE70 && c <= 0xFEFF);
    return in_blocks && !is_abjad_non_word(c);
}

constexpr bool ends_sentence(char32_t c) noexcept {
    return c == '\n' || c == '\r' || c == '.' || c == '!' || c == '?' || c == 0x061F || c == 0x06D4 || c == 0x05C3;
}

// The vowel marks a key leaves out.
constexpr bool is_hebrew_key_mark(char32_t c) noexcept {
    return (c >= 0x05B0 && c <= 0x05BD) || c == 0x05BF || c == 0x05C1 || c == 0x05C2 || c == 0x05C4 ||
           c == 0x05C5 || c == 0x05C7;
}
constexpr bool is_arabic_key_mark(char32_t c) noexcept {
    return (c >= 0x064B && c <= 0x0655) || c == 0x0670 || c == 0x0640;
}

// The end of the non-word run at `i`, and whether it ends a sentence.
std::size_t non_word_run_end(std::string_view text, std::size_t i, bool& sentence_end) noexcept {
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            sentence_end = sentence_end || ends_sentence(b);
            ++i;
            continue;
        }
        const auto [c, len] = utf8::decode(text, i);
        if (is_word_char(c)) break;
        sentence_end = sentence_end || ends_sentence(c);
        i += len;
    }
    return i;
}

}  // namespace

void transliterate_with_dict(std::string_view text, const transliterate::TransliterateOptions& options,
                             const ContextDict& dictionary, std::string& out) {
    out.clear();
    if (text.empty()) return;
    out.reserve(text.size());
    transliterate::TransliterateOptions engine_options = options;
    engine_options.tones = false;
    const bool hebrew_keys = options.lang && *options.lang == "he";

    std::string run_out;  // reused by every engine call
    auto append_transliteration = [&](std::string_view run) {
        if (transliterate::transliterate_engine(run, engine_options, run_out)) {
            out += run_out;
        } else {
            out += run;  // pure ASCII
        }
    };

    std::string key, previous_key;
    bool has_previous = false;
    std::size_t i = 0;
    while (i < text.size()) {
        bool sentence_end = false;
        const std::size_t word_start = non_word_run_end(text, i, sentence_end);
        if (word_start > i) {
            append_transliteration(text.substr(i, word_start - i));
            if (sentence_end) has_previous = false;
        }
        if (word_start == text.size()) break;

        key.clear();
        i = word_start;
        while (i < text.size()) {
            const auto [c, len] = utf8::decode(text, i);
            if (!is_word_char(c)) break;
            if (!(hebrew_keys ? is_hebrew_key_mark(c) : is_arabic_key_mark(c))) key.append(text, i, len);
            i += len;
        }
        std::optional<std::string_view> vowelled;
        if (has_previous && dictionary.has_bigrams()) vowelled = dictionary.bigram(previous_key, key);
        if (!vowelled) vowelled = dictionary.unigram(key);
        append_transliteration(vowelled ? *vowelled : text.substr(word_start, i - word_start));
        std::swap(previous_key, key);
        has_previous = true;
    }
}

}  // namespace kelrad::context

namespace kelrad::transliterate {

std::expected<void, CoreError> transliterate_context(std::string_view text, std::optional<std::string_view> lang,
                                                     std::string_view errors, std::string_view replace_with,
                                                     bool strict_iso9, bool gost7034, std::string& out,
                                                     context::BlockingRunner run_blocking) {
    if (strict_iso9 && gost7034) return fail(error::MutuallyExclusiveBare{});
    if (auto r = resolve_lang(lang); !r) return r;
    auto mode = parse_error_mode(errors);
    if (!mode) return std::unexpected(std::move(mode.error()));
    auto replaced = tables::apply_replacements(text);
    if (!replaced) return std::unexpected(std::move(replaced.error()));

    // "fa" falls back to the Arabic dictionary only when no Persian file
    // exists, not when it is corrupt.
    const context::DictLoad* load = nullptr;
    std::string_view name;
    if (lang == "he") {
        load = &context::hebrew_dict(run_blocking);
        name = "Hebrew";
    } else if (lang == "fa") {
        load = &context::persian_dict(run_blocking);
        if (std::holds_alternative<context::NotFound>(*load)) load = &context::arabic_dict(run_blocking);
        name = "Arabic/Persian";
    } else {
        load = &context::arabic_dict(run_blocking);
        name = "Arabic";
    }
    if (std::holds_alternative<context::NotFound>(*load)) return fail(error::ContextDictNotFound{std::string(name)});
    if (const auto* corrupt = std::get_if<context::Corrupt>(load)) {
        return fail(error::ContextDictCorrupt{std::string(name), corrupt->message});
    }

    const TransliterateOptions options{.lang = lang,
                                       .errors = *mode,
                                       .replace_with = replace_with,
                                       .strict_iso9 = strict_iso9,
                                       .gost7034 = gost7034};
    const std::string_view subject = *replaced ? std::string_view(**replaced) : text;
    context::transliterate_with_dict(subject, options, std::get<context::ContextDict>(*load), out);
    return {};
}

}  // namespace kelrad::transliterate
