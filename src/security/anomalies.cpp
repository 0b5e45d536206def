#include "security/anomalies.hpp"

#include <algorithm>
#include <array>

#include "security/confusables.hpp"
#include "security/smuggled.hpp"
#include "tables/anomalies.hpp"
#include "tables/normalization.hpp"
#include "tables/scripts.hpp"
#include "text/case_fold.hpp"
#include "text/error.hpp"
#include "text/normalize.hpp"
#include "text/scripts.hpp"
#include "text/strip.hpp"
#include "text/white_space.hpp"
#include "text/zalgo.hpp"
#include "util/ascii.hpp"
#include "util/ranges.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::anomalies {
namespace {

using normalize::Form;
using normalize::QuickCheck;

// ---- Character classes -----------------------------------------------------


// An ASCII letter or an Alphabetic character.
bool is_letter(char32_t c) noexcept {
    return c < 0x80 ? ascii::is_letter(c) : in_ranges(tables::ALPHABETIC, c);
}

bool is_dash_connector(char32_t c) noexcept {
    if (c < 0x80) return c == U'-' || c == U'.' || c == U'_';
    return tables::DASH_CONNECTOR_CHARS.find(c) != nullptr;
}

// Token delimiters: the punctuation, quotes and spaces trimmed off a token's
// core. The second leet reading keeps "!", "(" and ")".
constexpr bool is_core_delimiter(char32_t c) noexcept {
    switch (c) {
        case 0x09: case 0x20: case 0x21: case 0x22: case 0x27: case 0x28: case 0x29: case 0x2C: case 0x2E:
        case 0x3A: case 0x3B: case 0x3C: case 0x3E: case 0x3F: case 0x5B: case 0x5D: case 0x60: case 0x7B:
        case 0x7D: case 0xAB: case 0xBB: case 0x2014: case 0x2018: case 0x2019: case 0x201C: case 0x201D:
        case 0x2026:
            return true;
        default:
            return false;
    }
}

// The letter a leet character stands for, or 0.
constexpr char leet_letter(char32_t c) noexcept {
    switch (c) {
        case U'0': return 'o';
        case U'1': case U'!': return 'i';
        case U'2': return 'z';
        case U'3': return 'e';
        case U'4': case U'@': return 'a';
        case U'5': case U'$': return 's';
        case U'6': case U'9': return 'g';
        case U'7': case U'+': return 't';
        case U'8': return 'b';
        case U'|': return 'l';
        default: return 0;
    }
}

constexpr bool is_enclosing_mark(char32_t c) noexcept {
    return c == 0x0488 || c == 0x0489 || c == 0x1ABE || (c >= 0x20DD && c <= 0x20E0) ||
           (c >= 0x20E2 && c <= 0x20E4) || (c >= 0xA670 && c <= 0xA672);
}

// C0 and C1 controls, the whitespace controls (TAB to CR, the information
// separators U+001C-001F, NEL) excepted.
constexpr bool is_reported_control(char32_t c) noexcept {
    return (c <= 0x1F || (c >= 0x7F && c <= 0x9F)) && !(c >= 0x09 && c <= 0x0D) && !(c >= 0x1C && c <= 0x1F) &&
           c != 0x85;
}

// What a byte can mean to the token scan: tokens without a control, a
// non-ASCII character or (with a lexicon) a leet or splitting character can
// have no finding and are passed over.
enum ByteClass : std::uint8_t {
    kControlByte = 1,  // a C0 control other than the whitespace controls, or DEL
    kLexiconByte = 2,  // a leet character, or a dash or connector that can split letters
    kHighByte = 4,     // part of a non-ASCII character
};

constexpr std::array<std::uint8_t, 256> kAsciiClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        if (b < 0x80 && is_reported_control(b)) t[b] |= kControlByte;
        if ((b >= '0' && b <= '9') || leet_letter(b) || b == '-' || b == '.' || b == '_') t[b] |= kLexiconByte;
        if (b >= 0x80) t[b] |= kHighByte;
    }
    return t;
}();

// Runs of hidden characters, by class; a run counts from its class's minimum.
enum RunClass : int { kTags, kSelectors, kInvisibles, kPrivateUse, kNoncharacters, kUnclassed };
constexpr std::array<std::size_t, 5> kShortestRun = {1, 2, 8, 4, 1};

RunClass run_class(char32_t c) noexcept {
    if (c >= 0xE0000 && c <= 0xE007F) return kTags;
    if ((c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF)) return kSelectors;
    if (is_invisible(c) || c == 0x00AD || c == 0x034F) return kInvisibles;
    if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE) return kNoncharacters;
    if ((c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000) return kPrivateUse;
    return kUnclassed;
}

// Blocks whose compatibility characters are ordinary in their own right:
// IPA, phonetic extensions, letterlike symbols, CJK squared units, half- and
// full-width forms, enclosed alphanumerics.
constexpr bool in_compat_blocks(char32_t c) noexcept {
    return (c >= 0x0250 && c <= 0x02AF) || (c >= 0x1D00 && c <= 0x1DBF) || (c >= 0x2100 && c <= 0x214F) ||
           (c >= 0x3300 && c <= 0x33FF) || (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x1F100 && c <= 0x1F1FF);
}

// Lower-cased unit symbols, which mix scripts or look-alikes on purpose.
constexpr std::array<std::string_view, 15> kUnitSymbols = {
    "nf", "pf", "\u00e5", "\u03c9", "k\u03c9", "m\u03c9", "g\u03c9", "\u00b5f", "\u00b5m", "\u00b5s", "\u00b5g",
    "\u00b5a", "\u00b5v", "\u00b0c", "\u00b0f",
};

bool is_unit_symbol(std::string_view piece) {
    if (utf8::char_count(piece) > 2) return false;  // lower-casing never shortens a text
    std::string lower = lexicon_form(piece);
    return std::find(kUnitSymbols.begin(), kUnitSymbols.end(), lower) != kUnitSymbols.end();
}

