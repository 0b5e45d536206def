#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "security/anomalies.hpp"
#include "security/smuggled.hpp"
#include "tables/anomalies.hpp"
#include "testing.hpp"
#include "text/normalize.hpp"
#include "text/zalgo.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using testing::u8;

namespace {

bool is_scalar(char32_t cp) { return cp < 0xD800 || cp > 0xDFFF; }

}  // namespace

// The character predicates take shortcuts through the quick-check bits; the
// plain definitions decide every code point.
TEST(anomaly_character_predicates_match_their_definitions) {
    int singletons = 0;
    for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
        if (!is_scalar(cp)) continue;
        std::string nfc = normalize::to_nfc(utf8::encode(cp));
        bool singleton = utf8::char_count(nfc) == 1 && utf8::decode(nfc, 0).cp != cp;
        singletons += singleton;
        if (anomalies::decomposes_to_single_char(cp) != singleton) CHECK_EQ(testing::cp_name(cp), "singleton");
        char32_t first = normalize::canonical_decomposition(cp)[0];
        bool latin = !singleton && first < 0x80 && ((first | 0x20) >= 'a' && (first | 0x20) <= 'z');
        if (anomalies::is_letter_like(cp) != latin) CHECK_EQ(testing::cp_name(cp), "letter-like");
    }
    CHECK(singletons > 1000);  // U+212A, U+2126, U+212B, the CJK compatibility ideographs, ...
    CHECK(anomalies::is_letter_like(U'a') && !anomalies::is_letter_like(U'1'));
}

// The scan's survey reads character facts from a table derived once; the
// facts computed directly decide every code point. A character that cannot
// stack marks does not, however often it repeats.
TEST(anomaly_survey_facts_match_the_tables) {
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (!is_scalar(cp)) continue;
        std::uint8_t facts = anomalies::detail::char_facts(cp);
        if (facts != anomalies::detail::char_facts_direct(cp)) CHECK_EQ(testing::cp_name(cp), "facts");
        if (facts & anomalies::detail::kMayStackMarks) continue;
        std::string text = utf8::encode(cp) + utf8::encode(cp) + utf8::encode(cp) + utf8::encode(cp);
        if (zalgo::is_zalgo_default(text) || zalgo::find_repeated_mark(text)) CHECK_EQ(testing::cp_name(cp), "marks");
    }
}

// The counts the tables state, found by lookups over every code point.
TEST(anomaly_tables_hold_what_they_state) {
    std::size_t dashes = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) dashes += tables::DASH_CONNECTOR_CHARS.find(cp) != nullptr;
    CHECK_EQ(dashes, tables::kDashConnectorCount);
    CHECK(tables::DASH_CONNECTOR_CHARS.find(0x10EAD) && tables::DASH_CONNECTOR_CHARS.find(U'.'));
    CHECK(tables::DECIMAL_ZEROS[0] == U'0' && tables::DECIMAL_ZEROS[tables::kDecimalZeroCount - 1] == 0x1FBF0);
}

TEST(split_tokens_cases) {
    struct Case {
        const char* id;
        std::u32string text;
        std::vector<std::pair<std::size_t, std::u32string>> tokens;
    };
    const Case cases[] = {
        {"empty", U"", {}},
        {"only_separators", U" \t\r\n\u0085\u2028\u2029\v\f", {}},
        {"ascii", U"  ab c ", {{2, U"ab"}, {5, U"c"}}},
        {"unicode_separators", U"a\u0085b\u2028c\u2029d", {{0, U"a"}, {3, U"b"}, {7, U"c"}, {11, U"d"}}},
        {"other_spaces_inside", U"a\u00a0b\u3000c\u2009d", {{0, U"a\u00a0b\u3000c\u2009d"}}},
        {"information_separators_inside", U"a\u001cb\u001fc", {{0, U"a\u001cb\u001fc"}}},
        {"multibyte_neighbours", U"\u00e9\u2028\U0001F600", {{0, U"\u00e9"}, {5, U"\U0001F600"}}},
    };
    for (const Case& c : cases) {
        std::string text = u8(c.text);
        std::vector<std::string> got, want;
        for (const anomalies::Token& t : anomalies::split_tokens(text)) {
            got.push_back(std::to_string(t.start) + ":" + std::string(t.text));
        }
        for (const auto& [start, token] : c.tokens) want.push_back(std::to_string(start) + ":" + u8(token));
        if (got != want) CHECK_EQ(std::string(c.id), "tokens differ");
    }
}

// The report built the plain way: every token inspected, payloads first, the
// overwrite placed by offset. The scan passes over tokens that cannot have a
// finding, eight bytes at a time, and answers pure-ASCII texts without a
// lexicon from one word-wide pass; both must agree with this.
TEST(anomaly_scan_matches_the_plain_report) {
    static const std::u32string pool[] = {
        U"a", U"b", U"p", U"l", U"o", U" ", U" ", U" ", U"\t", U"\n", U"\r", U"-", U".", U"_", U"!", U"$", U"|",
        U"@", U"+", U"(", U"0", U"1", U"3", U"4", U"\x07", U"\x08", U"\x1C", U"\x7F", U"\x85", U"\xA0", U"\xE9",
        U"\u0430", U"\u0301", U"\u200B", U"\u200C", U"\u2028", U"\u2029", U"\u202E", U"\u3000", U"\u4E00",
        U"\uFE0F", U"\uFF41", U"\U0001D41A", U"\U000E0041", U" abp| ", U" h3llo ", U" p-a-y-p-a-l ", U" p00p ",
        U" he||o ", U" 4bpl ", U" p@yp@l ", U" p_o_o_p ", U" p$$p ", U" h+llo ",
    };
    const std::vector<std::string> words = {"abpl", "paypal", "hello", "poop"};
    const anomalies::Lexicon lexicons[] = {anomalies::Lexicon(), anomalies::Lexicon(words)};
    std::mt19937 rng(29);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        std::size_t n = rng() % 30;
        bool ascii = rng() % 2;
        for (std::size_t i = 0; i < n; ++i) {
            for (char32_t c : pool[rng() % std::size(pool)]) utf8::append(text, ascii && c >= 0x80 ? U'x' : c);
        }
        for (const anomalies::Lexicon& lexicon : lexicons) {
            std::vector<anomalies::Finding> plain;
            for (const auto& p : smuggled::decode_smuggled(text, false)) {
                if (p.text) plain.push_back({*p.text, "", p.start, p.end, anomalies::AnomalyKind::Smuggled});
            }
            for (const anomalies::Token& t : anomalies::split_tokens(text)) {
                if (auto f = anomalies::inspect_token(t.text, t.start, lexicon)) plain.push_back(*f);
            }
            if (auto cr = anomalies::find_cr_overwrite(text)) {
                auto at = std::find_if(plain.begin(), plain.end(), [&](const auto& f) { return f.start >= cr->start; });
                plain.insert(at, {std::string(cr->segment), "", cr->start, 0, anomalies::AnomalyKind::Deletion});
            }
            anomalies::AnomalyReport report = anomalies::inspect_anomalies(text, lexicon);
            std::string want, got;
            for (const auto& f : plain) want += f.token + "@" + std::to_string(f.start) + " ";
            for (const auto& f : report.findings) got += f.token + "@" + std::to_string(f.start) + " ";
            CHECK_EQ(got, want);
            CHECK_EQ(anomalies::has_anomalies(text, lexicon), !plain.empty());
        }
    }
}
