#include "security/confusables.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "security/composed_walk.hpp"
#include "security/fixed_point.hpp"
#include "text/compose.hpp"
#include "text/normalize.hpp"
#include "util/ascii.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::confusables {
namespace {

constexpr std::array<std::string_view, 4> kTargetNames = {"latin", "cyrillic", "arabic", "hebrew"};
constexpr std::array<const tables::ConfusableMap*, 4> kTargetMaps = {
    &tables::CONFUSABLES_LATIN, &tables::CONFUSABLES_CYRILLIC, &tables::CONFUSABLES_ARABIC,
    &tables::CONFUSABLES_HEBREW};

// Passes of `normalize_confusables` before it hands over to the engine.
constexpr int kMaxPasses = 9;


// What one character becomes under a map and a digit policy.
struct CharRule {
    const tables::ConfusableMap* map;  // nullptr for a target that names no map
    bool tr39_latin;                   // Tr39 with target "latin": the digit prototypes come first
    bool preserve;                     // Preserve: prototypes that are one ASCII digit are not applied

    // The prototype c folds to, or an empty view when c stays.
    std::string_view fold(char32_t c) const noexcept {
        if (tr39_latin) {
            if (std::string_view p = tables::digit_prototype(c); !p.empty()) return p;
        }
        if (map == nullptr) return {};
        std::string_view p = map->prototype(c);
        if (preserve && p.size() == 1 && ascii::is_digit(static_cast<unsigned char>(p[0]))) return {};
        return p;
    }
};

CharRule rule_for(const tables::ConfusableMap* map, bool latin, DigitPolicy policy) noexcept {
    return {map, latin && policy == DigitPolicy::Tr39, policy == DigitPolicy::Preserve};
}

CharRule rule_for(TargetScript target, DigitPolicy policy) noexcept {
    return rule_for(&target_map(target), target == TargetScript::Latin, policy);
}

// The ASCII characters a rule folds. They are the map's ASCII keys, read off
// its pre-filter: three for Latin, at most a few dozen for the others. With
// at most four of them a stretch of ASCII is tested eight bytes at a time.
class AsciiFolds {
public:
    explicit AsciiFolds(const CharRule& rule) noexcept {
        if (rule.map == nullptr) return;
        for (std::size_t w = 0; w < 2; ++w) {
            for (std::uint64_t bits = rule.map->bmp[w]; bits != 0; bits &= bits - 1) {
                auto c = static_cast<char32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
                if (rule.fold(c).empty()) continue;
                set_[w] |= std::uint64_t{1} << (c & 63);
                if (count_ < needles_.size()) needles_[count_] = static_cast<unsigned char>(c);
                ++count_;
            }
        }
    }