// The zero of the decimal numbering system c belongs to, or 0.
char32_t digit_system(char32_t c) noexcept {
    if (c < U'0') return 0;
    if (c <= U'9') return U'0';
    if (c < 0x0660) return 0;
    const char32_t* end = tables::DECIMAL_ZEROS + tables::kDecimalZeroCount;
    const char32_t* above = std::upper_bound(tables::DECIMAL_ZEROS, end, c);
    if (above == tables::DECIMAL_ZEROS) return 0;
    char32_t zero = above[-1];
    return c - zero <= 9 ? zero : 0;
}

// ---- Text helpers --------------------------------------------------------

std::string code(char32_t c) { return "U+" + error::codepoint_hex(c); }

// "U+FE0F ×3".
std::string run_detail(char32_t c, std::size_t count) { return code(c) + " \u00d7" + std::to_string(count); }

template <class Pred>
std::string_view trim(std::string_view s, Pred drop) noexcept {
    std::size_t begin = 0, end = s.size();
    while (begin < end) {
        auto [cp, len] = utf8::decode(s, begin);
        if (!drop(cp)) break;
        begin += len;
    }
    while (end > begin) {
        auto [cp, len] = utf8::decode_before(s, end);
        if (!drop(cp)) break;
        end -= len;
    }
    return s.substr(begin, end - begin);
}

std::string joined_scripts(std::string_view piece) {
    std::string out;
    for (scripts::Script s : scripts::detect_scripts(piece)) {
        if (!out.empty()) out += " and ";
        out += s;
    }
    return out;
}

// A script other than Latin and the CJK scripts that write alongside it.
bool is_unlisted_script(scripts::Script s) noexcept {
    return s != tables::kCommon && s != tables::kInherited && s != tables::kLatin && s != tables::kHan &&
           s != tables::kHiragana && s != tables::kKatakana && s != tables::kBopomofo && s != tables::kHangul;
}

// What the survey of a token needs to know about a character, as flags.
enum CharFact : std::uint8_t {
    kFactLatin = 1,      // effective script Latin
    kFactUnlisted = 2,   // an effective script other than Latin and the CJK scripts
    kFactRtl = 4,        // Bidi_Class R or AL
    kFactDigit = 8,      // a decimal digit
    kFactSpecial = 16,   // a control, invisible, hidden-run, direction-control or enclosing-mark character
    kFactMarks = 32,     // a mark, or a character whose decomposition starts with one
    kFactCompat = 64,    // a compatibility decomposition of ASCII characters only
};

// A control, an invisible or hidden-run character, a direction control, an
// enclosing mark: the characters behind the checks that look for one.
bool is_special(char32_t c) noexcept {
    return is_reported_control(c) || run_class(c) != kUnclassed || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x061C || c == 0x200F || is_enclosing_mark(c);
}

// Marks stack or repeat only on one base. Unless some character of a text is
// a mark or decomposes into one first, each base carries only the marks of
// its own decomposition, and no single character stacks more than three of
// one class or repeats one: the text is neither zalgo nor repeats a mark.
std::uint8_t normalization_facts(char32_t c) noexcept {
    std::uint8_t facts = 0;
    if (normalize::is_mark(c) || normalize::combining_class(c) != 0) facts |= kFactMarks;
    if (c >= 0x80 && normalize::quick_check(c, Form::NFKD) != QuickCheck::Yes) {
        normalize::Decomposition d = normalize::compatibility_decomposition(c);
        if (std::all_of(d.begin(), d.end(), [](char32_t x) { return x < 0x80; })) facts |= kFactCompat;
        if (normalize::quick_check(c, Form::NFD) != QuickCheck::Yes &&
            normalize::is_mark(normalize::canonical_decomposition(c)[0])) {
            facts |= kFactMarks;
        }
    }
    return facts;
}

// The facts of every character of the Basic Multilingual Plane, one byte
// each (64 KiB), derived once from the script, direction, digit and
// normalization tables: a token's survey reads one byte per character where
// the tables would take several binary searches. Code points from U+10000 up
// ask the tables.
class CharFacts {
public:
    static const CharFacts& get() {
        static const CharFacts facts;
        return facts;
    }

    std::uint8_t of(char32_t c) const noexcept { return c < 0x10000 ? bmp_[c] : direct(c); }

    // The facts computed from the tables themselves.
    static std::uint8_t direct(char32_t c) noexcept {
        scripts::Script s = scripts::effective_script(c);
        const auto* direction = find_range(tables::STRONG_DIRECTION_RANGES, c);
        return (s == tables::kLatin ? kFactLatin : 0) | (is_unlisted_script(s) ? kFactUnlisted : 0) |
               (direction && direction->value == tables::kStrongRightToLeft ? kFactRtl : 0) |
               (digit_system(c) ? kFactDigit : 0) | (is_special(c) ? kFactSpecial : 0) | normalization_facts(c);
    }

private:
    CharFacts() {
        // The effective script (scripts::effective_script): the script rows,
        // less the unassigned code points and the punctuation counted as Common.
        for (const tables::ScriptRange& row : tables::SCRIPT_RANGES) {
            if (row.name == tables::kLatin) set(row.first, row.last, kFactLatin);
            if (is_unlisted_script(row.name)) set(row.first, row.last, kFactUnlisted);
        }
        char32_t next = 0;
        for (const CodepointRange& r : tables::ASSIGNED_RANGES) {
            if (r.first > next) clear(next, r.first - 1, kFactLatin | kFactUnlisted);
            next = r.last + 1;
        }
        clear(next, 0xFFFF, kFactLatin | kFactUnlisted);
        for (const CodepointRange& r : tables::COMMON_SCRIPT_OVERRIDES) {
            clear(r.first, r.last, kFactLatin | kFactUnlisted);
        }
        for (const auto& row : tables::STRONG_DIRECTION_RANGES) {
            if (row.value == tables::kStrongRightToLeft) set(row.first, row.last, kFactRtl);
        }
        for (char32_t zero : tables::DECIMAL_ZEROS) set(zero, zero + 9, kFactDigit);
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (is_special(c)) bmp_[c] |= kFactSpecial;
            // Only characters that are not NFKD-stable (quick check Yes,
            // class 0) or are marks have normalization facts.
            if (!tables::bmp_bit(tables::kStable[static_cast<int>(Form::NFKD)], c) ||
                !tables::bmp_bit(tables::kSpanStable, c)) {
                bmp_[c] |= normalization_facts(c);
            }
        }
    }

    void set(char32_t first, char32_t last, std::uint8_t fact) noexcept {
        for (char32_t c = first; c <= last && c < 0x10000; ++c) bmp_[c] |= fact;
    }
    void clear(char32_t first, char32_t last, std::uint8_t facts) noexcept {
        for (char32_t c = first; c <= last && c < 0x10000; ++c) bmp_[c] &= static_cast<std::uint8_t>(~facts);
    }

    std::array<std::uint8_t, 0x10000> bmp_{};
};

