#include "translit/classes.hpp"

#include <array>
#include <cstddef>

#include "tables/brahmic_roles.hpp"
#include "text/compose.hpp"

namespace kelrad::transliterate {

namespace {

struct ClassRange {
    char32_t first;
    char32_t last;
    ScriptClass cls;
};

// In the order in which mixed blocks test them.
constexpr ClassRange kScriptRanges[] = {
    {0x3400, 0x4DBF, ScriptClass::Han},     {0x4E00, 0x9FFF, ScriptClass::Han},
    {0xF900, 0xFAFF, ScriptClass::Han},     {0x3131, 0x3163, ScriptClass::Hangul},
    {0xAC00, 0xD7AF, ScriptClass::Hangul},  {0x3040, 0x30FF, ScriptClass::Kana},
    {0xFF65, 0xFF9F, ScriptClass::Kana},    {0x0900, 0x0DFF, ScriptClass::Brahmic},
    {0x0F00, 0x109F, ScriptClass::Brahmic}, {0x1700, 0x17FF, ScriptClass::Brahmic},
    {0x1A00, 0x1AAF, ScriptClass::Brahmic}, {0x1B00, 0x1BFF, ScriptClass::Brahmic},
    {0xA980, 0xA9DF, ScriptClass::Brahmic}, {0xAA00, 0xAA5F, ScriptClass::Brahmic},
    {0xAAE0, 0xAAFF, ScriptClass::Brahmic}, {0xABC0, 0xABFF, ScriptClass::Brahmic},
};

constexpr char32_t kClassedFirst = 0x0900;
constexpr char32_t kClassedLast = 0xFF9F;

// A block-table answer that is not a class: the block mixes classes.
constexpr std::uint8_t kMixed = 0xFF;

// For each 256-code-point block, its class when one class (or none, Other)
// covers the whole block, else kMixed.
consteval std::array<std::uint8_t, 256> make_block_classes() {
    std::array<std::uint8_t, 256> out{};
    for (std::size_t hi = 0; hi < 256; ++hi) {
        const char32_t first = static_cast<char32_t>(hi << 8);
        const char32_t last = first + 0xFF;
        std::uint8_t answer = static_cast<std::uint8_t>(ScriptClass::Other);
        // The ranges are disjoint: one that covers the block is the only one
        // touching it.
        for (const ClassRange& r : kScriptRanges) {
            if (r.last < first || r.first > last) continue;
            answer = r.first <= first && r.last >= last ? static_cast<std::uint8_t>(r.cls) : kMixed;
            break;
        }
        out[hi] = answer;
    }
    return out;
}

constexpr std::array<std::uint8_t, 256> kBlockClass = make_block_classes();

static_assert(static_cast<std::uint8_t>(BrahmicClass::Other) == tables::kBrahmicOther &&
              static_cast<std::uint8_t>(BrahmicClass::Consonant) == tables::kBrahmicConsonant &&
              static_cast<std::uint8_t>(BrahmicClass::DependentVowelSign) == tables::kBrahmicVowelSign &&
              static_cast<std::uint8_t>(BrahmicClass::Virama) == tables::kBrahmicVirama &&
              static_cast<std::uint8_t>(BrahmicClass::SubjoinedConsonant) == tables::kBrahmicMedial,
              "the roles table numbers the classes as BrahmicClass does");

}  // namespace

ScriptClass script_class(char32_t c) noexcept {
    if (c < kClassedFirst || c > kClassedLast) return ScriptClass::Other;
    const std::uint8_t block = kBlockClass[c >> 8];
    if (block != kMixed) return static_cast<ScriptClass>(block);
    for (const ClassRange& r : kScriptRanges) {
        if (c >= r.first && c <= r.last) return r.cls;
    }
    return ScriptClass::Other;
}

BrahmicClass brahmic_class(char32_t c) noexcept {
    using namespace tables;
    // Devanagari to Myanmar: one read.
    if (c - kBrahmicRunFirst <= kBrahmicRunLast - kBrahmicRunFirst) {
        return static_cast<BrahmicClass>(kBrahmicRoles[kBrahmicRunOffset + (c - kBrahmicRunFirst)]);
    }
    if (c > 0xFFFF) return BrahmicClass::Other;
    return static_cast<BrahmicClass>(kBrahmicRoles[std::size_t{kBrahmicRoleBlock[c >> 8]} * 256 + (c & 0xFF)]);
}

bool is_compose_trigger(char32_t c) noexcept { return compose::starts_or_joins(c); }

}  // namespace kelrad::transliterate
