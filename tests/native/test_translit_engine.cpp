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

std::string composed(std::string_view text) {
    std::string out;
    compose::Composer c = compose::compose(text);
    while (auto ch = c.next()) utf8::append(out, ch->ch);
    return out;
}

TransliterateOptions with(void (*set)(TransliterateOptions&)) {
    TransliterateOptions o;
    set(o);
    return o;
}

std::string engine(std::string_view text, const TransliterateOptions& options,
                   UntranslatableCollector* collector = nullptr) {
    std::string out;
    return transliterate::transliterate_engine(text, options, out, collector) ? out : std::string(text);
}

// Random text over characters that exercise every branch of the pass: ASCII,
// CJK, kana, Brahmic consonants, signs and viramas, combining marks that
// compose and that do not, conjoining jamo, characters without any value.
std::string random_text(std::mt19937& rng) {
    static const char32_t pool[] = {
        U'a', U'Z', U'7', U' ', U',', 0x00E9, 0x0301, 0x0308, 0x0323, 0x0338, U'=', 0x2203, 0x5317, 0x4EAC,
        0x30AB, 0x30CA, 0x3042, 0xD55C, 0x1100, 0x1161, 0x11A8, 0x0915, 0x093F, 0x094D, 0x093C, 0x0937,
        0x3001, 0xFB01, 0x3000, 0x0429, 0x00E4, 0x0A29, 0x0A3F, 0x1F600, 0x05D1, 0x05BC,
    };
    std::uniform_int_distribution<std::size_t> len(0, 12), pick(0, std::size(pool) - 1);
    std::string text;
    for (std::size_t n = len(rng); n > 0; --n) utf8::append(text, pool[pick(rng)]);
    return text;
}

}  // namespace

// The first pass bails at the first character composition could join; the
// second walks the composed text. Either way the output is that of the
// composed text, and every reported character is the caller's own character
// at the reported offset.
TEST(translit_engine_compose_pass_against_precomposed_text) {
    std::mt19937 rng(20240611);
    const TransliterateOptions variants[] = {
        {},
        with([](TransliterateOptions& o) { o.lang = "auto"; }),
        with([](TransliterateOptions& o) { o.errors = ErrorMode::Preserve; }),
        with([](TransliterateOptions& o) {
            o.errors = ErrorMode::Ignore;
            o.tones = true;
        }),
    };
    for (int round = 0; round < 4000; ++round) {
        std::string text = random_text(rng);
        for (const TransliterateOptions& options : variants) {
            UntranslatableCollector collector;
            std::string out = engine(text, options, &collector);
            CHECK_EQ(out, engine(composed(text), options));
            std::uint64_t previous = 0;
            for (const auto& hit : collector.hits) {
                CHECK(hit.byte_offset < text.size() && utf8::is_boundary(text, hit.byte_offset));
                if (hit.byte_offset < text.size()) CHECK(utf8::decode(text, hit.byte_offset).cp == hit.ch);
                CHECK(hit.byte_offset >= previous);
                previous = hit.byte_offset;
            }
        }
    }
}

TEST(translit_engine_stop_at_first_keeps_one_hit) {
    UntranslatableCollector all, first{{}, true};
    TransliterateOptions options = with([](TransliterateOptions& o) {
        o.errors = ErrorMode::Ignore;
        o.replace_with = "";
    });
    std::string text = "e\xcc\x81\xe3\x80\x81x\xe3\x80\x82";  // e U+0301 U+3001 x U+3002
    engine(text, options, &all);
    engine(text, options, &first);
    CHECK_EQ(all.hits.size(), 2u);
    CHECK_EQ(first.hits.size(), 1u);
    CHECK(first.hits.front() == (transliterate::UntranslatableHit{0x3001, 3}));
}

TEST(translit_engine_ascii_is_not_written) {
    std::string out = "untouched";
    TransliterateOptions options = with([](TransliterateOptions& o) {
        o.lang = "de";
        o.tones = true;
    });
    CHECK(!transliterate::transliterate_engine("plain text", options, out));
    CHECK_EQ(out, "untouched");
    CHECK(!transliterate::transliterate_engine("", {}, out));
}

TEST(translit_engine_strict_mode) {
    std::string out;
    TransliterateOptions strict = with([](TransliterateOptions& o) { o.errors = transliterate::ERRORS_STRICT; });
    auto r = transliterate::transliterate_checked("ok", strict, out);
    CHECK(r && *r);
    CHECK_EQ(out, "ok");
    r = transliterate::transliterate_checked("a\xe3\x80\x81\xe3\x80\x82", strict, out);
    CHECK(!r);
    if (!r) CHECK_EQ(error::message(r.error()), "no transliteration for '\xe3\x80\x81' (U+3001) at byte offset 1");
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
