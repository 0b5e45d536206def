#include "translit/tables.hpp"

#include <cstdint>

#include "tables/hanzi_pinyin.hpp"
#include "tables/transliteration.hpp"

namespace kelrad::tables {

namespace {

using Text = std::optional<std::string_view>;

// A text reference of the generated tables: byte offset << 8 | length.
std::string_view pool_text(const char* pool, std::uint32_t ref) noexcept {
    return {pool + (ref >> 8), ref & 0xFFU};
}

Text two_stage(char32_t c) noexcept {
    const std::uint32_t entry = kTranslitEntries[kTranslitBlockBase[c >> 8] + (c & 0xFF)];
    if (entry == kTranslitNoValue) return std::nullopt;
    return pool_text(kTranslitPool, entry);
}

// c must lie in U+4E00..U+9FFF.
Text toneless_syllable(char32_t c) noexcept {
    const std::uint16_t n = kHanziSyllable[c - kHanziFirst];
    if (n == 0) return std::nullopt;
    return std::string_view(kPinyinPool + kPinyinOffsets[n], kPinyinOffsets[n + 1] - kPinyinOffsets[n]);
}

Text toned_syllable(char32_t c) noexcept {
    if (const std::uint32_t* ref = kTonedPinyinMap.find(c)) return pool_text(kTonedPinyinPool, *ref);
    return std::nullopt;
}

bool is_hanzi(char32_t c) noexcept { return c >= kHanziFirst && c <= kHanziLast; }

}  // namespace

Text lookup_ascii(char32_t c, bool tones) noexcept {
    if (c < 0x80) return std::nullopt;
    if (c >= 0x10000) {
        if (const std::uint32_t* ref = kSupplementaryMap.find(c)) return pool_text(kSupplementaryPool, *ref);
        return std::nullopt;
    }
    if (c >= 0x3400 && c <= 0x9FFF) {  // CJK Extension A and the Unified Ideographs
        if (tones) {
            if (Text t = toned_syllable(c)) return t;
        }
        if (is_hanzi(c)) {
            if (Text t = toneless_syllable(c)) return t;
        }
        return two_stage(c);
    }
    if (c >= kCompatIdeographFirst && c <= kCompatIdeographLast) {
        if (tones) {
            // Only decompositions into U+4E00..U+9FFF are kept: the toned map
            // and the syllables have no other keys.
            if (const char32_t d = kCompatIdeographHan[c - kCompatIdeographFirst]; d != 0) {
                if (Text t = toned_syllable(d)) return t;
                if (Text t = toneless_syllable(d)) return t;
            }
        }
        return two_stage(c);
    }
    if (c >= kHangulFirst && c <= kHangulLast) {
        const std::size_t i = c - kHangulFirst;
        return std::string_view(kHangulPool + kHangulOffsets[i], kHangulOffsets[i + 1] - kHangulOffsets[i]);
    }
    if (c >= kCompatJamoFirst && c <= kCompatJamoLast) {
        const std::size_t i = c - kCompatJamoFirst;
        return std::string_view(kCompatJamoPool + kCompatJamoOffsets[i],
                                static_cast<std::size_t>(kCompatJamoOffsets[i + 1] - kCompatJamoOffsets[i]));
    }
    return two_stage(c);
}

}  // namespace kelrad::tables