    // The end of the stretch from i of ASCII characters that stay.
    std::size_t skip(std::string_view s, std::size_t i) const noexcept {
        const char* p = s.data();
        const std::size_t n = s.size();
        if (count_ <= needles_.size()) {
            for (; i + 8 <= n; i += 8) {
                std::uint64_t w = swar::load(p + i);
                std::uint64_t stop = w & swar::kHighBits;
                for (std::size_t k = 0; k < count_; ++k) stop |= swar::bytes_equal(w, needles_[k]);
                if (stop != 0) break;
            }
        }
        for (; i < n; ++i) {
            auto b = static_cast<unsigned char>(p[i]);
            if (b >= 0x80 || ((set_[b >> 6] >> (b & 63)) & 1)) break;
        }
        return i;
    }

private:
    std::uint64_t set_[2] = {};
    std::array<unsigned char, 4> needles_ = {};
    std::size_t count_ = 0;
};

// Appends the fold of text[i..] to `out`, character by character.
void append_folded(std::string_view text, std::size_t i, const CharRule& rule, const AsciiFolds& ascii,
                   std::string& out) {
    while (i < text.size()) {
        std::size_t stay = ascii.skip(text, i);
        out.append(text, i, stay - i);
        i = stay;
        if (i == text.size()) break;
        auto [c, len] = utf8::decode(text, i);
        std::string_view p = rule.fold(c);
        if (p.empty()) {
            out.append(text, i, len);
        } else {
            out += p;
        }
        i += len;
    }
}

// The composing walk of a pass: text[0, base) holds no character that can
// start or join a composition, so it is its own composed form and is folded as
// written; from `base` on, the composer's characters are folded.
void fold_composed(std::string_view text, std::size_t base, const CharRule& rule, const AsciiFolds& ascii,
                   std::string& out) {
    out.clear();
    out.reserve(text.size());
    append_folded(text.substr(0, base), 0, rule, ascii, out);
    compose::Composer composer(text.substr(base));
    while (std::optional<compose::Composed> x = composer.next()) {
        std::string_view p = rule.fold(x->ch);
        if (p.empty()) {
            utf8::append(out, x->ch);
        } else {
            out += p;
        }
    }
}

// One pass (see fold_pass) with the options already checked. The plain walk
// writes nothing until the first fold; a character that can join a
// composition anywhere sends the whole text to the composing walk instead,
// starting at the character before it (the base it may join).
bool fold_pass_with(std::string_view text, const CharRule& rule, std::string& out) {
    const AsciiFolds ascii(rule);
    const std::size_t n = text.size();
    bool writing = false;
    std::size_t i = 0, previous = 0;  // previous: start of the character before i
    while (i < n) {
        std::size_t stay = ascii.skip(text, i);
        if (stay > i) {
            if (writing) out.append(text, i, stay - i);
            previous = stay - 1;
            i = stay;
            if (i == n) break;
        }
        auto [c, len] = utf8::decode(text, i);
        if (compose::starts_or_joins(c)) {
            fold_composed(text, i == 0 ? 0 : previous, rule, ascii, out);
            return true;
        }
        std::string_view p = rule.fold(c);
        if (!p.empty() && !writing) {
            writing = true;
            out.clear();
            out.reserve(n);
            out.append(text, 0, i);
        }
        if (writing) {
            if (p.empty()) {
                out.append(text, i, len);
            } else {
                out += p;
            }
        }
        previous = i;
        i += len;
    }
    return writing;
}

// The contexts of the three callbacks that drive the fixed-point engine.
struct FoldSegmentContext {
    std::string_view target_script;
    DigitPolicy digit_policy;
    std::string_view form;
};

struct FoldPassContext {
    std::string_view target_script;
    std::string_view digit_policy;
};

struct NeedsFoldContext {
    CharRule rule;
};

// fold_chars, then normalization to the context's form.
std::expected<std::string, CoreError> fold_segment_callback(const void* context, std::string_view segment) {
    const auto& ctx = *static_cast<const FoldSegmentContext*>(context);
    std::string folded;
    if (auto r = fold_chars(segment, ctx.target_script, ctx.digit_policy, folded); !r) {
        return std::unexpected(std::move(r.error()));
    }
    std::string out;
    if (auto r = normalize::normalize(folded, ctx.form, out); !r) return std::unexpected(std::move(r.error()));
    return out;
}

std::expected<std::string, CoreError> fold_pass_callback(const void* context, std::string_view segment) {
    const auto& ctx = *static_cast<const FoldPassContext*>(context);
    std::string out;
    auto changed = fold_pass(segment, ctx.target_script, ctx.digit_policy, out);
    if (!changed) return std::unexpected(std::move(changed.error()));
    if (!*changed) out.assign(segment);
    return out;
}

bool needs_fold_callback(const void* context, char32_t c) {
    return !static_cast<const NeedsFoldContext*>(context)->rule.fold(c).empty();
}

// Whether any byte of `text` is one of `bytes`, eight bytes at a time.
template <std::size_t N>
bool contains_any_byte(std::string_view text, const std::array<unsigned char, N>& bytes) noexcept {
    const char* p = text.data();
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t w = swar::load(p + i);
        for (unsigned char b : bytes) {
            if (swar::bytes_equal(w, b) != 0) return true;
        }
    }
    for (; i < text.size(); ++i) {
        for (unsigned char b : bytes) {
            if (static_cast<unsigned char>(p[i]) == b) return true;
        }
    }
    return false;
}

}  // namespace

std::expected<TargetScript, CoreError> validate_target_script(std::string_view name) {
    for (std::size_t i = 0; i < kTargetNames.size(); ++i) {
        if (name == kTargetNames[i]) return static_cast<TargetScript>(i);
    }
    return fail(error::InvalidTargetScript{std::string(name)});
}

const tables::ConfusableMap& target_map(TargetScript target) noexcept {
    return *kTargetMaps[static_cast<std::size_t>(target)];
}

