#include "presets/slugify.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "tables/alphanumeric.hpp"
#include "text/case_fold.hpp"
#include "text/compose.hpp"
#include "text/grapheme.hpp"
#include "text/lock.hpp"
#include "text/normalize.hpp"
#include "translit/langs.hpp"
#include "translit/transliterate.hpp"
#include "util/automaton.hpp"
#include "util/panic.hpp"
#include "util/utf8.hpp"

namespace kelrad::slugify {
namespace {

constexpr char32_t kZwnj = 0x200C;
constexpr char32_t kZwj = 0x200D;

// ---- Replacement automata ----------------------------------------------------------

// Leftmost-first over the non-empty keys in list order, and their values.
struct SlugReplacementAutomaton {
    std::vector<Replacement> list;
    std::vector<std::string_view> values;  // into `list`, by pattern number
    automaton::AhoCorasick matcher;
};

// Keyed by the whole replacement list, empty keys included; looked up by a
// span of the caller's list, without copying it.
struct ReplacementListHash {
    using is_transparent = void;
    std::size_t operator()(std::span<const Replacement> list) const noexcept {
        std::size_t h = list.size();
        for (const auto& [key, value] : list) {
            for (std::string_view s : {std::string_view(key), std::string_view(value)}) {
                h = (h ^ std::hash<std::string_view>{}(s)) * 0x9E3779B97F4A7C15ULL;
                h ^= s.size();
            }
        }
        return h;
    }
};

struct ReplacementListEqual {
    using is_transparent = void;
    bool operator()(std::span<const Replacement> a, std::span<const Replacement> b) const noexcept {
        return std::ranges::equal(a, b);
    }
};

using AutomatonMap = std::unordered_map<std::vector<Replacement>, std::shared_ptr<const SlugReplacementAutomaton>,
                                        ReplacementListHash, ReplacementListEqual>;

constexpr std::size_t kReplacementCacheCapacity = 32;

sync::RwLock<AutomatonMap>& replacement_automaton_cache() {
    static auto& REPLACEMENT_AUTOMATON_CACHE = *new sync::RwLock<AutomatonMap>("REPLACEMENT_AUTOMATON_CACHE");
    return REPLACEMENT_AUTOMATON_CACHE;
}

std::shared_ptr<const SlugReplacementAutomaton> build_automaton(std::span<const Replacement> replacements) {
    std::vector<Replacement> list(replacements.begin(), replacements.end());
    // Views into the strings of `list`, whose buffer moves with it below.
    std::vector<std::string_view> keys, values;
    for (const auto& [key, value] : list) {
        if (key.empty()) continue;
        keys.push_back(key);
        values.push_back(value);
    }
    auto matcher = automaton::AhoCorasick::build(std::span<const std::string_view>(keys),
                                                 automaton::MatchKind::LeftmostFirst);
    KELRAD_ASSERT(matcher.has_value(), "slug replacement keys are valid aho-corasick patterns");
    return std::make_shared<const SlugReplacementAutomaton>(
        SlugReplacementAutomaton{std::move(list), std::move(values), std::move(*matcher)});
}

std::shared_ptr<const SlugReplacementAutomaton> cached_automaton(std::span<const Replacement> replacements) {
    auto& cache = replacement_automaton_cache();
    {
        auto map = cache.read();
        if (auto it = map->find(replacements); it != map->end()) return it->second;
    }
    auto built = build_automaton(replacements);  // outside the lock
    auto map = cache.write();
    if (map->size() >= kReplacementCacheCapacity && map->find(replacements) == map->end()) map->clear();
    map->insert_or_assign(built->list, built);
    return built;
}

// Every occurrence of a non-empty key, left to right, replaced.
bool replace_all(std::string_view text, std::string_view key, std::string_view value, std::string& out) {
    std::size_t pos = text.find(key);
    if (pos == std::string_view::npos) return false;
    out.clear();
    out.reserve(text.size());
    std::size_t last = 0;
    do {
        out.append(text.substr(last, pos - last));
        out.append(value);
        last = pos + key.size();
        pos = text.find(key, last);
    } while (pos != std::string_view::npos);
    out.append(text.substr(last));
    return true;
}

// The value before every character and after the last: what replacing an
// empty key means.
void surround_characters(std::string_view text, std::string_view value, std::string& out) {
    out.clear();
    out.reserve(text.size() + (utf8::char_count(text) + 1) * value.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t len = utf8::decode(text, i).len;
        out.append(value);
        out.append(text.substr(i, len));
        i += len;
    }
    out.append(value);
}

// ---- Character references ----------------------------------------------------------

struct Reference {
    std::size_t end;                 // past the reference and its optional ';'
    std::optional<char32_t> decoded; // nothing: the reference is dropped
};

bool mark_at(std::string_view text, std::size_t i) noexcept {
    return i < text.size() && normalize::is_mark(utf8::decode(text, i).cp);
}

int digit_value(char c, bool hex) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// A decoded reference may stand for white space (tab to carriage return,
// which the separator pass turns into a separator), not for other controls,
// surrogates or values beyond Unicode.
bool decodable(std::uint32_t v) noexcept {
    if (v >= 0x09 && v <= 0x0D) return true;
    return v >= 0x20 && !(v >= 0x7F && v <= 0x9F) && !(v >= 0xD800 && v <= 0xDFFF) && v <= 0x10FFFF;
}

// The reference at text[amp] == '&', or nothing when the '&' is plain text.
std::optional<Reference> read_reference(std::string_view text, std::size_t amp, bool decimal, bool hexadecimal) {
    static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
        {"amp;", U'&'}, {"lt;", U'<'}, {"gt;", U'>'}, {"quot;", U'"'}, {"apos;", U'\''}};
    const std::string_view rest = text.substr(amp + 1);
    for (const auto& [name, ch] : kNamed) {
        if (rest.starts_with(name)) return Reference{amp + 1 + name.size(), ch};
    }
    if (!rest.starts_with('#')) return std::nullopt;
    std::size_t i = amp + 2;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex ? !hexadecimal : !decimal) return std::nullopt;
    if (hex && mark_at(text, ++i)) return std::nullopt;
    const std::size_t first_digit = i;
    std::uint32_t value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const int d = digit_value(text[i], hex);
        // A letter carrying a combining mark is a letter of the text, not a digit.
        if (d < 0 || (d >= 10 && mark_at(text, i + 1))) break;
        overflow |= __builtin_mul_overflow(value, hex ? 16u : 10u, &value);
        overflow |= __builtin_add_overflow(value, static_cast<std::uint32_t>(d), &value);
    }
    if (i == first_digit) return std::nullopt;
    if (i < text.size() && text[i] == ';') ++i;
    if (overflow || !decodable(value)) return Reference{i, std::nullopt};
    return Reference{i, static_cast<char32_t>(value)};
}

