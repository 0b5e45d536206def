#include <cstdint>

#include "tables/anomalies.hpp"
#include "tables/confusables.hpp"
#include "tables/hanzi_pinyin.hpp"
#include "tables/transliteration.hpp"
#include "testing.hpp"
#include "util/perfect_hash.hpp"

using namespace kelrad;

// The remainder by multiplication against the division, for every divisor a
// map can have and dividends up to the largest a lookup forms (and a margin).
TEST(phf_divisor_remainder_is_exact) {
    std::uint64_t state = 0x243F6A8885A308D3;
    std::size_t failed = 0;
    for (std::uint64_t d = 1; d < (1 << 16); ++d) {
        const phf::Divisor divisor(d);
        const std::uint64_t edges[] = {0, 1, d - 1, d, d + 1, (std::uint64_t{1} << 40) - 1, (std::uint64_t{1} << 40) - d};
        for (std::uint64_t a : edges) failed += divisor.remainder(a) != a % d;
        for (int k = 0; k < 32; ++k) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const std::uint64_t a = state >> 24;  // 40 bits
            failed += divisor.remainder(a) != a % d;
        }
    }
    CHECK_EQ(failed, 0u);
}

// Every map of the tables finds each of its keys, and nothing else, over the
// whole code space: the lookup reads the slot the builder's division chose.
TEST(phf_maps_find_exactly_their_keys) {
    auto check = [](const auto& map) {
        std::size_t found = 0, wrong = 0;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (const auto* v = map.find(c)) {
                ++found;
                wrong += v < &map.entries.front().value || v > &map.entries.back().value;
            }
        }
        CHECK_EQ(found, map.size());
        CHECK_EQ(wrong, 0u);
    };
    check(tables::CONFUSABLES_LATIN.entries);
    check(tables::CONFUSABLES_CYRILLIC.entries);
    check(tables::DIGIT_PROTOTYPES);
    check(tables::DASH_CONNECTOR_CHARS);
    check(tables::kTonedPinyinMap);
    check(tables::kSupplementaryMap);
}
