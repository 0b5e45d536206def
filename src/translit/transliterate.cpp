#include "translit/transliterate.hpp"

#include <algorithm>
#include <limits>
#include <span>

#include "tables/alphanumeric.hpp"
#include "text/compose.hpp"
#include "text/normalize.hpp"
#include "translit/autolang.hpp"
#include "translit/classes.hpp"
#include "translit/lang_maps.hpp"
#include "translit/langs.hpp"
#include "translit/replacements.hpp"
#include "translit/tables.hpp"
#include "util/panic.hpp"
#include "util/utf8.hpp"

namespace kelrad::transliterate {
namespace {

constexpr std::size_t kNoPosition = std::numeric_limits<std::size_t>::max();

// The output capacity is estimated from this many leading characters and
// never exceeds kMaxCapacityEstimate; the buffer grows past it as needed.
constexpr std::size_t kCapacitySample = 256;
constexpr std::size_t kMaxCapacityEstimate = 8 * 1024 * 1024;

enum class PassOutcome : std::uint8_t { Text, Bail };

struct PassState {
    std::optional<char32_t> last_char;  // the last character appended
    ScriptClass last_class = ScriptClass::None;
    bool after_consonant = false;  // the previous character was a Brahmic consonant
    // The output size right after a consonant whose value ended in the
    // inherent vowel "a". A following vowel sign or virama removes that "a",
    // and only there: a consonant that wrote nothing (an empty value, an
    // ignored character) must not cost the caller's text a letter.
    std::size_t inherent_vowel_end = kNoPosition;
};

// The lookup chain of one pass: the scheme map, or the language's override
// map and registered table; then the per-code-point tables.
class Sources {
public:
    Sources(std::optional<std::string_view> lang, const TransliterateOptions& options) : tones_(options.tones) {
        first_ = scheme_map(options.strict_iso9, options.gost7034);
        if (first_ != nullptr || !lang) return;  // a scheme consults no language
        first_ = lang_override_map(*lang);
        // The flag costs one atomic load while nothing is registered. A code
        // without a table is seen once here rather than under the lock for
        // every character.
        if (lang_tables_active() && is_registered_lang(*lang)) registered_lang_ = lang;
    }

    std::optional<std::string_view> find(char32_t c) {
        if (first_ != nullptr) {
            if (auto v = lookup(*first_, c)) return v;
        }
        if (registered_lang_) {
            // Copied out under the table's read lock, which is released here.
            if (auto v = registered_value(*registered_lang_, c)) {
                registered_ = std::move(*v);
                return std::string_view(registered_);
            }
        }
        return tables::lookup_ascii(c, tones_);
    }

private:
    const LangOverrideMap* first_ = nullptr;
    std::optional<std::string_view> registered_lang_;
    std::string registered_;
    bool tones_;
};

bool is_cjk_for_capacity(char32_t c) noexcept {
    return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF);
}

std::size_t saturating_mul(std::size_t a, std::size_t b) noexcept {
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return std::numeric_limits<std::size_t>::max();
    return a * b;
}

// CJK output runs about three times its input (a 3-byte ideograph becomes a
// syllable and a space); the estimate scales with the CJK share of a sample.
std::size_t estimate_capacity(std::string_view text) noexcept {
    std::size_t sampled = 0, cjk = 0;
    for (std::size_t i = 0; i < text.size() && sampled < kCapacitySample; ++sampled) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        cjk += is_cjk_for_capacity(cp);
        i += len;
    }
    std::size_t len = text.size();
    std::size_t estimate = len;
    if (cjk != 0) {
        std::size_t extra = saturating_mul(saturating_mul(3, len), cjk) / std::max<std::size_t>(sampled, 1);
        estimate = len > std::numeric_limits<std::size_t>::max() - extra ? std::numeric_limits<std::size_t>::max()
                                                                          : len + extra;
    }
    return std::min(estimate, kMaxCapacityEstimate);
}

