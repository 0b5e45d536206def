#include <sstream>
#include <vector>

#include "tables/normalization_compose.hpp"
#include "testing.hpp"
#include "text/compose.hpp"
#include "text/normalize.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using testing::u8;

namespace {

// "U+00E9@0 U+0301@3": the composed characters with their offsets.
std::string composed(std::string_view text) {
    std::ostringstream os;
    compose::Composer c = compose::compose(text);
    bool first = true;
    while (auto x = c.next()) {
        if (!first) os << ' ';
        first = false;
        os << "U+" << std::hex << std::uppercase << static_cast<std::uint32_t>(x->ch) << std::dec << '@' << x->offset;
    }
    return os.str();
}

std::string spans(std::string_view text) {
    std::ostringstream os;
    normalize::SpanState state(text);
    while (auto s = normalize::next_unstable_span(state)) {
        os << '[' << s->start << ',' << s->end << ' ';
        if (s->previous) {
            os << std::hex << std::uppercase << static_cast<std::uint32_t>(*s->previous) << std::dec;
        } else {
            os << "none";
        }
        os << ']';
    }
    return os.str();
}

}  // namespace

TEST(compose_offsets_into_the_source) {
    struct Case {
        const char* name;
        std::u32string text;
        std::string want;
    };
    const Case cases[] = {
        {"shin dagesh shin-dot", U"\u05E9\u05BC\u05C1", "U+FB2C@0"},
        {"shin dagesh", U"\u05E9\u05BC", "U+FB49@0"},
        {"shin dagesh shin-dot after alef", U"\u05D0\u05E9\u05BC\u05C1 ", "U+5D0@0 U+FB2C@2 U+20@8"},
        {"shin-dot before dagesh", U"\u05E9\u05C1\u05BC", "U+FB2C@0"},  // NFC reorders the points
        {"devanagari nukta", U"\u0915\u093C", "U+958@0"},
        {"e acute", U"xe\u0301y", "U+78@0 U+E9@1 U+79@4"},
        {"marks that do not compose", U"q\u0301\u0323", "U+71@0 U+323@3 U+301@1"},
        {"one composes, one does not", U"e\u0301\u0334", "U+E9@0 U+334@3"},
        {"hangul lvt", U"\u1100\u1161\u11A8", "U+AC01@0"},
        {"hangul lv then letter", U"\u1100\u1161a", "U+AC00@0 U+61@6"},
        {"hangul l then no vowel", U"\u1100a", "U+1100@0 U+61@3"},
        {"hangul l at end", U"\u1100", "U+1100@0"},
        {"syllable then trailing consonant", U"\u1100\u1161\u11A8\u11A8", "U+AC01@0 U+11A8@9"},
        {"precomposed lv then t", U"\uAC00\u11A8", "U+AC00@0 U+11A8@3"},
        {"mark at start", U"\u0301a", "U+301@0 U+61@2"},
        {"nfc decomposed then rebuilt", U"\u0958", "U+958@0"},
        {"excluded window inside a cluster", U"\u05E9\u05BC\u0591", "U+FB49@0 U+591@4"},
        {"dagesh across patah", U"\u05D1\u05B7\u05BC", "U+FB31@0 U+5B7@2"},
        {"shin dot across qamats", U"\u05E9\u05B8\u05C1", "U+FB2A@0 U+5B8@2"},
        {"sin dot across qamats", U"\u05E9\u05B8\u05C2", "U+FB2B@0 U+5B8@2"},
        {"dagesh and shin dot across qamats", U"\u05E9\u05B8\u05BC\u05C1", "U+FB2C@0 U+5B8@2"},
        {"adjacent window wins", U"\u05D5\u05B9\u05BC", "U+FB4B@0 U+5BC@4"},
        {"class-0 mark blocks", U"\u05D1\u034F\u05BC", "U+5D1@0 U+34F@2 U+5BC@4"},
        {"kirat rai vowel sign e", U"\U00016D67\U00016D67", "U+16D68@0"},
        {"empty", U"", ""},
    };
    for (const Case& c : cases) {
        CHECK_EQ_FOR(c.name, composed(u8(c.text)), c.want);
    }
}

TEST(compose_every_exclusion_key_composes_to_its_character) {
    for (const auto& key : tables::kExclusionKeys) {
        std::string text = u8(key.decomposition);
        compose::Composer c(text);
        auto first = c.next();
        CHECK(first.has_value() && first->ch == key.composite && first->offset == 0);
        CHECK(!c.next().has_value());
        // And as the NFD of the character itself.
        std::string nfd = normalize::to_nfd(utf8::encode(key.composite));
        std::string out;
        CHECK(compose::compose_if_marks(nfd, out));
        CHECK_EQ(out, utf8::encode(key.composite));
    }
}

TEST(compose_if_marks_returns_input_without_marks) {
    std::string out = "untouched";
    CHECK(!compose::compose_if_marks("plain ascii", out));
    CHECK(!compose::compose_if_marks("\u041F\u0440\u0438\u0432\u0435\u0442", out));
    CHECK(!compose::compose_if_marks("", out));
    CHECK(!compose::compose_if_marks("\u00E9t\u00E9", out));  // precomposed letters are no marks
    CHECK_EQ(out, "untouched");
    CHECK(compose::compose_if_marks("cafe\u0301", out));
    CHECK_EQ(out, "caf\u00E9");
    CHECK(compose::compose_if_marks("\u1100\u1161", out));
    CHECK_EQ(out, "\uAC00");
    CHECK(compose::compose_if_marks("\u0438\u0306", out));
    CHECK_EQ(out, "\u0439");
}

TEST(compose_a_million_marks) {
    // A million marks after one base, in an order NFC changes, so that every
    // character's offset is found by the claiming search; quadratic work
    // would not finish.
    std::string text = "a";
    for (int k = 0; k < 1000000; ++k) utf8::append(text, k % 2 ? 0x316 : 0x301);
    compose::Composer c(text);
    std::size_t n = 0;
    std::uint64_t last_301 = 0;
    while (auto x = c.next()) {
        ++n;
        if (x->ch == 0x301) last_301 = x->offset;
    }
    CHECK_EQ(n, 1000000u);
    // U+00E1 took the base's offset and claims no source; the marks claim the
    // first unclaimed source of their value, so the last source U+0301 stays
    // unclaimed and the last queued one has the offset of the one before it.
    CHECK_EQ(last_301, text.size() - 8);
}

TEST(next_unstable_span_examples) {
    struct Case {
        const char* name;
        std::u32string text;
        std::string want;
    };
    const Case cases[] = {
        {"mark after e", U"ae\u0301b", "[2,4 65]"},
        {"mark at start", U"\u0301a", "[0,2 none]"},
        {"no marks", U"abc \u00E9", "[4,6 20]"},  // U+00E9 decomposes: not stable for NFD
        {"two runs", U"a\u0301b\u0302\u0303", "[1,3 61][4,8 62]"},
        {"class-0 mark", U"\u0915\u093E", "[3,6 915]"},  // a vowel sign is a mark of class 0
        {"supplementary mark", U"\U00011005\U00011038", "[4,8 11005]"},
        {"empty", U"", ""},
    };
    for (const Case& c : cases) {
        CHECK_EQ_FOR(c.name, spans(u8(c.text)), c.want);
    }
}
