#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "testing.hpp"
#include "text/compose.hpp"
#include "translit/reverse.hpp"
#include "translit/transliterate.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using transliterate::TransliterateOptions;
using transliterate::UntranslatableCollector;

namespace {

// The composed text and, for each of its characters, (offset in the
// composed text, offset of its source in `text`).
struct Composed {
    std::string text;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> offsets;
};

Composed composed(std::string_view text) {
    Composed out;
    compose::Composer c = compose::compose(text);
    while (auto ch = c.next()) {
        out.offsets.emplace_back(out.text.size(), ch->offset);
        utf8::append(out.text, ch->ch);
    }
    return out;
}

std::string engine(std::string_view text, const TransliterateOptions& options,
                   UntranslatableCollector* collector = nullptr) {
    std::string out;
    return transliterate::transliterate_engine(text, options, out, collector) ? out : std::string(text);
}

// Random text over characters that exercise every branch of the pass: ASCII,
// CJK, kana, Brahmic consonants, signs and viramas, combining marks that
// compose and that do not, conjoining jamo, characters without any value.
std::string random_text(std::mt19937& rng, std::size_t max_len) {
    static const char32_t pool[] = {
        U'a', U'Z', U'7', U' ', U',', 0x00E9, 0x0301, 0x0308, 0x0323, 0x0338, U'=', 0x2203, 0x5317, 0x4EAC,
        0x30AB, 0x30CA, 0x3042, 0xD55C, 0x1100, 0x1161, 0x11A8, 0x0915, 0x093F, 0x094D, 0x093C, 0x0937,
        0x3001, 0xFB01, 0x3000, 0x0429, 0x00E4, 0x0A29, 0x0A3F, 0x1F600, 0x05D1, 0x05BC,
        0x05E9, 0x05B7, 0x05C1,  // pointed Hebrew: a vowel point between a letter and its dagesh
    };
    std::uniform_int_distribution<std::size_t> len(0, max_len), pick(0, std::size(pool) - 1);
    std::string text;
    for (std::size_t n = len(rng); n > 0; --n) utf8::append(text, pool[pick(rng)]);
    return text;
}

}  // namespace

// The output is that of the canonically composed text, and each reported
// character is the caller's own, at the offset of the source of the composed
// character it was reported for. Units are composed in place (or, with "auto",
// the whole text after a first walk); long texts go through the per-text
// character cache, short ones not.
TEST(translit_engine_compose_pass_against_precomposed_text) {
    std::mt19937 rng(20240611);
    const TransliterateOptions variants[] = {
        {}, {.lang = "auto"}, {.lang = {}, .errors = ErrorMode::Preserve},
        {.lang = {}, .errors = ErrorMode::Ignore, .tones = true}};
    for (int round = 0; round < 3000; ++round) {
        std::string text = random_text(rng, round % 3 == 0 ? 400 : 12);
        Composed whole = composed(text);
        for (const TransliterateOptions& options : variants) {
            UntranslatableCollector collector, reference;
            std::string out = engine(text, options, &collector);
            CHECK_EQ(out, engine(whole.text, options, &reference));
            // The reference hits, mapped from the composed text back.
            for (auto& hit : reference.hits) {
                auto it = std::upper_bound(whole.offsets.begin(), whole.offsets.end(), hit.byte_offset,
                                           [](std::uint64_t o, const auto& e) { return o < e.first; });
                if (it != whole.offsets.begin()) hit.byte_offset = std::prev(it)->second;
                hit.ch = utf8::decode(text, hit.byte_offset).cp;
            }
            CHECK(collector.hits == reference.hits);
        }
    }
}

TEST(translit_engine_stop_at_first_keeps_one_hit) {
    UntranslatableCollector all, first{{}, true};
    const TransliterateOptions options{.lang = {}, .errors = ErrorMode::Ignore, .replace_with = ""};
    std::string text = "e\xcc\x81\xe3\x80\x81x\xe3\x80\x82";  // e U+0301 U+3001 x U+3002
    engine(text, options, &all);
    engine(text, options, &first);
    CHECK_EQ(all.hits.size(), 2u);
    CHECK_EQ(first.hits.size(), 1u);
    CHECK(first.hits.front() == (transliterate::UntranslatableHit{0x3001, 3}));
}

TEST(translit_engine_ascii_is_not_written) {
    std::string out = "untouched";
    const TransliterateOptions options{.lang = "de", .tones = true};
    CHECK(!transliterate::transliterate_engine("plain text", options, out));
    CHECK_EQ(out, "untouched");
    CHECK(!transliterate::transliterate_engine("", {}, out));
}

// U+FDFA has a compatibility form of 33 bytes, beyond any inline buffer.
TEST(translit_engine_long_nfkc_form) {
    std::string out = engine("\xef\xb7\xba", {});
    CHECK(!out.empty());
    CHECK(utf8::is_ascii(out));
}

TEST(translit_reverse_lookup) {
    CHECK(reverse::reverse_lookup("shch", "ru") == std::optional<std::string_view>("\xd1\x89"));
    CHECK(reverse::reverse_lookup("Yi", "uk") == std::optional<std::string_view>("\xd0\x87"));
    CHECK(!reverse::reverse_lookup("Yi", "ru"));
    CHECK(!reverse::reverse_lookup("a", "RU"));
    CHECK(!reverse::reverse_lookup("", "el"));
    CHECK(!reverse::reverse_lookup(std::string_view("a\0", 2), "el"));
    CHECK(!reverse::reverse_lookup("shchx", "ru"));
}
