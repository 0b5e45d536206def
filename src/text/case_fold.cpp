#include "text/case_fold.hpp"

#include "tables/case_fold.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::case_fold {
namespace {

using tables::CaseMapSlot;

constexpr char32_t kCapitalSigma = 0x03A3;

bool is_ascii_upper(unsigned char b) noexcept { return static_cast<unsigned char>(b - 'A') < 26; }

// Lower-cases A-Z in place. Written as a plain byte loop so that the compiler
// vectorises it; UTF-8 lead and continuation bytes are >= 0x80 and never match.
void lower_ascii_in_place(char* p, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        auto b = static_cast<unsigned char>(p[i]);
        p[i] = static_cast<char>(b + (is_ascii_upper(b) ? 0x20 : 0));
    }
}

bool has_ascii_upper(std::string_view s) noexcept {
    unsigned found = 0;
    for (char c : s) found |= is_ascii_upper(static_cast<unsigned char>(c));
    return found != 0;
}

// The entry of a non-ASCII code point in one of the two maps. The BMP filter
// answers most characters without hashing.
const CaseMapSlot* lookup(const tables::CaseMap& map, const std::uint64_t* bmp_filter, char32_t cp) noexcept {
    if (cp < 0x10000 && !tables::in_bmp_filter(bmp_filter, cp)) return nullptr;
    return tables::find(map, cp);
}

const CaseMapSlot* fold_entry(char32_t cp) noexcept {
    return lookup(tables::CASE_FOLDING, tables::CASE_FOLD_BMP_FILTER, cp);
}

const CaseMapSlot* lower_entry(char32_t cp) noexcept {
    return lookup(tables::LOWERCASE_MAPPING, tables::LOWERCASE_BMP_FILTER, cp);
}

std::string_view text_of(const CaseMapSlot& slot) noexcept { return {slot.utf8, slot.len}; }

// Both transforms share one shape: ASCII capitals become small letters, and
// a non-ASCII character is replaced by its entry in a map (lower-casing adds
// the sigma rule). Each pass copies the unchanged stretches between
// replacements whole and lower-cases ASCII over the written output at the end;
// no mapped text contains an ASCII capital, so that last pass is safe.
struct FoldRule {
    static const CaseMapSlot* entry(std::string_view, std::size_t, char32_t cp) noexcept { return fold_entry(cp); }
};

// Final_Sigma (Unicode 3.13, Table 3-17): a capital sigma preceded by a cased
// letter and zero or more case-ignorable characters, and not followed by zero
// or more case-ignorable characters and a cased letter. A scan stops at the
// first cased character, and a sigma is cased, so every character is scanned
// by at most the nearest sigma on each side: linear on any input.
bool is_cased(char32_t cp) noexcept { return in_ranges(tables::CASED, cp); }
bool is_case_ignorable(char32_t cp) noexcept { return in_ranges(tables::CASE_IGNORABLE, cp); }

}  // namespace

bool is_final_sigma(std::string_view text, std::size_t at, std::size_t len) noexcept {
    bool cased_before = false;
    for (std::size_t i = at; i > 0;) {
        auto [cp, n] = utf8::decode_before(text, i);
        if (is_cased(cp)) {
            cased_before = true;
            break;
        }
        if (!is_case_ignorable(cp)) break;
        i -= n;
    }
    if (!cased_before) return false;
    for (std::size_t i = at + len; i < text.size();) {
        auto [cp, n] = utf8::decode(text, i);
        if (is_cased(cp)) return false;
        if (!is_case_ignorable(cp)) break;
        i += n;
    }
    return true;
}

