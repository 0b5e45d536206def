#include "translit/transliterate.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <span>

#include "tables/alphanumeric.hpp"
#include "tables/normalization_compose.hpp"
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

// How a pass treats the characters that canonical composition could join to
// their neighbours (the compose triggers).
enum class ComposeMode : std::uint8_t {
    None,   // the text needs no composition (already composed, or an NFKC form)
    Bail,   // stop at the first one: the caller composes the whole text
    Local,  // compose each affected unit in place, as the whole text would be
};

// Hangul conjoining jamo: a leading consonant followed by a vowel (and a
// trailing consonant) composes into a syllable.
constexpr bool is_leading_jamo(char32_t c) noexcept { return c >= 0x1100 && c <= 0x1112; }
constexpr bool is_vowel_or_trailing_jamo(char32_t c) noexcept {
    return (c >= 0x1161 && c <= 0x1175) || (c >= 0x11A8 && c <= 0x11C2);
}

// A compose trigger other than a leading jamo joins the character before it.
bool joins_previous(char32_t c) noexcept { return c >= 0x300 && is_compose_trigger(c) && !is_leading_jamo(c); }

// The CJK ideographs and the Hangul syllables hold no combining mark: the
// test before each of them needs no lookup.
constexpr bool in_markless_block(char32_t c) noexcept {
    return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3);
}

bool starts_excluded_pair(char32_t first) noexcept {
    auto it = std::lower_bound(std::begin(tables::kExcludedPairs), std::end(tables::kExcludedPairs), first,
                               [](const tables::ExcludedPair& p, char32_t c) { return p.first < c; });
    return it != std::end(tables::kExcludedPairs) && it->first == first;
}

bool is_excluded_pair(char32_t first, char32_t second) noexcept {
    return std::binary_search(std::begin(tables::kExcludedPairs), std::end(tables::kExcludedPairs),
                              tables::ExcludedPair{first, second}, [](const auto& a, const auto& b) {
                                  return a.first != b.first ? a.first < b.first : a.second < b.second;
                              });
}

// Watches a unit for a pair that composes into a composition-excluded
// character: a character that starts such a pair, then the pair's second
// character, next to it or with marks between (composition joins across
// marks of lower class, compose.hpp). A unit with more than two starting
// characters counts as holding a pair; the composing iterator, which is
// always right, then decides.
class ExcludedPairWatch {
public:
    // Whether `c` may complete a pair with an earlier character of the unit.
    bool completes(char32_t c, bool starts_pair) noexcept {
        bool hit = false;
        for (std::size_t k = 0; k < count_; ++k) hit = hit || is_excluded_pair(firsts_[k], c);
        if (starts_pair) {
            if (count_ == firsts_.size()) return true;
            firsts_[count_++] = c;
        }
        return hit;
    }

private:
    std::array<char32_t, 2> firsts_{};
    std::size_t count_ = 0;
};

// True when composition leaves the unit as it is, character for character:
// it is in NFC (the quick check says so), holds no leading jamo followed by a
// vowel, and no pair that composes into a composition-excluded character.
// False sends the unit through the composing iterator, which is always right.
bool composition_keeps(std::string_view unit) noexcept {
    if (normalize::quick_check(unit, normalize::Form::NFC) != normalize::QuickCheck::Yes) return false;
    std::optional<char32_t> previous;
    ExcludedPairWatch pairs;
    for (auto [c, len] : utf8::chars(unit)) {
        if (pairs.completes(c, starts_excluded_pair(c)) ||
            (previous && is_leading_jamo(*previous) && is_vowel_or_trailing_jamo(c))) {
            return false;
        }
        previous = c;
    }
    return true;
}

