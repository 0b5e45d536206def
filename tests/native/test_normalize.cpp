#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "tables/normalization.hpp"
#include "testing.hpp"
#include "text/normalize.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using normalize::Form;
using testing::cp_names;

namespace {

constexpr Form kForms[] = {Form::NFC, Form::NFD, Form::NFKC, Form::NFKD};
constexpr const char* kFormNames[] = {"NFC", "NFD", "NFKC", "NFKD"};

std::string from_hex(std::string_view field) {
    std::string out;
    std::istringstream is{std::string(field)};
    std::string word;
    while (is >> word) utf8::append(out, static_cast<char32_t>(std::stoul(word, nullptr, 16)));
    return out;
}

struct ConformanceLine {
    int number;
    std::string c[5];
};

// The test lines of NormalizationTest.txt; `listed` marks the code points of its @Part1 section.
std::vector<ConformanceLine> conformance_lines(std::vector<bool>* listed = nullptr) {
    std::vector<ConformanceLine> lines;
    std::ifstream in("data/unicode-17.0.0/ucd/NormalizationTest.txt");
    std::string line;
    bool part1 = false;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.starts_with("@Part")) part1 = line.starts_with("@Part1");
        line = line.substr(0, line.find('#'));
        if (line.empty() || line[0] == '@') continue;
        ConformanceLine l{number, {}};
        std::size_t start = 0;
        for (auto& col : l.c) {
            std::size_t semi = line.find(';', start);
            col = from_hex(std::string_view(line).substr(start, semi - start));
            start = semi + 1;
        }
        if (part1 && listed) (*listed)[utf8::decode(l.c[0], 0).cp] = true;
        lines.push_back(std::move(l));
    }
    return lines;
}

// The column each column must normalize to, per form (the file's invariants).
constexpr int kExpected[4][5] = {{1, 1, 1, 3, 3}, {2, 2, 2, 4, 4}, {3, 3, 3, 3, 3}, {4, 4, 4, 4, 4}};

// The plain path: decompose every character, sort each run of non-starters by
// class, compose pairwise; no stable stretches, no fast paths.
std::string reference(std::string_view text, Form form) {
    std::u32string cps;
    bool compat = form == Form::NFKC || form == Form::NFKD;
    for (auto [cp, len] : utf8::chars(text)) {
        auto d = compat ? normalize::compatibility_decomposition(cp) : normalize::canonical_decomposition(cp);
        cps.append(d.view());
    }
    for (std::size_t i = 0; i < cps.size();) {
        std::size_t j = i;
        while (j < cps.size() && normalize::combining_class(cps[j]) != 0) ++j;
        std::stable_sort(cps.begin() + static_cast<std::ptrdiff_t>(i), cps.begin() + static_cast<std::ptrdiff_t>(j),
                         [](char32_t a, char32_t b) {
                             return normalize::combining_class(a) < normalize::combining_class(b);
                         });
        i = j == i ? i + 1 : j;
    }
    if (form == Form::NFC || form == Form::NFKC) {
        std::u32string out;
        std::size_t starter = std::u32string::npos;
        for (char32_t cp : cps) {
            std::uint8_t ccc = normalize::combining_class(cp);
            if (starter != std::u32string::npos) {
                std::uint8_t last = out.size() == starter + 1 ? 0 : normalize::combining_class(out.back());
                bool blocked = out.size() != starter + 1 && (last == 0 || last >= ccc);
                if (!blocked) {
                    if (auto c = normalize::compose_pair(out[starter], cp)) {
                        out[starter] = *c;
                        continue;
                    }
                }
            }
            if (ccc == 0) starter = out.size();
            out.push_back(cp);
        }
        cps = out;
    }
    std::string s;
    for (char32_t cp : cps) utf8::append(s, cp);
    return s;
}

}  // namespace

TEST(normalize_conformance_file_every_line) {
    auto lines = conformance_lines();
    CHECK(lines.size() > 19000);
    int failed = 0;
    for (const auto& l : lines) {
        for (std::size_t f = 0; f < 4; ++f) {
            for (int col = 0; col < 5; ++col) {
                const std::string& want = l.c[kExpected[f][col]];
                std::string got = normalize::to_form(l.c[col], kForms[f]);
                std::string wrapped = normalize::to_form("ab" + l.c[col] + "cd", kForms[f]);
                std::string driven = "stale";
                bool changed = normalize::normalize_cow(l.c[col], kForms[f], driven);
                bool ok = got == want && wrapped == "ab" + want + "cd" && (changed ? driven : l.c[col]) == want &&
                          normalize::is_normalized(want, kForms[f]) &&
                          normalize::is_normalized(l.c[col], kForms[f]) == (l.c[col] == want);
                if (!ok && ++failed <= 20) {
                    std::cerr << "line " << l.number << " " << kFormNames[f] << " c" << col + 1 << ": "
                              << cp_names(l.c[col]) << "-> " << cp_names(got) << "want " << cp_names(want) << "\n";
                }
            }
        }
    }
    CHECK_EQ(failed, 0);
    auto to = {normalize::to_nfc, normalize::to_nfd, normalize::to_nfkc, normalize::to_nfkd};
    std::size_t f = 0;
    for (auto fn : to) CHECK_EQ(fn(lines[100].c[0]), lines[100].c[kExpected[f++][0]]);
}