bool is_ascii_alphanumeric(char c) noexcept {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

bool ends_alphanumeric(const PassState& state) noexcept {
    return state.last_char && tables::is_alphanumeric(*state.last_char);
}

char32_t last_char_of(std::string_view s) noexcept { return utf8::decode_before(s, s.size()).cp; }

class Pass {
public:
    Pass(std::optional<std::string_view> lang, const TransliterateOptions& options,
         std::vector<UntranslatableHit>* hits, bool stop_at_first)
        : lang_(lang), options_(options), sources_(lang, options), hits_(hits), stop_at_first_(stop_at_first) {}

    PassOutcome run(std::string_view text, bool detect_compose, std::string& out);

private:
    bool nfkc_recovery(char32_t c, std::uint64_t offset, std::string& out);

    std::optional<std::string_view> lang_;  // resolved: never "auto"
    const TransliterateOptions& options_;
    Sources sources_;
    std::vector<UntranslatableHit>* hits_;
    bool stop_at_first_;
    PassState state_;
};

// One walk over `text`, appending to `out`.
PassOutcome Pass::run(std::string_view text, bool detect_compose, std::string& out) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::size_t run = utf8::ascii_prefix_len(text.substr(i)); run > 0) {
            // Latin after a Han or Hangul syllable is set apart from it.
            if ((state_.last_class == ScriptClass::Han || state_.last_class == ScriptClass::Hangul) &&
                is_ascii_alphanumeric(text[i]) && ends_alphanumeric(state_)) {
                out += ' ';
            }
            out.append(text, i, run);
            i += run;
            state_.last_char = static_cast<char32_t>(static_cast<unsigned char>(text[i - 1]));
            state_.last_class = ScriptClass::Ascii;
            state_.after_consonant = false;
            continue;
        }

        const std::uint64_t offset = i;
        const auto [c, len] = utf8::decode(text, i);
        i += len;
        if (detect_compose && is_compose_trigger(c)) return PassOutcome::Bail;
        const ScriptClass cls = script_class(c);
        const std::optional<std::string_view> value = sources_.find(c);

        if (cls == ScriptClass::Brahmic) {
            const BrahmicClass role = brahmic_class(c);
            if (role == BrahmicClass::Consonant) {
                state_.after_consonant = true;
            } else if (state_.after_consonant &&
                       (role == BrahmicClass::DependentVowelSign || role == BrahmicClass::Virama)) {
                // The sign replaces the consonant's inherent vowel.
                if (state_.inherent_vowel_end == out.size()) out.pop_back();
                state_.after_consonant = false;
                state_.inherent_vowel_end = kNoPosition;
                if (value) {
                    out += *value;
                    if (!value->empty()) state_.last_char = last_char_of(*value);
                }
                state_.last_class = ScriptClass::Brahmic;
                continue;
            } else {
                state_.after_consonant = false;
            }
        } else {
            state_.after_consonant = false;
        }
        state_.inherent_vowel_end = kNoPosition;

        if (!value) {
            if (nfkc_recovery(c, offset, out) && stop_at_first_) break;
            continue;
        }
        // CJK syllables are set apart from alphanumeric output before them;
        // a run of kana stays joined.
        if ((cls == ScriptClass::Han || cls == ScriptClass::Hangul || cls == ScriptClass::Kana) &&
            state_.last_class != ScriptClass::None &&
            (cls != ScriptClass::Kana || state_.last_class != ScriptClass::Kana) && ends_alphanumeric(state_)) {
            out += ' ';
            state_.last_char = U' ';
        }
        out += *value;
        if (!value->empty()) state_.last_char = last_char_of(*value);
        state_.last_class = cls;
        if (state_.after_consonant && !value->empty() && value->back() == 'a') state_.inherent_vowel_end = out.size();
    }
    return PassOutcome::Text;
}

// A character no table knows: its NFKC form, transliterated, or else the
// errors policy. True when the character counts as untranslatable.
bool Pass::nfkc_recovery(char32_t c, std::uint64_t offset, std::string& out) {
    // Short forms stay in the string's inline buffer.
    std::string form;
    normalize::append_nfkc(c, form);
    if (form.size() != utf8::encoded_len(c) || utf8::decode(form, 0).cp != c) {
        std::vector<UntranslatableHit> inner_hits;
        Pass inner(lang_, options_, hits_ != nullptr ? &inner_hits : nullptr, false);
        std::string inner_out;
        const PassOutcome outcome = inner.run(form, false, inner_out);
        KELRAD_ASSERT(outcome == PassOutcome::Text, "NFKC recovery pass never bails (detect_compose = false)");
        if (!inner_out.empty()) {
            out += inner_out;
            state_.last_char = last_char_of(inner_out);
            state_.last_class = ScriptClass::Ascii;
            if (!inner_hits.empty()) {
                hits_->push_back({c, offset});
                return true;
            }
            return false;
        }
    }
    if (hits_ != nullptr) hits_->push_back({c, offset});
    switch (options_.errors) {
        case ErrorMode::Replace:
            out += options_.replace_with;
            state_.last_char = options_.replace_with.empty()
                                   ? std::nullopt
                                   : std::optional<char32_t>(last_char_of(options_.replace_with));
            break;
        case ErrorMode::Ignore:
            break;
        default:  // Preserve
            utf8::append(out, c);
            state_.last_char = c;
            break;
    }
    state_.last_class = ScriptClass::Other;
    return true;
}