bool is_ascii_alphanumeric(char c) noexcept {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// What the spacing rule needs of the last character appended: whether it is
// alphanumeric. Known from the last byte written when that is ASCII; for a
// non-ASCII one, the output's last character is decoded when asked.
enum class Ending : std::uint8_t { Nothing, Alphanumeric, Other, OutputEnd };

Ending ending_of(std::string_view written) noexcept {
    const auto last = static_cast<unsigned char>(written.back());
    if (last >= 0x80) return Ending::OutputEnd;
    return is_ascii_alphanumeric(static_cast<char>(last)) ? Ending::Alphanumeric : Ending::Other;
}

struct PassState {
    // The last character appended. It is nearly always the last character
    // of the output; the two differ after an empty replacement (no last
    // character) and after a removed inherent vowel (still the "a").
    Ending ending = Ending::Nothing;
    ScriptClass last_class = ScriptClass::None;
    // The previous character was a Brahmic consonant, or a medial, which
    // carries on the cluster of the consonant before it.
    bool after_consonant = false;
    // The output size right after a consonant or medial whose value ended in
    // the inherent vowel "a" (a letter that spells a syllable ends in its own
    // vowel, which stays). A following vowel sign, virama or medial removes
    // that "a", and only there: a consonant that wrote nothing (an empty
    // value, an ignored character) must not cost the caller's text a letter.
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

    // Registered values are copied into a buffer that the next lookup reuses.
    bool values_are_static() const noexcept { return !registered_lang_; }

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

char32_t last_char_of(std::string_view s) noexcept { return utf8::decode_before(s, s.size()).cp; }

// The output of a pass: the caller's string used as a raw buffer, sized
// ahead of need so that an append is a bounds test and a copy, and cut to its
// length when the pass ends. The estimated capacity is reserved at once, but
// the size grows by doubling within it, so that only about what is written
// gets filled first. The short values of the tables are copied with a few
// fixed-size moves instead of a call.
class Output {
public:
    Output(std::string& s, std::size_t capacity) : s_(s) {
        s_.clear();
        s_.reserve(capacity);
        s_.resize(std::clamp<std::size_t>(capacity / 4, 16, 4096));
        data_ = s_.data();
        cap_ = s_.size();
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() { s_.resize(len_); }

    void append(std::string_view v) {
        if (cap_ - len_ < v.size()) grow(v.size());
        copy(data_ + len_, v.data(), v.size());
        len_ += v.size();
    }
    void push_back(char c) {
        if (len_ == cap_) grow(1);
        data_[len_++] = c;
    }
    void append_char(char32_t c) {
        char buf[4];
        append(std::string_view(buf, utf8::encode_into(buf, c)));
    }
    void pop_back() noexcept { --len_; }
    std::size_t size() const noexcept { return len_; }
    std::string_view view() const noexcept { return {data_, len_}; }

private:
    static void copy(char* dst, const char* src, std::size_t n) noexcept {
        // Two overlapping moves cover 2..16 bytes, reading only [src, src + n).
        if (n >= 8 && n <= 16) {
            std::memcpy(dst, src, 8);
            std::memcpy(dst + n - 8, src + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::memcpy(dst, src, 4);
            std::memcpy(dst + n - 4, src + n - 4, 4);
        } else if (n >= 2 && n < 4) {
            std::memcpy(dst, src, 2);
            std::memcpy(dst + n - 2, src + n - 2, 2);
        } else if (n == 1) {
            *dst = *src;
        } else if (n > 16) {
            std::memcpy(dst, src, n);
        }
    }

    void grow(std::size_t need) {
        s_.resize(std::max(cap_ * 2, len_ + need));
        data_ = s_.data();
        cap_ = s_.size();
    }

    std::string& s_;
    char* data_;
    std::size_t len_ = 0;
    std::size_t cap_;
};

// What a walk needs to know of one non-ASCII character. Trivial, so that the
// cache below costs nothing to a walk that does not use it.
struct CharInfo {
    char32_t cp;  // 0 marks an empty cache slot (no ASCII character is described)
    ScriptClass cls;
    BrahmicClass role;
    bool joins;  // joins the character before it in composition
    // Composition data, filled only for the cache: canonical combining class,
    // NFC quick check Yes, first of a pair that composes into an excluded
    // character.
    std::uint8_t ccc;
    bool nfc_yes;
    bool starts_excluded;
    bool has_value;
    // For a character without a value, filled when it is first met: its NFKC
    // form is the character itself, so no recovery can give it a value.
    enum class Nfkc : std::uint8_t { Unknown, Itself, Other } nfkc;
    std::uint32_t value_len;
    const char* value;

    std::optional<std::string_view> value_view() const noexcept {
        if (!has_value) return std::nullopt;
        return std::string_view(value, value_len);
    }
};

// Texts of this size and longer describe each distinct character once, in a
// direct-mapped cache that a text of one alphabetic script (its characters in
// one or two 256-code-point blocks) fills without collisions. Shorter texts
// look every character up.
constexpr std::size_t kCharCacheMinText = 192;
constexpr std::size_t kCharCacheSize = 1024;

class Pass {
public:
    Pass(std::optional<std::string_view> lang, const TransliterateOptions& options,
         std::vector<UntranslatableHit>* hits, bool stop_at_first, Output& out)
        : lang_(lang),
          options_(options),
          sources_(lang, options),
          hits_(hits),
          stop_at_first_(stop_at_first),
          out_(out) {}

    PassOutcome run(std::string_view text, ComposeMode mode);

private:
    [[gnu::always_inline]] const CharInfo& info(char32_t c);
    void describe(char32_t c, CharInfo& d);
    bool joins(char32_t c) { return cache_on_ ? info(c).joins : joins_previous(c); }
    void ascii_run(std::string_view run);
    bool character(char32_t c, std::uint64_t offset, char32_t source);
    [[gnu::always_inline]] bool character(const CharInfo& described, std::uint64_t offset, char32_t source);
    bool unit(std::string_view text, std::size_t start, std::size_t& end);
    bool nfkc_recovery(char32_t c, std::uint64_t offset, char32_t source);
    [[gnu::noinline]] void subjoined_consonant();
    bool ends_alphanumeric() const noexcept;

    std::optional<std::string_view> lang_;  // resolved: never "auto"
    const TransliterateOptions& options_;
    Sources sources_;
    std::vector<UntranslatableHit>* hits_;
    bool stop_at_first_;
    Output& out_;
    PassState state_;
    bool cache_on_ = false;
    CharInfo scratch_;                             // written before it is read
    std::array<CharInfo, kCharCacheSize> cache_;  // cleared when switched on
};

// Fills `d` in place: a described value handed back by copy would be read
// as a whole right after being written field by field.
void Pass::describe(char32_t c, CharInfo& d) {
    d.cp = c;
    d.cls = script_class(c);
    d.role = d.cls == ScriptClass::Brahmic ? brahmic_class(c) : BrahmicClass::Other;
    d.joins = joins_previous(c);
    if (cache_on_) {
        d.ccc = normalize::combining_class(c);
        d.nfc_yes = normalize::quick_check(c, normalize::Form::NFC) == normalize::QuickCheck::Yes;
        d.starts_excluded = starts_excluded_pair(c);
    }
    const std::optional<std::string_view> v = sources_.find(c);
    d.has_value = v.has_value();
    d.nfkc = CharInfo::Nfkc::Unknown;
    d.value = v ? v->data() : nullptr;
    d.value_len = v ? static_cast<std::uint32_t>(v->size()) : 0;
}

// Each 256-code-point block starts at its own scattered offset: the
// characters of one block never collide, and a text that mixes scripts or
// spans many ideograph blocks spreads over the whole cache.
constexpr std::size_t cache_index(char32_t c) noexcept {
    return (c + ((c >> 8) * 0x9E3779B1u >> 22)) & (kCharCacheSize - 1);
}

inline const CharInfo& Pass::info(char32_t c) {
    if (!cache_on_) {
        describe(c, scratch_);
        return scratch_;
    }
    CharInfo& slot = cache_[cache_index(c)];
    if (slot.cp != c) describe(c, slot);
    return slot;
}

bool Pass::ends_alphanumeric() const noexcept {
    switch (state_.ending) {
        case Ending::Alphanumeric: return true;
        case Ending::OutputEnd: return tables::is_alphanumeric(last_char_of(out_.view()));
        default: return false;
    }
}

// One walk over `text`, appending to the output. Returns Bail only in Bail
// mode. Stopping at the first untranslatable character ends the walk with
// the output built so far.
PassOutcome Pass::run(std::string_view text, ComposeMode mode) {
    if (text.size() >= kCharCacheMinText && sources_.values_are_static()) {
        for (CharInfo& slot : cache_) slot.cp = 0;
        cache_on_ = true;
    }
    const bool local = mode == ComposeMode::Local;
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            const std::size_t run = utf8::ascii_prefix_len(text.substr(i));
            const std::size_t next = i + run;
            if (local && next < text.size() && joins(utf8::decode(text, next).cp)) {
                // The run's last character is the base of a composition unit.
                if (run > 1) ascii_run(text.substr(i, run - 1));
                if (!unit(text, next - 1, i)) break;
                continue;
            }
            ascii_run(text.substr(i, run));
            i = next;
            continue;
        }

        const auto [c, len] = utf8::decode(text, i);
        if (local) {
            // A unit starts here at a leading jamo, at a mark with no base
            // (the text's first character: every later mark is seen as the
            // next character of its base), or before a joining character.
            const std::size_t next = i + len;
            bool next_joins = false;
            if (next < text.size() && static_cast<unsigned char>(text[next]) >= 0x80) {
                const char32_t n = utf8::decode(text, next).cp;
                next_joins = !in_markless_block(n) && joins(n);
            }
            if (next_joins || is_leading_jamo(c) || (i == 0 && joins(c))) {
                if (!unit(text, i, i)) break;
                continue;
            }
        } else if (mode == ComposeMode::Bail && is_compose_trigger(c)) {
            return PassOutcome::Bail;
        }
        if (!character(info(c), i, c)) break;
        i += len;
    }
    return PassOutcome::Text;
}

// The characters from `start` that composition treats together: the first
// one and every joining character or jamo vowel after it. Composition never
// reaches across the character that ends the unit, so the unit composed alone
// is the composed text at that place. `end` receives the position after it.
bool Pass::unit(std::string_view text, std::size_t start, std::size_t& end) {
    // With the cache, the scan for the end also runs the test of
    // composition_keeps on the cached data: every character's quick check
    // Yes, combining classes in canonical order, no composing pair.
    bool keeps = true;
    std::uint8_t last_ccc = 0;
    char32_t previous = 0;
    ExcludedPairWatch pairs;
    auto keep = [&](char32_t c, const CharInfo* d) {
        const std::uint8_t ccc = d != nullptr ? d->ccc : 0;
        if (d != nullptr && (!d->nfc_yes || (ccc != 0 && last_ccc > ccc))) keeps = false;
        if (pairs.completes(c, d != nullptr && d->starts_excluded) ||
            (is_leading_jamo(previous) && is_vowel_or_trailing_jamo(c))) {
            keeps = false;
        }
        last_ccc = ccc;
        previous = c;
    };

    // With the cache, the unit's first characters are kept as described, so
    // that a unit that composition leaves alone is not read again.
    struct Described {
        CharInfo info;
        std::uint32_t len;
    };
    std::array<Described, 8> described;
    std::size_t count = 0;

    const auto [first, first_len] = utf8::decode(text, start);
    if (cache_on_) {
        const CharInfo* d = first < 0x80 ? nullptr : &info(first);
        keep(first, d);
        if (d != nullptr) described[count++] = {*d, first_len};
    }
    std::size_t stop = start + first_len;
    while (stop < text.size()) {
        const auto [c, len] = utf8::decode(text, stop);
        if (c < 0x80) break;
        const CharInfo* d = cache_on_ ? &info(c) : nullptr;
        if (!(d != nullptr ? d->joins : joins_previous(c)) && !is_vowel_or_trailing_jamo(c)) break;
        if (d != nullptr) {
            keep(c, d);
            if (count < described.size()) described[count] = {*d, len};
            ++count;  // counts past the array too: then the unit is read again
        }
        stop += len;
    }
    end = stop;
    std::string_view unit = text.substr(start, stop - start);
    if (!cache_on_) keeps = composition_keeps(unit);

    if (keeps && count != 0 && count <= described.size() && first >= 0x80) {
        for (std::size_t k = 0; k < count; ++k) {
            if (!character(described[k].info, start, described[k].info.cp)) return false;
            start += described[k].len;
        }
        return true;
    }
    if (keeps) {
        for (auto [c, len] : utf8::chars(unit)) {
            if (!character(c, start, c)) return false;
            start += len;
        }
        return true;
    }
    // Offsets and reported characters are those of the caller's text: the
    // source character each composed one came from.
    compose::Composer composer = compose::compose(unit);
    while (std::optional<compose::Composed> c = composer.next()) {
        const std::uint64_t offset = start + c->offset;
        if (!character(c->ch, offset, utf8::decode(text, static_cast<std::size_t>(offset)).cp)) return false;
    }
    return true;
}

void Pass::ascii_run(std::string_view run) {
    // Latin after a Han or Hangul syllable is set apart from it.
    if ((state_.last_class == ScriptClass::Han || state_.last_class == ScriptClass::Hangul) &&
        is_ascii_alphanumeric(run.front()) && ends_alphanumeric()) {
        out_.push_back(' ');
    }
    out_.append(run);
    state_.ending = ending_of(run);
    state_.last_class = ScriptClass::Ascii;
    state_.after_consonant = false;
}

// One character at `offset`; `source` is the caller's character reported for
// it. False when the walk stops here (the first untranslatable character
// with stop_at_first).
bool Pass::character(char32_t c, std::uint64_t offset, char32_t source) {
    if (c >= 0x80) return character(info(c), offset, source);
    const char ascii = static_cast<char>(c);
    ascii_run(std::string_view(&ascii, 1));
    return true;
}

inline bool Pass::character(const CharInfo& described, std::uint64_t offset, char32_t source) {
    const char32_t c = described.cp;
    const ScriptClass cls = described.cls;
    const std::optional<std::string_view> value = described.value_view();
    if (cls == ScriptClass::Brahmic) {
        const BrahmicClass role = described.role;
        if (role == BrahmicClass::Consonant) {
            state_.after_consonant = true;
        } else if (state_.after_consonant &&
                   (role == BrahmicClass::DependentVowelSign || role == BrahmicClass::Virama)) {
            // The sign replaces the consonant's inherent vowel.
            if (state_.inherent_vowel_end == out_.size()) {
                out_.pop_back();
                state_.ending = Ending::Alphanumeric;  // still the removed "a"
            }
            state_.after_consonant = false;
            state_.inherent_vowel_end = kNoPosition;
            if (value && !value->empty()) {
                out_.append(*value);
                state_.ending = ending_of(*value);
            }
            state_.last_class = ScriptClass::Brahmic;
            return true;
        } else if (role == BrahmicClass::SubjoinedConsonant) [[unlikely]] {
            subjoined_consonant();
        } else {
            state_.after_consonant = false;
        }
    } else {
        state_.after_consonant = false;
    }
    state_.inherent_vowel_end = kNoPosition;

    if (!value) return !(nfkc_recovery(c, offset, source) && stop_at_first_);

    // CJK syllables are set apart from alphanumeric output before them; a run
    // of kana stays joined.
    if ((cls == ScriptClass::Han || cls == ScriptClass::Hangul || cls == ScriptClass::Kana) &&
        state_.last_class != ScriptClass::None &&
        (cls != ScriptClass::Kana || state_.last_class != ScriptClass::Kana) && ends_alphanumeric()) {
        out_.push_back(' ');
        state_.ending = Ending::Other;
    }
    if (!value->empty()) {
        out_.append(*value);
        state_.ending = ending_of(*value);
        if (state_.after_consonant && value->back() == 'a') state_.inherent_vowel_end = out_.size();
    }
    state_.last_class = cls;
    return true;
}

// A medial or subjoined consonant joins the consonant before it in one
// cluster (Tibetan KA with subjoined RA is "kra", Burmese MA with medial RA
// "mra"): the consonant before loses its inherent vowel, and this one carries
// the cluster's. Out of line, so that the inlined character step stays small
// for every other script.
void Pass::subjoined_consonant() {
    if (state_.after_consonant && state_.inherent_vowel_end == out_.size()) {
        out_.pop_back();
        state_.ending = Ending::Alphanumeric;  // still the removed "a"
    }
    state_.after_consonant = true;
}

// A character no table knows: its NFKC form, transliterated, or else the
// errors policy. True when the character counts as untranslatable.
bool Pass::nfkc_recovery(char32_t c, std::uint64_t offset, char32_t source) {
    CharInfo* cached = nullptr;
    if (cache_on_) {
        CharInfo& slot = cache_[cache_index(c)];
        if (slot.cp == c) cached = &slot;
    }
    // Short forms stay in the string's inline buffer.
    std::string form;
    if (cached == nullptr || cached->nfkc != CharInfo::Nfkc::Itself) {
        normalize::append_nfkc(c, form);
        const bool itself = form.size() == utf8::encoded_len(c) && utf8::decode(form, 0).cp == c;
        if (cached != nullptr) cached->nfkc = itself ? CharInfo::Nfkc::Itself : CharInfo::Nfkc::Other;
        if (itself) form.clear();
    }
    if (!form.empty()) {
        std::vector<UntranslatableHit> inner_hits;
        std::string inner_out;
        {
            Output output(inner_out, form.size());
            Pass inner(lang_, options_, hits_ != nullptr ? &inner_hits : nullptr, false, output);
            const PassOutcome outcome = inner.run(form, ComposeMode::None);
            KELRAD_ASSERT(outcome == PassOutcome::Text, "NFKC recovery pass never bails (detect_compose = false)");
        }
        if (!inner_out.empty()) {
            out_.append(inner_out);
            state_.ending = ending_of(inner_out);
            state_.last_class = ScriptClass::Ascii;
            if (!inner_hits.empty()) {
                hits_->push_back({source, offset});
                return true;
            }
            return false;
        }
    }
    if (hits_ != nullptr) hits_->push_back({source, offset});
    switch (options_.errors) {
        case ErrorMode::Replace:
            out_.append(options_.replace_with);
            state_.ending = options_.replace_with.empty() ? Ending::Nothing : ending_of(options_.replace_with);
            break;
        case ErrorMode::Ignore:
            break;
        default:  // Preserve
            out_.append_char(c);
            state_.ending = tables::is_alphanumeric(c) ? Ending::Alphanumeric : Ending::Other;
            break;
    }
    state_.last_class = ScriptClass::Other;
    return true;
}

// One pass over `text` with `lang` as the caller gave it ("auto" is resolved
// here, against this text).
PassOutcome transliterate_pass(std::string_view text, const TransliterateOptions& options,
                               std::vector<UntranslatableHit>* hits, bool stop_at_first, ComposeMode mode,
                               std::string& out) {
    std::optional<std::string_view> lang = options.lang;
    if (lang && *lang == "auto") lang = autolang::inspect_auto_lang(text).chosen_lang;
    Output output(out, estimate_capacity(text));
    return Pass(lang, options, hits, stop_at_first, output).run(text, mode);
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

    // Composition is local: each unit of a base and the characters that join
    // it composes on its own, so one walk composes the units it meets in place
    // and the text is never composed as a whole. Two cases keep the walk over
    // the caller's text up to its first compose trigger, then compose the
    // whole text and walk again: "auto", whose language is chosen from the
    // whole composed text, and stopping at the first untranslatable
    // character, which reports a character met before that trigger as it
    // stands, even when composing it with what follows would have given it a
    // value.
    if (!stop_at_first && (!options.lang || *options.lang != "auto")) {
        transliterate_pass(text, options, hits, stop_at_first, ComposeMode::Local, out);
        return true;
    }
    const std::size_t first_hit = hits != nullptr ? hits->size() : 0;
    if (transliterate_pass(text, options, hits, stop_at_first, ComposeMode::Bail, out) == PassOutcome::Text) {
        return true;
    }
    if (hits != nullptr) hits->resize(first_hit);

    std::string composed;
    composed.reserve(text.size());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> offsets;
    compose::Composer composer = compose::compose(text);
    while (std::optional<compose::Composed> c = composer.next()) {
        if (hits != nullptr) offsets.emplace_back(composed.size(), c->offset);
        utf8::append(composed, c->ch);
    }
    const PassOutcome outcome = transliterate_pass(composed, options, hits, stop_at_first, ComposeMode::None, out);
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