// ---- The separator pass ----------------------------------------------------------------

// One entry per ASCII byte: the byte to write, or kSeparatorMark.
constexpr std::uint16_t kSeparatorMark = 0x100;
using ByteClasses = std::array<std::uint16_t, 128>;

constexpr ByteClasses make_byte_classes(bool lowercase) {
    ByteClasses table{};
    for (std::uint16_t b = 0; b < 128; ++b) {
        const bool digit = b >= '0' && b <= '9';
        const bool upper = b >= 'A' && b <= 'Z';
        const bool lower = b >= 'a' && b <= 'z';
        table[b] = digit || lower ? b : upper ? static_cast<std::uint16_t>(lowercase ? b + 32 : b) : kSeparatorMark;
    }
    return table;
}

constexpr ByteClasses SLUG_BYTE_CLASSES = make_byte_classes(false);
constexpr ByteClasses SLUG_BYTE_CLASSES_LOWER = make_byte_classes(true);

std::u32string decode_all(std::string_view text) {
    std::u32string out;
    for (auto [cp, len] : utf8::chars(text)) out.push_back(cp);
    return out;
}

bool is_safe(std::u32string_view safe_chars, char32_t cp) noexcept {
    return safe_chars.find(cp) != std::u32string_view::npos;
}

// Circled and squared Latin letters: Alphabetic, yet symbols in a slug.
bool is_enclosed_latin_letter(char32_t cp) noexcept {
    return (cp >= 0x24B6 && cp <= 0x24E9) || (cp >= 0x1F130 && cp <= 0x1F149) ||
           (cp >= 0x1F150 && cp <= 0x1F169) || (cp >= 0x1F170 && cp <= 0x1F189);
}

