#include <algorithm>
#include <bit>
#include <string>
#include <string_view>

#include "tables/confusables.hpp"
#include "testing.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using testing::cp_name;

namespace {

struct NamedMap {
    const char* name;
    const tables::ConfusableMap& map;
    std::size_t entries;
    std::size_t above_bmp;
};

const NamedMap kMaps[] = {
    {"latin", tables::CONFUSABLES_LATIN, 2101, 1159},
    {"cyrillic", tables::CONFUSABLES_CYRILLIC, 1341, 824},
    {"arabic", tables::CONFUSABLES_ARABIC, 372, 250},
    {"hebrew", tables::CONFUSABLES_HEBREW, 261, 100},
};

}  // namespace

// Every key is found through its pre-filter and the hash, the pre-filter has
// exactly the BMP keys, and no prototype is empty or holds a key of its own map.
TEST(confusable_maps_agree_with_their_prefilters) {
    for (const NamedMap& m : kMaps) {
        std::size_t above = 0, bmp_keys = 0;
        for (const auto& e : m.map.entries.entries) {
            CHECK(!m.map.prototype(e.key).empty());
            if (m.map.prototype(e.key).empty()) std::cerr << m.name << " " << cp_name(e.key) << "\n";
            for (auto [c, len] : utf8::chars(m.map.prototype(e.key))) CHECK(m.map.prototype(c).empty());
            above += e.key > 0xFFFF;
            bmp_keys += e.key <= 0xFFFF;
        }
        std::size_t bits = 0;
        for (std::size_t w = 0; w < 1024; ++w) bits += static_cast<std::size_t>(std::popcount(m.map.bmp[w]));
        CHECK_EQ(m.map.size(), m.entries);
        CHECK_EQ(above, m.above_bmp);
        CHECK_EQ(bits, bmp_keys);
    }
}

TEST(confusable_table_rows) {
    struct Row {
        const tables::ConfusableMap& map;
        char32_t c;
        std::string_view want;
    };
    const Row rows[] = {
        {tables::CONFUSABLES_LATIN, 0x0430, "a"},      {tables::CONFUSABLES_LATIN, 0x1D41A, "a"},
        {tables::CONFUSABLES_LATIN, 0x2485, "(l8)"},   {tables::CONFUSABLES_LATIN, 0x0101, "\u00E3"},
        {tables::CONFUSABLES_LATIN, 0x007C, "l"},      {tables::CONFUSABLES_LATIN, 0x0041, ""},
        {tables::CONFUSABLES_LATIN, 0x00E7, ""},       {tables::CONFUSABLES_LATIN, 0x10FFFF, ""},
        {tables::CONFUSABLES_CYRILLIC, 'x', "\u0445"}, {tables::CONFUSABLES_CYRILLIC, 0x1D7CF, "1"},
        {tables::CONFUSABLES_CYRILLIC, 0x0430, ""},    {tables::CONFUSABLES_ARABIC, '(', "\uFD3E"},
        {tables::CONFUSABLES_HEBREW, '`', "\u05D9"},
    };
    for (const Row& r : rows) {
        if (r.map.prototype(r.c) != r.want) std::cerr << cp_name(r.c) << "\n";
        CHECK_EQ(r.map.prototype(r.c), r.want);
    }
    CHECK_EQ(tables::digit_prototype(0x0660), ".");
    CHECK_EQ(tables::digit_prototype(0x118E3), "rn");
    CHECK_EQ(tables::digit_prototype('0'), "");
    CHECK_EQ(tables::digit_prototype(0x0669), "");
    CHECK_EQ(tables::DIGIT_PROTOTYPES.size(), tables::kDigitPrototypeCount);
}

TEST(confusable_sources_coverage_and_script_names) {
    std::size_t sources = 0;
    for (const CodepointRange& r : tables::UPSTREAM_CONFUSABLE_SOURCES) sources += r.last - r.first + 1;
    CHECK_EQ(sources, tables::kUpstreamConfusableSourceCount);
    CHECK_EQ(sources, 6565u);

    std::size_t covered = 0, folded = 0;
    for (const auto& row : tables::CONFUSABLE_COVERAGE) {
        covered += row.sources;
        folded += row.folded;
    }
    CHECK_EQ(covered, 6565u);
    CHECK_EQ(folded, 2399u);
    auto by_name = [](const auto& a, const auto& b) { return a.script < b.script; };
    CHECK(std::is_sorted(std::begin(tables::CONFUSABLE_COVERAGE), std::end(tables::CONFUSABLE_COVERAGE), by_name));
    CHECK(std::is_sorted(std::begin(tables::SCRIPT_NAMES), std::end(tables::SCRIPT_NAMES)));
}