namespace {

const CaseMapSlot kSmallSigma{0x03A3, 2, "\xcf\x83"};
const CaseMapSlot kFinalSigma{0x03A3, 2, "\xcf\x82"};

struct LowerRule {
    static const CaseMapSlot* entry(std::string_view text, std::size_t at, char32_t cp) noexcept {
        if (cp == kCapitalSigma) return is_final_sigma(text, at, 2) ? &kFinalSigma : &kSmallSigma;
        return lower_entry(cp);
    }
};

// Offset of the first character the rule changes, or text.size().
template <class Rule>
std::size_t first_change(std::string_view text) noexcept {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            std::size_t run = utf8::ascii_prefix_len(text.substr(i));
            for (std::size_t k = i; k < i + run; ++k) {
                if (is_ascii_upper(static_cast<unsigned char>(text[k]))) return k;
            }
            i += run;
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (Rule::entry(text, i, cp) != nullptr) return i;
        i += len;
    }
    return n;
}

// Appends the transform of text[from, end) to `out`.
template <class Rule>
void append_mapped(std::string_view text, std::size_t from, std::string& out) {
    const std::size_t start = out.size();
    const std::size_t n = text.size();
    std::size_t run = from;
    std::size_t i = from;
    while (i < n) {
        auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            i += utf8::ascii_prefix_len(text.substr(i));
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (const CaseMapSlot* e = Rule::entry(text, i, cp)) {
            out.append(text.data() + run, i - run);
            out.append(text_of(*e));
            run = i + len;
        }
        i += len;
    }
    out.append(text.data() + run, n - run);
    lower_ascii_in_place(out.data() + start, out.size() - start);
}

template <class Rule>
void map_into(std::string_view text, std::string& out) {
    out.clear();
    if (utf8::is_ascii(text)) {
        out.assign(text);
        lower_ascii_in_place(out.data(), out.size());
        return;
    }
    out.reserve(text.size() + text.size() / 10);
    append_mapped<Rule>(text, 0, out);
}

template <class Rule>
std::optional<std::string> map_cow(std::string_view text) {
    if (utf8::is_ascii(text)) {
        if (!has_ascii_upper(text)) return std::nullopt;
        std::string out(text);
        lower_ascii_in_place(out.data(), out.size());
        return out;
    }
    std::size_t k = first_change<Rule>(text);
    if (k == text.size()) return std::nullopt;
    std::string out = prefix_buffer(text, k);
    append_mapped<Rule>(text, k, out);
    return out;
}

}  // namespace

bool has_fold(char32_t cp) noexcept {
    if (cp < 0x80) return is_ascii_upper(static_cast<unsigned char>(cp));
    return fold_entry(cp) != nullptr;
}

std::string prefix_buffer(std::string_view text, std::size_t k) {
    std::string out;
    out.reserve(text.size() + text.size() / 10);
    out.append(text.substr(0, k));
    return out;
}

void fold_case(std::string_view text, std::string& out) { map_into<FoldRule>(text, out); }

std::optional<std::string> fold_case_cow(std::string_view text) { return map_cow<FoldRule>(text); }

void to_lowercase_into(std::string_view text, std::string& out) { map_into<LowerRule>(text, out); }

std::optional<std::string> to_lowercase_cow(std::string_view text) { return map_cow<LowerRule>(text); }

bool is_case_fold_stable(std::string_view text) {
    std::size_t i = utf8::ascii_prefix_len(text);
    if (i == text.size()) return true;  // ASCII folds and lower-cases alike
    bool sigma = false;
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        i += len;
        if (cp < 0x80) continue;
        const CaseMapSlot* fold = fold_entry(cp);
        const CaseMapSlot* lower = lower_entry(cp);
        if (fold == nullptr ? lower != nullptr
                            : (lower == nullptr || text_of(*lower) != text_of(*fold))) {
            return false;
        }
        sigma |= cp == kCapitalSigma;
    }
    if (!sigma) return true;
    // Character by character the two agree; only the word-final sigma of
    // lower-casing can still tell them apart.
    std::optional<std::string> lowered = to_lowercase_cow(text);
    std::optional<std::string> folded = fold_case_cow(text);
    std::string_view l = lowered ? std::string_view(*lowered) : text;
    std::string_view f = folded ? std::string_view(*folded) : text;
    return l == f;
}

}  // namespace kelrad::case_fold