bool contains_latin(std::string_view piece) noexcept {
    const CharFacts& facts = CharFacts::get();
    for (auto [cp, len] : utf8::chars(piece)) {
        if (facts.of(cp) & kFactLatin) return true;
    }
    return false;
}

bool has_unlisted_script(std::string_view piece) noexcept {
    const CharFacts& facts = CharFacts::get();
    for (auto [cp, len] : utf8::chars(piece)) {
        if (facts.of(cp) & kFactUnlisted) return true;
    }
    return false;
}

// W of the token: its NFC, except that canonical singletons stay as written,
// so that KELVIN SIGN and OHM SIGN remain what the writer chose.
void append_working_copy(std::string_view token, std::string& out) {
    std::size_t pending = 0;
    for (std::size_t i = 0; i < token.size();) {
        auto [cp, len] = utf8::decode(token, i);
        if (decomposes_to_single_char(cp)) {
            normalize::normalize_into(token.substr(pending, i - pending), Form::NFC, out);
            out.append(token.substr(i, len));
            pending = i + len;
        }
        i += len;
    }
    normalize::normalize_into(token.substr(pending), Form::NFC, out);
}

// ---- The checks ----------------------------------------------------------

class TokenScan {
public:
    TokenScan(std::string_view token, std::size_t start, const Lexicon& lexicon)
        : token_(token), start_(start), lexicon_(lexicon) {}

    std::optional<Finding> run();

private:
    std::optional<Finding> run_ascii();
    std::optional<Finding> fire(AnomalyKind kind, std::string detail) const {
        return Finding{std::string(token_), std::move(detail), start_, start_ + token_.size(), kind};
    }

    std::optional<Finding> invisible_char() const;
    std::optional<Finding> invisible_run() const;
    std::optional<Finding> bidi() const;
    std::optional<Finding> enclosing() const;
    std::optional<Finding> marks() const;
    std::optional<Finding> script_pieces() const;
    std::optional<Finding> compat_fold() const;
    std::optional<Finding> leet() const;
    std::optional<Finding> leet_word(std::string_view word) const;
    std::optional<std::string> near_spelling(const std::string& decoded) const;
    std::optional<Finding> segmentation() const;
    std::optional<Finding> confusable() const;
    std::optional<Finding> confusable_piece(std::string_view piece) const;

    std::string_view token_;
    std::size_t start_;
    const Lexicon& lexicon_;
    std::string copy_;     // W when it differs from the token
    std::string_view w_;   // W
    std::string_view core_;
};

// What a one-pass survey of a non-ASCII working copy finds: its first
// control, its decimal systems, and which checks have anything to look at.
struct Survey {
    static constexpr std::size_t kMaxSystems = 8;

    std::optional<char32_t> control;
    std::array<char32_t, kMaxSystems> systems{};
    std::size_t system_count = 0;
    bool invisible = false;  // an invisible character
    bool hidden = false;     // a character of some hidden-run class
    bool direction = false;  // an embedding, override, isolate or direction mark
    bool enclosing = false;
    bool marks = false;      // a mark, or a character that decomposes into one first
    bool compat = false;     // a character whose compatibility decomposition is ASCII
    bool latin = false;
    bool unlisted = false;
    bool right_to_left = false;

    explicit Survey(std::string_view w) {
        const CharFacts& facts = CharFacts::get();
        for (auto [cp, len] : utf8::chars(w)) {
            if (cp < 0x80) {
                if (!control && is_reported_control(cp)) control = cp;
                latin = latin || ascii::is_letter(cp);
                if (ascii::is_digit(cp)) add_system(U'0');
                continue;
            }
            const std::uint8_t f = facts.of(cp);
            latin = latin || (f & kFactLatin);
            unlisted = unlisted || (f & kFactUnlisted);
            right_to_left = right_to_left || (f & kFactRtl);
            if (f & kFactDigit) add_system(digit_system(cp));
            if (f & kFactSpecial) {
                if (!control && is_reported_control(cp)) control = cp;
                invisible = invisible || is_invisible(cp);
                hidden = hidden || run_class(cp) != kUnclassed;
                direction = direction || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) ||
                            cp == 0x061C || cp == 0x200F;
                enclosing = enclosing || is_enclosing_mark(cp);
            }
            marks = marks || (f & kFactMarks);
            compat = compat || (f & kFactCompat);
        }
    }

    // Systems are kept in order of appearance; a ninth ends the count at 8.
    void add_system(char32_t zero) noexcept {
        if (system_count == kMaxSystems || std::find(systems.begin(), systems.begin() + system_count, zero) !=
                                               systems.begin() + system_count) {
            return;
        }
        systems[system_count++] = zero;
    }
};