enum class CharRole : std::uint8_t { Kept, Separator, Joiner, Mark };

CharRole role_of(char32_t cp, bool allow_unicode, std::u32string_view safe_chars) noexcept {
    bool kept;
    if (cp < 0x80) {
        kept = SLUG_BYTE_CLASSES[cp] != kSeparatorMark;
    } else if (!allow_unicode) {
        kept = tables::is_alphanumeric(cp);
    } else {
        kept = tables::is_alphanumeric(cp) && !is_enclosed_latin_letter(cp);
        if (!kept && (cp == kZwnj || cp == kZwj)) return CharRole::Joiner;
        if (!kept && normalize::is_mark(cp)) return CharRole::Mark;
    }
    return kept || is_safe(safe_chars, cp) ? CharRole::Kept : CharRole::Separator;
}

unsigned decomposition_marks(char32_t cp) noexcept {
    if (cp < 0x80) return 0;
    unsigned n = 0;
    for (char32_t c : normalize::canonical_decomposition(cp)) n += normalize::is_mark(c);
    return n;
}

// ---- Cuts -------------------------------------------------------------------------------

bool ends_with_joiner(std::string_view text, std::size_t end) noexcept {
    // U+200C and U+200D are E2 80 8C and E2 80 8D.
    return end >= 3 && text.substr(end - 3, 2) == "\xE2\x80" &&
           (text[end - 1] == '\x8C' || text[end - 1] == '\x8D');
}

std::size_t strip_trailing_joiners(std::string_view text, std::size_t end) noexcept {
    while (ends_with_joiner(text, end)) end -= 3;
    return end;
}

std::string_view strip_joiners(std::string_view text) noexcept {
    text = text.substr(0, strip_trailing_joiners(text, text.size()));
    while (text.starts_with("\xE2\x80\x8C") || text.starts_with("\xE2\x80\x8D")) text.remove_prefix(3);
    return text;
}

// The end of the longest run of whole extended grapheme clusters (UAX #29)
// from the start that fits in `limit` bytes.
std::size_t cluster_cut(std::string_view text, std::size_t limit) noexcept {
    std::size_t cut = 0;
    while (cut < text.size()) {
        const std::size_t next = grapheme::next_boundary(text, cut);
        if (next > limit) break;
        cut = next;
    }
    return cut;
}

std::size_t cut_at(std::string_view text, std::size_t limit, bool allow_unicode) {
    return allow_unicode ? cluster_cut(text, limit) : utf8::truncate_at_boundary(text, limit).size();
}

// ---- Lower-casing ----------------------------------------------------------------------

bool lowercase_into(std::string_view text, bool ascii, std::string& out) {
    if (ascii && std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) return false;
    case_fold::to_lowercase_into(text, out);
    return true;
}

}  // namespace

// ---- Options ----------------------------------------------------------------------------

std::expected<SlugifyOptions, CoreError> build_options(SlugOptionValues values) {
    if (auto r = transliterate::resolve_lang(values.lang); !r) return std::unexpected(std::move(r.error()));
    if (values.max_length < 0) return fail(error::NegativeMaxLength{values.max_length});
    auto regex = resolve_regex(values.regex_pattern);
    if (!regex) return std::unexpected(std::move(regex.error()));
    SlugifyOptions options;
    options.separator = values.separator;
    options.stopwords = std::move(values.stopwords);
    options.replacements = std::move(values.replacements);
    options.safe_chars = values.safe_chars;
    if (values.lang) options.lang = std::string(*values.lang);
    options.max_length = static_cast<std::size_t>(values.max_length);
    options.regex = std::move(*regex);
    options.lowercase = values.lowercase;
    options.word_boundary = values.word_boundary;
    options.save_order = values.save_order;
    options.allow_unicode = values.allow_unicode;
    options.entities = values.entities;
    options.decimal = values.decimal;
    options.hexadecimal = values.hexadecimal;
    return options;
}