std::expected<DigitPolicy, CoreError> parse_digit_policy(std::string_view value) {
    if (value == "numeric") return DigitPolicy::Numeric;
    if (value == "tr39") return DigitPolicy::Tr39;
    if (value == "preserve") return DigitPolicy::Preserve;
    return fail(error::InvalidDigitPolicy{std::string(value)});
}

std::expected<void, CoreError> fold_chars(std::string_view text, std::string_view target_script,
                                          DigitPolicy digit_policy, std::string& out) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    const CharRule rule = rule_for(*target, digit_policy);
    out.clear();
    out.reserve(text.size());
    append_folded(text, 0, rule, AsciiFolds(rule), out);
    return {};
}

std::expected<bool, CoreError> fold_pass(std::string_view text, std::string_view target_script,
                                         std::string_view digit_policy, std::string& out) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    auto policy = parse_digit_policy(digit_policy);
    if (!policy) return std::unexpected(std::move(policy.error()));
    return fold_pass_with(text, rule_for(*target, *policy), out);
}

std::expected<bool, CoreError> normalize_confusables(std::string_view text, std::string_view target_script,
                                                     std::string_view digit_policy, std::string& out) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    auto policy = parse_digit_policy(digit_policy);
    if (!policy) return std::unexpected(std::move(policy.error()));
    const CharRule rule = rule_for(*target, *policy);

    std::string current, next;
    if (!fold_pass_with(text, rule, current)) return false;
    for (int pass = 2; pass <= kMaxPasses; ++pass) {
        if (!fold_pass_with(current, rule, next) || next == current) {
            out = std::move(current);
            return true;
        }
        current.swap(next);
    }
    const FoldPassContext pass_context{target_script, digit_policy};
    const NeedsFoldContext needs_context{rule};
    auto fixed = fold_to_fixed_point(std::move(current), {&pass_context, fold_pass_callback},
                                     {&needs_context, needs_fold_callback});
    if (!fixed) return std::unexpected(std::move(fixed.error()));
    out = std::move(*fixed);
    return true;
}

std::expected<std::string, CoreError> normalize_confusables_owned(std::string text, std::string_view target_script,
                                                                  DigitPolicy digit_policy, std::string_view form) {
    auto target = validate_target_script(target_script);
    const NeedsFoldContext needs_context{
        target ? rule_for(*target, digit_policy) : rule_for(nullptr, false, digit_policy)};
    const FoldSegmentContext segment_context{target_script, digit_policy, form};
    return fold_to_fixed_point(std::move(text), {&segment_context, fold_segment_callback},
                               {&needs_context, needs_fold_callback});
}

std::expected<bool, CoreError> is_confusable(std::string_view text, std::string_view target_script) {
    auto target = validate_target_script(target_script);
    if (!target) return std::unexpected(std::move(target.error()));
    const tables::ConfusableMap& map = target_map(*target);
    // Every ASCII key of every map is printable (U+0021..U+007E), so leaving
    // out all of ASCII leaves out exactly those.
    bool hit = false;
    for_each_composed<false>(text, [&](char32_t c, std::size_t) {
        hit = !map.prototype(c).empty();
        return !hit;
    });
    return hit;
}

bool fold_ascii_digit_lookalikes(std::string_view text, DigitPolicy digit_policy, std::string& out) {
    const bool tr39 = digit_policy == DigitPolicy::Tr39;
    if (tr39 ? !contains_any_byte(text, std::array<unsigned char, 3>{'0', '1', 'I'})
             : !contains_any_byte(text, std::array<unsigned char, 1>{'I'})) {
        return false;
    }
    out.clear();
    out.reserve(text.size());
    // ASCII bytes never occur inside a multi-byte character, so the classes
    // apply byte by byte.
    for (char b : text) {
        if (b == 'I' || (tr39 && b == '1')) {
            out += 'l';
        } else if (tr39 && b == '0') {
            out += 'O';
        } else {
            out += b;
        }
    }
    return true;
}

std::optional<std::string_view> latin_ascii_prototype(char32_t c) noexcept {
    std::string_view p = tables::CONFUSABLES_LATIN.prototype(c);
    if (p.empty() || !utf8::is_ascii(p)) return std::nullopt;
    return p;
}

}  // namespace kelrad::confusables