std::optional<Finding> TokenScan::run() {
    if (utf8::is_ascii(token_)) return run_ascii();
    w_ = token_;
    if (normalize::quick_check(token_, Form::NFC) != QuickCheck::Yes) {
        copy_.reserve(token_.size());
        append_working_copy(token_, copy_);
        w_ = copy_;
    }
    core_ = trim(w_, is_core_delimiter);
    // W is ASCII exactly when the token is: the only characters whose NFC is
    // ASCII are canonical singletons, which W keeps.
    const Survey survey(w_);
    if (survey.control) return fire(AnomalyKind::Control, code(*survey.control));
    // UTS #39 "mixed numbers": digits of more than one decimal system.
    if (survey.system_count > 1) {
        return fire(AnomalyKind::MixedNumbers, std::to_string(survey.system_count) + " decimal numbering systems");
    }
    std::optional<Finding> f;
    if ((survey.invisible && (f = invisible_char())) || (survey.hidden && (f = invisible_run())) ||
        (survey.direction && (f = bidi())) || (survey.enclosing && (f = enclosing())) ||
        (survey.marks && (f = marks())) ||
        (((survey.latin && survey.unlisted) || survey.right_to_left) && (f = script_pieces())) ||
        (survey.compat && (f = compat_fold()))) {
        return f;
    }
    if (utf8::char_count(core_) < 2) return std::nullopt;
    if (!lexicon_.empty() && ((f = leet()) || (f = segmentation()))) return f;
    return confusable();
}

// A pure-ASCII token can hold a control, and with a lexicon a leet spelling
// (a digit or one of "!$+@|") or letters split by "-", "." or "_".
std::optional<Finding> TokenScan::run_ascii() {
    bool lexicon_candidate = false;
    for (char ch : token_) {
        auto b = static_cast<unsigned char>(ch);
        if (is_reported_control(b)) return fire(AnomalyKind::Control, code(b));
        lexicon_candidate = lexicon_candidate || (kAsciiClass[b] & kLexiconByte);
    }
    if (lexicon_.empty() || !lexicon_candidate) return std::nullopt;
    w_ = token_;
    core_ = trim(w_, is_core_delimiter);
    if (core_.size() < 2) return std::nullopt;
    std::optional<Finding> f;
    if ((f = leet()) || (f = segmentation())) return f;
    return std::nullopt;
}

// An invisible character inside a word. ZWNJ and ZWJ shape many scripts, so
// they count only between Latin letters.
std::optional<Finding> TokenScan::invisible_char() const {
    std::size_t letters = 0;
    std::optional<std::size_t> first_latin, last_latin;
    bool any_invisible = false;
    const utf8::CharRange chars = utf8::chars(w_);
    for (auto it = chars.begin(); it != chars.end(); ++it) {
        char32_t cp = (*it).cp;
        if (is_letter(cp)) ++letters;
        if (is_letter_like(cp)) {
            if (!first_latin) first_latin = it.offset();
            last_latin = it.offset();
        }
        any_invisible |= is_invisible(cp);
    }
    if (!any_invisible) return std::nullopt;
    for (auto it = chars.begin(); it != chars.end(); ++it) {
        char32_t cp = (*it).cp;
        if (!is_invisible(cp)) continue;
        bool fires = (cp == 0x200C || cp == 0x200D)
                         ? first_latin && *first_latin < it.offset() && it.offset() < *last_latin
                         : letters > (is_letter(cp) ? 1u : 0u);
        if (fires) return fire(AnomalyKind::Invisible, code(cp));
    }
    return std::nullopt;
}

// The longest run of tags, selectors, invisible, private-use or
// noncharacter code points that reaches its class's minimum. Flag tag
// sequences are flags.
std::optional<Finding> TokenScan::invisible_run() const {
    char32_t best_first = 0;
    std::size_t best_count = 0;
    for (std::size_t i = 0; i < w_.size();) {
        auto [cp, len] = utf8::decode(w_, i);
        if (cp == 0x1F3F4 && strip::flag_tag_sequence_len(w_.substr(i))) {
            i += strip::kFlagTagSequenceBytes;
            continue;
        }
        RunClass cls = run_class(cp);
        if (cls == kUnclassed) {
            i += len;
            continue;
        }
        std::size_t count = 0;
        while (i < w_.size()) {
            auto [c, l] = utf8::decode(w_, i);
            if (run_class(c) != cls) break;
            ++count;
            i += l;
        }
        if (count >= kShortestRun[cls] && count > best_count) {
            best_first = cp;
            best_count = count;
        }
    }
    if (best_count == 0) return std::nullopt;
    return fire(AnomalyKind::Invisible, run_detail(best_first, best_count));
}

// Overrides always; embeddings, isolates and a direction mark before a digit
// only when at least half the letters are Latin (inside a mostly
// right-to-left word they are ordinary).
std::optional<Finding> TokenScan::bidi() const {
    std::size_t letters = 0, latin = 0;
    std::optional<char32_t> embedding, mark_before_digit;
    char32_t previous = 0;
    for (auto [cp, len] : utf8::chars(w_)) {
        if (cp == 0x202D || cp == 0x202E) return fire(AnomalyKind::Bidi, code(cp));
        if (is_letter(cp)) {
            ++letters;
            latin += is_letter_like(cp);
        }
        if (!embedding && ((cp >= 0x202A && cp <= 0x202C) || (cp >= 0x2066 && cp <= 0x2069))) embedding = cp;
        if (!mark_before_digit && (previous == 0x061C || previous == 0x200F) && ascii::is_digit(cp)) {
            mark_before_digit = previous;
        }
        previous = cp;
    }
    if (letters > 0 && 2 * latin < letters) return std::nullopt;
    if (embedding) return fire(AnomalyKind::Bidi, code(*embedding));
    if (mark_before_digit) return fire(AnomalyKind::Bidi, code(*mark_before_digit));
    return std::nullopt;
}

// Enclosing marks drawn around text. A keycap (U+FE0F U+20E3) is an emoji,
// and the Cyrillic number signs U+0488 and U+0489 belong on Cyrillic numerals.
std::optional<Finding> TokenScan::enclosing() const {
    char32_t first = 0, previous = 0;
    std::optional<char32_t> base;
    std::size_t count = 0;
    for (auto [cp, len] : utf8::chars(w_)) {
        if (is_enclosing_mark(cp) && !(cp == 0x20E3 && previous == 0xFE0F) &&
            !(base && scripts::effective_script(*base) == tables::kCyrillic)) {
            if (count++ == 0) first = cp;
        }
        if (!normalize::is_mark(cp)) base = cp;
        previous = cp;
    }
    if (count < 2) return std::nullopt;
    return fire(AnomalyKind::EnclosingMark, run_detail(first, count));
}