void SlugWorkspace::shrink() noexcept {
    constexpr std::size_t kKept = std::size_t{1} << 20;
    for (std::string& buffer : buffers_) {
        if (buffer.capacity() > kKept) std::string().swap(buffer);
    }
}

// ---- Steps ------------------------------------------------------------------------------

bool apply_replacements(std::string_view text, std::span<const Replacement> replacements, std::string& out) {
    if (replacements.size() == 1) {
        const auto& [key, value] = replacements[0];
        if (key.empty()) {
            surround_characters(text, value, out);
            return true;
        }
        return replace_all(text, key, value, out);
    }
    const Replacement* only = nullptr;
    std::size_t non_empty = 0;
    for (const Replacement& r : replacements) {
        if (r.first.empty()) continue;
        if (++non_empty == 1) only = &r;
    }
    if (non_empty == 0) return false;
    if (non_empty == 1) return replace_all(text, only->first, only->second, out);
    auto automaton = cached_automaton(replacements);
    return automaton->matcher.replace_all(text, automaton->values, out);
}

bool decode_char_references(std::string_view text, bool decimal, bool hexadecimal, std::string& out) {
    std::size_t amp = text.find('&');
    std::size_t copied = 0;  // text before this is in `out`
    bool changed = false;
    while (amp != std::string_view::npos) {
        auto ref = read_reference(text, amp, decimal, hexadecimal);
        if (!ref) {
            amp = text.find('&', amp + 1);
            continue;
        }
        if (!changed) {
            out.clear();
            out.reserve(text.size());
            changed = true;
        }
        out.append(text.substr(copied, amp - copied));
        if (ref->decoded) utf8::append(out, *ref->decoded);
        copied = ref->end;
        amp = text.find('&', copied);  // decoded text is not read again
    }
    if (changed) out.append(text.substr(copied));
    return changed;
}

void separator_class(std::string_view text, std::string_view separator, std::u32string_view safe_chars,
                     bool lowercase, std::string& out) {
    const ByteClasses* table = lowercase ? &SLUG_BYTE_CLASSES_LOWER : &SLUG_BYTE_CLASSES;
    ByteClasses custom;
    if (!safe_chars.empty()) {
        custom = *table;
        for (char32_t c : safe_chars) {
            if (c < 0x80 && custom[c] == kSeparatorMark) custom[c] = static_cast<std::uint16_t>(c);
        }
        table = &custom;
    }
    if (separator.size() == 1) {
        // Every byte is written where the output stands; the position moves
        // on unless this byte and the one before are both separators, so a
        // run leaves one separator, and the text's start counts as one.
        out.resize_and_overwrite(text.size(), [&](char* dst, std::size_t) {
            const char sep = separator[0];
            std::size_t pos = 0;
            bool previous_separator = true;
            for (char c : text) {
                const std::uint16_t v = (*table)[static_cast<unsigned char>(c) & 0x7F];
                const bool is_separator = v == kSeparatorMark;
                dst[pos] = is_separator ? sep : static_cast<char>(v);
                pos += !(is_separator && previous_separator);
                previous_separator = is_separator;
            }
            if (previous_separator && pos > 0) --pos;  // the separator of a trailing run
            return pos;
        });
        return;
    }
    out.clear();
    out.reserve(text.size());
    bool owed = false;  // a separator goes before the next kept byte
    for (char c : text) {
        const std::uint16_t v = (*table)[static_cast<unsigned char>(c) & 0x7F];
        if (v == kSeparatorMark) {
            owed = !out.empty();
            continue;
        }
        if (owed) out.append(separator);
        owed = false;
        out += static_cast<char>(v);
    }
}