// Every code point that the @Part1 section of the file does not list is left as it is.
TEST(normalize_conformance_unlisted_code_points_invariant) {
    std::vector<bool> listed(0x110000);
    conformance_lines(&listed);
    int failed = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (listed[cp] || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
        std::string one = utf8::encode(cp);
        for (Form f : kForms) {
            if (normalize::to_form(one, f) != one && ++failed <= 10) std::cerr << cp_names(one) << "changed\n";
        }
    }
    CHECK_EQ(failed, 0);
}

// The bitmaps' sizes are asserted by their generator; here they agree with the records.
TEST(normalize_bitmaps_agree_with_the_records) {
    int disagree = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        bool scalar = cp < 0xD800 || cp > 0xDFFF;
        for (std::size_t f = 0; f < 4; ++f) {
            bool stable = scalar && normalize::combining_class(cp) == 0 &&
                          normalize::quick_check(cp, kForms[f]) == normalize::QuickCheck::Yes;
            if (stable != tables::bmp_bit(tables::kStable[f], cp)) ++disagree;
        }
        bool nfd = tables::bmp_bit(tables::kStable[1], cp);
        if ((nfd && !normalize::is_mark(cp)) != tables::bmp_bit(tables::kSpanStable, cp)) ++disagree;
    }
    CHECK_EQ(disagree, 0);
}

TEST(normalize_driver_matches_plain_path_on_random_text) {
    // Characters that exercise every branch: ASCII, stable letters, marks of
    // several classes, composition-excluded and Hangul, compatibility
    // characters, supplementary marks and letters.
    const char32_t pool[] = {'a', 'e', 'A', ' ', 0xE9, 0xC5, 0x212B, 0x300, 0x301, 0x316, 0x327, 0x345,
                             0x344, 0x340, 0x1100, 0x1161, 0x11A8, 0xAC00, 0xAC01, 0xA0, 0xFB2C, 0x5E9,
                             0x5BC, 0x5C1, 0x915, 0x93C, 0x958, 0xB47, 0xB3E, 0xFDFA, 0x1E9B, 0x1D15E,
                             0x1D165, 0x1D16E, 0x110BA, 0x11099, 0x3099, 0x304B, 0xFF76, 0xFF9E, 0x0F73,
                             0x0F71, 0x0F72, 0x0F80, 0x1F82, 0x3B1, 0x313, 0x342, 0x10000, 0x1F600};
    // Common letters, mostly stable, so that long texts hold stable stretches
    // for the sixteen-byte scan to cross.
    const char32_t common[] = {'a', 'z', ' ', '.', 0xE9, 0xE0, 0x439, 0x451, 0x436, 0x4E2D, 0x6587, 0x3002,
                               0xFF0C, 0x2019, 0xAC00, 0x5D0, 0x627, 0x1F600};
    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) - 1), pick_common(0, std::size(common) - 1);
    std::uniform_int_distribution<std::size_t> length(0, 24), long_length(0, 300), percent(0, 99);
    int failed = 0;
    for (int round = 0; round < 24000; ++round) {
        std::string text;
        if (round < 20000) {
            for (std::size_t k = length(rng); k > 0; --k) utf8::append(text, pool[pick(rng)]);
        } else {
            for (std::size_t k = long_length(rng); k > 0; --k) {
                utf8::append(text, percent(rng) < 95 ? common[pick_common(rng)] : pool[pick(rng)]);
            }
        }
        for (std::size_t f = 0; f < 4; ++f) {
            std::string want = reference(text, kForms[f]);
            std::string got = normalize::to_form(text, kForms[f]);
            bool ok = got == want && normalize::is_normalized(text, kForms[f]) == (text == want);
            if (!ok && ++failed <= 10) {
                std::cerr << kFormNames[f] << " " << cp_names(text) << "-> " << cp_names(got) << "want "
                          << cp_names(want) << "\n";
            }
        }
    }
    CHECK_EQ(failed, 0);
}