std::optional<Finding> TokenScan::marks() const {
    if (zalgo::is_zalgo_default(w_)) return fire(AnomalyKind::Zalgo, "stacked combining marks");
    if (auto mark = zalgo::find_repeated_mark(w_)) return fire(AnomalyKind::DuplicateMark, code(*mark));
    return std::nullopt;
}

std::optional<Finding> TokenScan::script_pieces() const {
    std::optional<Finding> found;
    any_word(core_, [&](std::string_view piece) {
        if (utf8::char_count(piece) < 2 || is_unit_symbol(piece)) return false;
        if (scripts::has_bidi_conflict(piece, true)) {
            found = fire(AnomalyKind::BidiMixed, joined_scripts(piece));
        } else if (contains_latin(piece) && has_unlisted_script(piece)) {
            found = fire(AnomalyKind::MixedScript, joined_scripts(piece));
        }
        return found.has_value();
    });
    return found;
}

// Compatibility characters that fold to ASCII (full-width and styled letters,
// ligatures), next to Latin letters or outside the blocks where they are the
// ordinary spelling.
std::optional<Finding> TokenScan::compat_fold() const {
    bool fires = any_word(w_, [](std::string_view piece) {
        bool listed = false, outside = false, latin = false;
        for (auto [cp, len] : utf8::chars(piece)) {
            latin = latin || is_letter_like(cp);
            if (cp < 0x80 || normalize::quick_check(cp, Form::NFKD) == QuickCheck::Yes) continue;
            normalize::Decomposition d = normalize::compatibility_decomposition(cp);
            if (std::all_of(d.begin(), d.end(), [](char32_t c) { return c < 0x80; })) {
                listed = true;
                outside = outside || !in_compat_blocks(cp);
            }
        }
        return listed && (latin || outside);
    });
    if (!fires) return std::nullopt;
    return fire(AnomalyKind::CompatFold, normalize::to_nfkc(w_));
}