void unicode_separator_class(std::string_view text, std::string_view separator, std::u32string_view safe_chars,
                             bool allow_unicode, std::string& out) {
    out.clear();
    out.reserve(text.size());
    bool after_kept = false;     // the last thing written is a kept character (or its marks)
    bool in_separator = true;    // the text's start counts as a separator
    bool owed = false;           // a separator goes before the next kept character
    char32_t joiner = 0;         // a joiner waiting for the next kept character
    unsigned marks = 0;          // combining marks on the last kept character
    for (auto [cp, len] : utf8::chars(text)) {
        switch (role_of(cp, allow_unicode, safe_chars)) {
            case CharRole::Separator:
                joiner = 0;
                after_kept = false;
                marks = 0;
                if (!in_separator && !separator.empty()) {
                    owed = true;
                    in_separator = true;
                }
                break;
            case CharRole::Joiner:
                if (after_kept) joiner = cp;
                break;
            case CharRole::Mark:
                if (!after_kept || ++marks > 2) break;
                if (joiner) utf8::append(out, std::exchange(joiner, 0));
                utf8::append(out, cp);
                break;
            case CharRole::Kept:
                if (owed) out.append(separator);
                owed = false;
                if (allow_unicode) marks = decomposition_marks(cp);
                if (joiner) utf8::append(out, std::exchange(joiner, 0));
                utf8::append(out, cp);
                after_kept = true;
                in_separator = false;
                break;
        }
    }
}

std::size_t trim_trailing_separator(std::string_view text, std::size_t cut, std::string_view separator,
                                    bool unicode) noexcept {
    std::size_t end = unicode ? strip_trailing_joiners(text, cut) : cut;
    if (!separator.empty() && !text.substr(end).starts_with(separator)) {
        const std::size_t longest = std::min(end, separator.size());
        for (std::size_t k = 1; k <= longest; ++k) {
            if (text.substr(end - k).starts_with(separator)) {
                end -= k;
                break;
            }
        }
    }
    return unicode ? strip_trailing_joiners(text, end) : end;
}

StopwordSet build_stopword_set(std::span<const std::string> stopwords) {
    StopwordSet set;
    set.reserve(stopwords.size());
    for (const std::string& word : stopwords) {
        if (auto lowered = case_fold::to_lowercase_cow(word)) {
            set.insert(std::move(*lowered));
        } else {
            set.insert(word);
        }
    }
    return set;
}

bool is_stopword(std::string_view word, const StopwordSet& stopwords, bool case_insensitive) {
    if (stopwords.empty()) return false;
    if (!case_insensitive) return stopwords.contains(word);
    if (auto lowered = case_fold::to_lowercase_cow(word)) return stopwords.contains(std::string_view(*lowered));
    return stopwords.contains(word);
}

std::string_view remove_stopwords(std::string_view slug, std::string_view separator, const StopwordSet& stopwords,
                                  bool save_order, bool case_insensitive, std::string& out) {
    // The words are the pieces between separators, empty ones included.
    auto for_each_word = [&](auto&& visit) {
        for (std::size_t start = 0;;) {
            const std::size_t end = std::min(slug.find(separator, start), slug.size());
            if (!visit(start, end)) return;
            if (end == slug.size()) return;
            start = end + separator.size();
        }
    };
    if (save_order) {
        // The words kept are contiguous: the slug between the first and the
        // last word that is not a stopword.
        std::optional<std::size_t> first;
        std::size_t last = 0;
        for_each_word([&](std::size_t start, std::size_t end) {
            if (!is_stopword(slug.substr(start, end - start), stopwords, case_insensitive)) {
                if (!first) first = start;
                last = end;
            }
            return true;
        });
        return first ? slug.substr(*first, last - *first) : std::string_view();
    }
    out.clear();
    out.reserve(slug.size());
    bool any = false;
    for_each_word([&](std::size_t start, std::size_t end) {
        const std::string_view word = slug.substr(start, end - start);
        if (!is_stopword(word, stopwords, case_insensitive)) {
            if (any) out.append(separator);
            out.append(word);
            any = true;
        }
        return true;
    });
    return out;
}

std::string_view truncate_slug(std::string_view slug, std::size_t max_length, std::string_view separator,
                               bool word_boundary, bool allow_unicode) {
    if (max_length == 0 || slug.size() <= max_length) return slug;
    const std::size_t cut = cut_at(slug, max_length, allow_unicode);
    if (word_boundary && !separator.empty()) {
        if (cut == 0) return {};
        if (slug.substr(cut).starts_with(separator)) return slug.substr(0, cut);
        const std::size_t last = slug.substr(0, cut).rfind(separator);
        if (last != std::string_view::npos) return slug.substr(0, last);
        // The first word alone is longer than the limit: cut inside it.
    }
    return slug.substr(0, trim_trailing_separator(slug, cut, separator, allow_unicode));
}