// One pass over `text` with `lang` as the caller gave it ("auto" is resolved
// here, against this text).
PassOutcome transliterate_pass(std::string_view text, const TransliterateOptions& options,
                               std::vector<UntranslatableHit>* hits, bool stop_at_first, bool detect_compose,
                               std::string& out) {
    std::optional<std::string_view> lang = options.lang;
    if (lang && *lang == "auto") lang = autolang::inspect_auto_lang(text).chosen_lang;
    out.clear();
    out.reserve(estimate_capacity(text));
    return Pass(lang, options, hits, stop_at_first).run(text, detect_compose, out);
}

// Rewrites the offsets of hits found in the composed text to the offsets of
// their source characters in the caller's text. `map` holds, for every
// composed character, (offset in the composed text, offset of its source).
void map_hits_to_source(std::span<UntranslatableHit> hits, std::span<const std::pair<std::uint64_t, std::uint64_t>> map,
                        std::string_view source) {
    for (UntranslatableHit& hit : hits) {
        auto it = std::upper_bound(map.begin(), map.end(), hit.byte_offset,
                                   [](std::uint64_t off, const auto& entry) { return off < entry.first; });
        if (it != map.begin()) hit.byte_offset = std::prev(it)->second;
        // Name the caller's character at that offset, not the composed one.
        if (hit.byte_offset < source.size() && utf8::is_boundary(source, hit.byte_offset)) {
            hit.ch = utf8::decode(source, hit.byte_offset).cp;
        }
    }
}

}  // namespace

bool transliterate_engine(std::string_view text, const TransliterateOptions& options, std::string& out,
                          UntranslatableCollector* collector) {
    if (utf8::is_ascii(text)) return false;
    std::vector<UntranslatableHit>* hits = collector != nullptr ? &collector->hits : nullptr;
    const bool stop_at_first = collector != nullptr && collector->stop_at_first;
    const std::size_t first_hit = hits != nullptr ? hits->size() : 0;

    // Most text needs no composition: the first pass finds out on the fly.
    if (transliterate_pass(text, options, hits, stop_at_first, true, out) == PassOutcome::Text) return true;
    if (hits != nullptr) hits->resize(first_hit);

    std::string composed;
    composed.reserve(text.size());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> offsets;
    compose::Composer composer = compose::compose(text);
    while (std::optional<compose::Composed> c = composer.next()) {
        if (hits != nullptr) offsets.emplace_back(composed.size(), c->offset);
        utf8::append(composed, c->ch);
    }
    const PassOutcome outcome = transliterate_pass(composed, options, hits, stop_at_first, false, out);
    KELRAD_ASSERT(outcome == PassOutcome::Text, "compose pass never bails (detect_compose = false)");
    if (hits != nullptr) map_hits_to_source(std::span(*hits).subspan(first_hit), offsets, text);
    return true;
}

std::expected<bool, CoreError> transliterate_checked(std::string_view text, const TransliterateOptions& options,
                                                     std::string& out) {
    if (options.errors != ERRORS_STRICT) return transliterate_engine(text, options, out);
    TransliterateOptions quiet = options;
    quiet.errors = ErrorMode::Ignore;
    quiet.replace_with = "";
    UntranslatableCollector collector{{}, true};
    const bool written = transliterate_engine(text, quiet, out, &collector);
    if (!collector.hits.empty()) {
        const UntranslatableHit& first = collector.hits.front();
        return fail(error::Untranslatable{first.ch, first.byte_offset});
    }
    if (!written) out.assign(text);
    return true;
}

std::expected<bool, CoreError> transliterate(std::string_view text, const TransliterateOptions& options,
                                             std::string& out) {
    auto replaced = tables::apply_replacements(text);
    if (!replaced) return std::unexpected(std::move(replaced.error()));
    if (!*replaced) return transliterate_checked(text, options, out);
    auto result = transliterate_checked(**replaced, options, out);
    if (!result) return result;
    // The replaced text is the result even where the engine changed nothing.
    if (!*result) out = std::move(**replaced);
    return true;
}

std::expected<std::vector<UntranslatableHit>, CoreError> find_untranslatable(std::string_view text,
                                                                             const TransliterateOptions& options) {
    auto replaced = tables::apply_replacements(text);
    if (!replaced) return std::unexpected(std::move(replaced.error()));
    std::string_view subject = *replaced ? std::string_view(**replaced) : text;
    TransliterateOptions quiet = options;
    quiet.errors = ErrorMode::Ignore;
    quiet.replace_with = "";
    UntranslatableCollector collector;
    std::string discarded;
    transliterate_engine(subject, quiet, discarded, &collector);
    return std::move(collector.hits);
}

}  // namespace kelrad::transliterate