std::optional<Finding> TokenScan::leet() const {
    // Every reading needs a digit or one of "!$+@|".
    if (std::none_of(w_.begin(), w_.end(), [](char c) { return leet_letter(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    std::string_view second = trim(w_, is_token_delimiter);
    for (std::string_view candidate : {core_, second}) {
        std::optional<Finding> found;
        any_word(candidate, [&](std::string_view word) {
            found = leet_word(word);
            return found.has_value();
        });
        if (found) return found;
        if (second == core_) break;  // the same words again
    }
    return std::nullopt;
}

std::optional<Finding> TokenScan::leet_word(std::string_view word) const {
    constexpr std::size_t kMaxWordChars = 64;
    if (std::none_of(word.begin(), word.end(), [](char c) { return leet_letter(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    if (utf8::char_count(word) > kMaxWordChars) return std::nullopt;
    std::string decoded;
    for (auto [cp, len] : utf8::chars(word)) {
        if (is_letter(cp)) {
            utf8::append(decoded, cp);
        } else if (char letter = leet_letter(cp)) {
            decoded += letter;
        } else if (cp != U'\'' && cp != 0x2019) {
            return std::nullopt;  // not a leet spelling
        }
    }
    // Ordinals and clock times: "21st", "3rd", "10am".
    if (word.size() > 2) {
        std::string ending(word.substr(word.size() - 2));
        for (char& c : ending) c = static_cast<char>(c | 0x20);
        bool digits = std::all_of(word.begin(), word.end() - 2, [](char c) { return c >= '0' && c <= '9'; });
        if (digits && (ending == "st" || ending == "nd" || ending == "rd" || ending == "th" || ending == "am" ||
                       ending == "pm")) {
            return std::nullopt;
        }
    }
    std::string letters;
    for (char c : word) {
        if (ascii::is_letter(static_cast<unsigned char>(c))) letters += static_cast<char>(c | 0x20);
    }
    // A lexicon word with a number or symbol suffix: "password123".
    if (letters.size() >= 4 && lexicon_.contains(letters)) {
        std::string_view suffix = word.substr(letters.size());
        bool leading = word.size() > letters.size() &&
                       std::all_of(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(letters.size()),
                                   [](char c) { return ascii::is_letter(static_cast<unsigned char>(c)); });
        if (leading && std::all_of(suffix.begin(), suffix.end(), [](char c) {
                return (c >= '0' && c <= '9') || c == '$' || c == '|' || c == '@';
            })) {
            return std::nullopt;
        }
    }
    if (letters.size() < 2) return std::nullopt;
    decoded = lexicon_form(decoded);
    if (utf8::char_count(decoded) < 3 || decoded == letters) return std::nullopt;
    if (lexicon_.contains(decoded)) return fire(AnomalyKind::Leet, decoded);
    if (utf8::char_count(decoded) >= 5) {
        if (auto near = near_spelling(decoded)) return fire(AnomalyKind::Leet, std::move(*near));
    }
    return std::nullopt;
}

// The first lexicon word one edit away from `decoded`: a character removed
// (first to last), then at each position each letter a-z inserted before it
// and put in its place. Lengths no lexicon word has are not looked up.
std::optional<std::string> TokenScan::near_spelling(const std::string& decoded) const {
    std::vector<std::size_t> offsets;  // character starts, and the end
    const utf8::CharRange chars = utf8::chars(decoded);
    for (auto it = chars.begin(); it != chars.end(); ++it) offsets.push_back(it.offset());
    offsets.push_back(decoded.size());
    const std::string_view d = decoded;
    std::string candidate;
    auto try_edit = [&](std::size_t cut, std::size_t resume, std::string_view insert) {
        std::size_t length = cut + insert.size() + (d.size() - resume);
        if (!lexicon_.has_length(length)) return false;
        candidate.assign(d.substr(0, cut));
        candidate += insert;
        candidate += d.substr(resume);
        return lexicon_.contains(candidate);
    };
    const std::size_t count = offsets.size() - 1;
    for (std::size_t k = 0; k < count; ++k) {
        if (try_edit(offsets[k], offsets[k + 1], {})) return candidate;
    }
    for (std::size_t p = 0; p <= count; ++p) {
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            std::string_view one(&letter, 1);
            if (try_edit(offsets[p], offsets[p], one)) return candidate;
            if (p < count && try_edit(offsets[p], offsets[p + 1], one)) return candidate;
        }
    }
    return std::nullopt;
}

// Letters spelled apart: "p-a-y-p-a-l", "p.a.y.p.a.l", "p a y p a l" with
// spaces that do not end the token.
std::optional<Finding> TokenScan::segmentation() const {
    bool separated = false;
    for (auto [cp, len] : utf8::chars(core_)) {
        if (is_white_space(cp) || is_dash_connector(cp)) {
            separated = true;
            break;
        }
    }
    if (!separated) return std::nullopt;
    std::size_t runs = 0, kept = 0, fragment_chars = 0;
    bool in_separator = false, fragment_letter = false, long_fragment = false;
    std::string joined;
    auto end_fragment = [&] {
        long_fragment = long_fragment || (fragment_chars >= 2 && fragment_letter);
        fragment_chars = 0;
        fragment_letter = false;
    };
    char32_t previous = 0;
    bool spaced = false, space_after_letter = false;
    for (auto [cp, len] : utf8::chars(core_)) {
        bool space = is_white_space(cp);
        if (space || is_dash_connector(cp)) {
            if (!in_separator) {
                ++runs;
                end_fragment();
            }
            in_separator = true;
        } else {
            in_separator = false;
            ++fragment_chars;
            bool letter = is_letter(cp);
            fragment_letter = fragment_letter || letter;
            if (ascii::is_letter(cp) || (cp > 0xA9 && letter)) {
                utf8::append(joined, cp);
                ++kept;
            } else if (char l = leet_letter(cp)) {
                joined += l;
                ++kept;
            }
            spaced = spaced || (space_after_letter && letter);
        }
        space_after_letter = space && is_letter(previous);
        previous = cp;
    }
    end_fragment();
    if (runs >= 2 && 5 * runs + 3 >= 3 * kept && !long_fragment) {
        std::string word = lexicon_form(joined);
        if (utf8::char_count(word) >= 4 && lexicon_.contains(word)) return fire(AnomalyKind::Segmentation, word);
    }
    if (spaced) {
        std::string without;
        any_word(core_, [&](std::string_view piece) {
            without += piece;
            return false;
        });
        std::string word = lexicon_form(without);
        if (utf8::char_count(word) >= 4 && lexicon_.contains(word)) return fire(AnomalyKind::Segmentation, word);
    }
    return std::nullopt;
}

std::optional<Finding> TokenScan::confusable() const {
    std::optional<Finding> found;
    any_word(w_, [&](std::string_view piece) {
        found = confusable_piece(piece);
        return found.has_value();
    });
    return found;
}

std::optional<Finding> TokenScan::confusable_piece(std::string_view piece) const {
    bool latin = false;
    for (auto [cp, len] : utf8::chars(piece)) latin = latin || is_letter_like(cp);
    if (!latin) {
        // A whole piece of Latin look-alikes outside the blocks where such
        // forms are the ordinary spelling, in no script but Latin.
        std::size_t chars = 0;
        bool outside = false;
        for (auto [cp, len] : utf8::chars(piece)) {
            auto proto = confusables::latin_ascii_prototype(cp);
            if (!proto || proto->size() != 1 || !ascii::is_letter(static_cast<unsigned char>((*proto)[0]))) {
                return std::nullopt;
            }
            scripts::Script s = scripts::effective_script(cp);
            if (s != tables::kLatin && s != tables::kCommon && s != tables::kInherited) return std::nullopt;
            outside = outside || !((cp >= 0xFF00 && cp <= 0xFFEF) || (cp >= 0x3300 && cp <= 0x33FF) ||
                                   (cp >= 0x2100 && cp <= 0x214F));
            ++chars;
        }
        if (chars < 4 || !outside) return std::nullopt;
    }
    if (is_unit_symbol(piece)) return std::nullopt;
    for (auto [cp, len] : utf8::chars(piece)) {
        if (cp < 0x80 || decomposes_to_single_char(cp)) continue;
        std::optional<std::string_view> proto = confusables::latin_ascii_prototype(cp);
        if (!proto) {
            // A character its NFKC leaves alone has no other prototype.
            if (normalize::quick_check(cp, Form::NFKC) != QuickCheck::No) continue;
            std::string nfkc;
            normalize::append_nfkc(cp, nfkc);
            for (auto [c, l] : utf8::chars(nfkc)) {
                if (c >= 0x80) {
                    proto = confusables::latin_ascii_prototype(c);
                    break;
                }
            }
            if (!proto) continue;
        }
        // An accented letter whose base is the prototype is spelled, not faked.
        std::string decomposition;
        for (char32_t c : normalize::canonical_decomposition(cp)) utf8::append(decomposition, c);
        if (decomposition.starts_with(*proto)) continue;
        std::string detail = utf8::encode(cp);
        detail += " (" + code(cp) + ") folds to ";
        detail += *proto;
        return fire(AnomalyKind::Confusable, std::move(detail));
    }
    return std::nullopt;
}

// ---- Whole text ------------------------------------------------------------

// Separators between tokens: TAB to CR, SPACE, NEL, LINE and PARAGRAPH SEPARATOR.
// Returns the separator's byte length at i, or 0.
std::size_t separator_len(std::string_view text, std::size_t i) noexcept {
    auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) return (b >= 0x09 && b <= 0x0D) || b == 0x20;
    if (b == 0xC2) return i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85 ? 2 : 0;
    if (b == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80) {
        auto c = static_cast<unsigned char>(text[i + 2]);
        return c == 0xA8 || c == 0xA9 ? 3 : 0;
    }
    return 0;
}

// Visits the tokens in order until `visit` returns true. Continuation bytes
// are never separator leads, so the bytes may be read one by one.
template <class Visit>
bool any_token(std::string_view text, Visit visit) {
    std::size_t start = 0;
    bool in_token = false;
    for (std::size_t i = 0; i < text.size();) {
        if (std::size_t len = separator_len(text, i)) {
            if (in_token && visit(Token{start, text.substr(start, i - start)})) return true;
            in_token = false;
            i += len;
        } else {
            if (!in_token) start = i;
            in_token = true;
            ++i;
        }
    }
    return in_token && visit(Token{start, text.substr(start)});
}

// The length of the separator that ends just before `end`, or 0.
std::size_t separator_len_before(std::string_view text, std::size_t end) noexcept {
    auto at = [&](std::size_t back) { return static_cast<unsigned char>(text[end - back]); };
    unsigned char b = at(1);
    if (b < 0x80) return (b >= 0x09 && b <= 0x0D) || b == 0x20;
    if (b == 0x85 && end >= 2 && at(2) == 0xC2) return 2;
    if ((b == 0xA8 || b == 0xA9) && end >= 3 && at(2) == 0x80 && at(3) == 0xE2) return 3;
    return 0;
}

// Marks, eight bytes at a time, the bytes that can make a token worth
// inspecting: non-ASCII bytes, controls, and with a lexicon the leet
// characters and the ASCII dashes and connectors. A superset ('"' and '#' are
// marked with '!' and '$'); each mark is checked against kAsciiClass.
[[gnu::always_inline]] inline std::uint64_t flagged_bytes(std::uint64_t w, bool lexicon) noexcept {
    constexpr std::uint64_t H = swar::kHighBits;
    // The high bit of each byte whose low seven bits are at least b: exact
    // per byte, since (x | 0x80) - b cannot borrow from the next byte.
    auto at_least = [w](unsigned char b) { return ((w | H) - swar::kOnes * b) & H; };
    auto in = [&](unsigned char first, unsigned char last) {
        return at_least(first) & ~at_least(static_cast<unsigned char>(last + 1));
    };
    std::uint64_t marks = (w & H) | (~at_least(0x1C) & ~in(0x09, 0x0D) & H) | at_least(0x7F);
    if (lexicon) {
        marks |= in('!', '$') | in('+', '+') | in('-', '.') | in('0', '9') | in('@', '@') | in('_', '_') |
                 in('|', '|');
    }
    return marks;
}

// The tokens that hold a flagged byte (see flagged_bytes), in order, until
// `visit` returns true. The others can have no finding and are never
// delimited: the text is read eight bytes at a time, and each flagged byte's
// token is found by scanning out to the separators around it.
template <class Visit>
bool any_flagged_token(std::string_view text, const Lexicon& lexicon, Visit visit) {
    const bool with_lexicon = !lexicon.empty();
    const std::uint8_t wanted = kControlByte | kHighByte | (with_lexicon ? kLexiconByte : 0);
    const std::size_t n = text.size();
    std::size_t done = 0;  // every token ending at or before this offset has been dealt with
    // Visits the token holding byte k, unless k belongs to a separator.
    auto visit_at = [&](std::size_t k) {
        if (!(kAsciiClass[static_cast<unsigned char>(text[k])] & wanted)) return false;
        std::size_t lead = k;
        while (lead > done && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
        if (separator_len(text, lead)) return false;
        std::size_t start = lead, end = lead;
        while (start > done && !separator_len_before(text, start)) --start;
        while (end < n && !separator_len(text, end)) ++end;
        done = end;
        return visit(Token{start, text.substr(start, end - start)});
    };
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (std::uint64_t marks = flagged_bytes(swar::load(text.data() + i), with_lexicon); marks;
             marks &= marks - 1) {
            std::size_t k = i + swar::first_marked(marks);
            if (k >= done && visit_at(k)) return true;
        }
    }
    for (; i < n; ++i) {
        if (i >= done && visit_at(i)) return true;
    }
    return false;
}

// Line breaks other than CR: LF, VT, FF, NEL, LINE and PARAGRAPH SEPARATOR.
// Returns the break's byte length at i, or 0.
std::size_t line_break_len(std::string_view text, std::size_t i) noexcept {
    auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x0A && b <= 0x0C) return 1;
    std::size_t len = separator_len(text, i);
    return len > 1 ? len : 0;
}

bool has_printable_payload(std::string_view text) {
    auto payloads = smuggled::decode_smuggled(text, false);
    return std::any_of(payloads.begin(), payloads.end(), [](const auto& p) { return p.text.has_value(); });
}

}  // namespace

// ---- Public ----------------------------------------------------------------

std::uint8_t detail::char_facts(char32_t c) noexcept { return CharFacts::get().of(c); }
std::uint8_t detail::char_facts_direct(char32_t c) noexcept { return CharFacts::direct(c); }
static_assert(detail::kMayStackMarks == kFactMarks);

std::string_view kind_name(AnomalyKind kind) noexcept {
    static constexpr std::array<std::string_view, kKindCount> kNames = {
        "invisible", "bidi",     "zalgo",       "mixed_script", "bidi_mixed",     "leet",          "segmentation",
        "control",   "deletion", "smuggled",    "compat_fold",  "confusable",     "enclosing_mark", "mixed_numbers",
        "duplicate_mark",
    };
    return kNames[static_cast<std::size_t>(kind)];
}

bool is_invisible(char32_t c) noexcept {
    return c == 0x180E || (c >= 0x200B && c <= 0x200D) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x206A && c <= 0x206F) || c == 0xFEFF || c == 0x115F || c == 0x1160 || c == 0x3164 ||
           c == 0xFFA0 || c == 0x2800 || (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) ||
           (c >= 0xFFF9 && c <= 0xFFFB);
}

std::string visible_literal(std::string_view text) { return error::quoted_debug_literal_with(text, is_invisible); }

bool decomposes_to_single_char(char32_t c) noexcept {
    // Every singleton has NFC_Quick_Check=No, which rules out most characters
    // with one table read.
    if (c < 0x80 || normalize::quick_check(c, Form::NFC) != QuickCheck::No) return false;
    std::string nfc = normalize::to_nfc(utf8::encode(c));  // a few bytes: no allocation
    return utf8::char_count(nfc) == 1 && utf8::decode(nfc, 0).cp != c;
}

bool is_letter_like(char32_t c) noexcept {
    if (c < 0x80) return ascii::is_letter(c);
    if (normalize::quick_check(c, Form::NFD) == QuickCheck::Yes) return false;  // no canonical decomposition
    if (decomposes_to_single_char(c)) return false;
    return ascii::is_letter(normalize::canonical_decomposition(c)[0]);
}

bool is_token_delimiter(char32_t c) noexcept { return is_core_delimiter(c) && c != U'!' && c != U'(' && c != U')'; }

std::string lexicon_form(std::string_view word) {
    std::optional<std::string> lower = case_fold::to_lowercase_cow(word);
    return lower ? std::move(*lower) : std::string(word);
}

Lexicon::Lexicon(std::span<const std::string> words) {
    words_.reserve(words.size());
    for (const std::string& word : words) {
        std::string lower = lexicon_form(word);
        if (lower.size() >= lengths_.size()) lengths_.resize(lower.size() + 1);
        lengths_[lower.size()] = true;
        words_.insert(std::move(lower));
    }
}

bool Lexicon::contains(std::string_view lower_word) const { return words_.find(lower_word) != words_.end(); }

std::vector<Token> split_tokens(std::string_view text) {
    std::vector<Token> tokens;
    any_token(text, [&](Token t) {
        tokens.push_back(t);
        return false;
    });
    return tokens;
}

std::optional<Finding> inspect_token(std::string_view token, std::size_t start, const Lexicon& lexicon) {
    return TokenScan(token, start, lexicon).run();
}

std::optional<CrOverwrite> find_cr_overwrite(std::string_view text) noexcept {
    if (text.find('\r') == std::string_view::npos) return std::nullopt;
    std::size_t line = 0;  // where the current line starts
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '\r') {
            std::size_t len = line_break_len(text, i);
            if (len) line = i + len;
            i += len ? len : 1;
            continue;
        }
        // A run of CRs counts as one ("\r\r\n" is a doubled line end): the
        // character after its last CR decides.
        std::size_t j = i;
        while (j < text.size() && text[j] == '\r') ++j;
        if (j < text.size() && text[j] != '\n' && i > line) return CrOverwrite{line, text.substr(line, i - line)};
        line = j;
        i = j;
    }
    return std::nullopt;
}

bool has_anomalies(std::string_view text, const Lexicon& lexicon) {
    // Payloads hide in non-ASCII characters only (percent escapes do not count here).
    if (find_cr_overwrite(text) || (!utf8::is_ascii(text) && has_printable_payload(text))) return true;
    return any_flagged_token(text, lexicon,
                             [&](Token t) { return inspect_token(t.text, t.start, lexicon).has_value(); });
}

AnomalyReport inspect_anomalies(std::string_view text, const Lexicon& lexicon) {
    AnomalyReport report;
    for (smuggled::SmuggledPayload& p : smuggled::decode_smuggled(text, false)) {
        if (!p.text) continue;
        report.findings.push_back(
            {std::move(*p.text), std::string(smuggled::scheme_name(p.scheme)), p.start, p.end, AnomalyKind::Smuggled});
    }
    any_flagged_token(text, lexicon, [&](Token t) {
        if (auto f = inspect_token(t.text, t.start, lexicon)) report.findings.push_back(std::move(*f));
        return false;
    });
    if (auto cr = find_cr_overwrite(text)) {
        auto at = std::find_if(report.findings.begin(), report.findings.end(),
                               [&](const Finding& f) { return f.start >= cr->start; });
        report.findings.insert(at, Finding{std::string(cr->segment), code(U'\r'), cr->start,
                                           cr->start + cr->segment.size(), AnomalyKind::Deletion});
    }
    for (const Finding& f : report.findings) {
        if (std::find(report.kinds.begin(), report.kinds.end(), f.kind) == report.kinds.end()) {
            report.kinds.push_back(f.kind);
        }
    }
    report.anomalous = !report.findings.empty();
    if (report.anomalous) report.reason = report.findings.front().reason();
    return report;
}

std::string Finding::reason() const {
    const std::string t = visible_literal(token);
    switch (kind) {
        case AnomalyKind::Invisible: return t + " contains an invisible character (" + detail + ")";
        case AnomalyKind::Bidi: return t + " contains a bidirectional control character (" + detail + ")";
        case AnomalyKind::Zalgo: return t + " is overloaded with combining marks (zalgo)";
        case AnomalyKind::MixedScript: return t + " mixes " + detail;
        case AnomalyKind::BidiMixed:
            return t + " mixes left-to-right and right-to-left letters (" + detail + "), which can visually reorder";
        case AnomalyKind::Leet: return t + " decodes to the word " + visible_literal(detail);
        case AnomalyKind::Segmentation: return t + " splits the word " + visible_literal(detail);
        case AnomalyKind::Control: {
            std::string sentence = t + " contains the control character " + detail;
            // Backspace and DEL erase the character before them on a terminal.
            char32_t previous = 0;
            bool first = true;
            for (auto [cp, len] : utf8::chars(token)) {
                if ((cp == 0x08 || cp == 0x7F) && !first) {
                    return sentence + ", which erases the preceding " +
                           error::quoted_char_literal_with(previous, is_invisible);
                }
                previous = cp;
                first = false;
            }
            return sentence;
        }
        case AnomalyKind::Deletion:
            return t + " is overwritten by what follows the carriage return, so it renders as text these code points "
                       "do not spell";
        case AnomalyKind::Smuggled: return "a hidden " + detail + " run decodes to " + t;
        case AnomalyKind::CompatFold: return t + " mixes a compatibility form with ASCII and folds to " + detail;
        case AnomalyKind::Confusable: return t + " contains a confusable: " + detail;
        case AnomalyKind::EnclosingMark: return t + " carries enclosing marks that hide the base text: " + detail;
        case AnomalyKind::MixedNumbers: return t + " mixes digits from " + detail + " (UTS #39 Mixed Numbers)";
        case AnomalyKind::DuplicateMark:
            return t + " repeats the same combining mark (" + detail + "), which renders as one";
    }
    return t;
}

}  // namespace kelrad::anomalies