std::expected<std::string, CoreError> unique_slug_candidate(std::string_view base, std::uint64_t counter,
                                                            std::string_view separator, std::size_t max_length,
                                                            bool allow_unicode) {
    if (counter == 0) return std::string(base);
    std::string suffix(separator);
    suffix += std::to_string(counter);
    std::string candidate;
    if (max_length == 0 || base.size() + suffix.size() <= max_length) {
        candidate.reserve(base.size() + suffix.size());
        candidate.append(base);
    } else {
        const std::size_t budget = max_length > suffix.size() ? max_length - suffix.size() : 0;
        const std::size_t end = trim_trailing_separator(base, cut_at(base, budget, allow_unicode), separator,
                                                        allow_unicode);
        if (end == 0) {
            const std::size_t first = base.empty() ? 0
                                      : allow_unicode ? grapheme::next_boundary(base, 0)
                                                      : utf8::decode(base, 0).len;
            return fail(error::UniqueSlugMaxLengthTooSmall{max_length, std::string(separator), suffix.size() + first});
        }
        candidate.append(base.substr(0, end));
    }
    candidate.append(suffix);
    return candidate;
}

// ---- The whole -----------------------------------------------------------------------------

std::string_view slugify(std::string_view text, const SlugifyOptions& options, const StopwordSet* stopwords,
                         SlugWorkspace& workspace) {
    if (text.empty()) return {};
    std::string_view current = text;
    auto step = [&](auto&& write) {
        std::string& out = workspace.spare(current);
        if (write(current, out)) current = out;
    };

    if (!options.replacements.empty()) {
        step([&](std::string_view in, std::string& out) { return apply_replacements(in, options.replacements, out); });
    }
    if (options.entities) {
        step([&](std::string_view in, std::string& out) {
            return decode_char_references(in, options.decimal, options.hexadecimal, out);
        });
    }
    if (!options.allow_unicode) {
        transliterate::TransliterateOptions translit;
        translit.lang = options.lang ? std::optional<std::string_view>(*options.lang) : std::nullopt;
        translit.errors = ErrorMode::Ignore;
        translit.replace_with = "";
        step([&](std::string_view in, std::string& out) { return transliterate::transliterate_engine(in, translit, out); });
    }
    // ASCII text without a pattern is lower-cased by the separator pass.
    const bool lower_in_pass = options.lowercase && !options.regex && utf8::is_ascii(current);
    if (options.lowercase && !lower_in_pass) {
        const bool ascii = utf8::is_ascii(current);
        step([&](std::string_view in, std::string& out) { return lowercase_into(in, ascii, out); });
    }
    if (options.allow_unicode) step(compose::compose_if_marks);
    if (options.regex) {
        step([&](std::string_view in, std::string& out) { return options.regex->delete_matches(in, out); });
    }

    const std::u32string safe_chars = options.safe_chars.empty() ? std::u32string() : decode_all(options.safe_chars);
    step([&](std::string_view in, std::string& out) {
        if (utf8::is_ascii(in)) {
            separator_class(in, options.separator, safe_chars, lower_in_pass, out);
        } else {
            unicode_separator_class(in, options.separator, safe_chars, options.allow_unicode, out);
        }
        return true;
    });

    if (options.allow_unicode && options.separator.empty()) step(compose::compose_if_marks);
    if (!options.stopwords.empty() && !options.separator.empty()) {
        std::optional<StopwordSet> built;
        if (stopwords == nullptr) stopwords = &built.emplace(build_stopword_set(options.stopwords));
        current = remove_stopwords(current, options.separator, *stopwords, options.save_order, !options.lowercase,
                                   workspace.spare(current));
    }
    current = truncate_slug(current, options.max_length, options.separator, options.word_boundary,
                            options.allow_unicode);
    if (options.allow_unicode) current = strip_joiners(current);
    return current;
}

std::string slugify(std::string_view text, const SlugifyOptions& options, const StopwordSet* stopwords) {
    SlugWorkspace workspace;
    return std::string(slugify(text, options, stopwords, workspace));
}

}  // namespace kelrad::slugify
