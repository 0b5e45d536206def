#include "translit/reverse.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "text/case_fold.hpp"
#include "util/utf8.hpp"

namespace kelrad::reverse {
namespace {

struct Entry {
    std::string_view key;
    std::string_view value;
};

// Keys are one to four ASCII letters; packed big-endian into a word (zero
// bytes after a shorter key), each map is a sorted array searched by binary
// search: at most six probes for 62 entries.
constexpr std::uint32_t pack(std::string_view key) noexcept {
    std::uint32_t k = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        k = (k << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0U);
    }
    return k;
}

struct Packed {
    std::uint32_t key;
    std::string_view value;
};

template <std::size_t N>
consteval std::array<Packed, N> packed_map(const Entry (&entries)[N]) {
    std::array<Packed, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = {pack(entries[i].key), entries[i].value};
    std::sort(out.begin(), out.end(), [](const Packed& a, const Packed& b) { return a.key < b.key; });
    for (std::size_t i = 1; i < N; ++i) {
        if (out[i - 1].key == out[i].key) throw "duplicate reverse key";
    }
    return out;
}

constexpr Entry kGreekEntries[] = {
    {"Ch", "Χ"}, {"ch", "χ"}, {"Ph", "Φ"}, {"ph", "φ"}, {"Ps", "Ψ"}, {"ps", "ψ"}, {"Th", "Θ"}, {"th", "θ"},
    {"A", "Α"},  {"a", "α"},  {"B", "Β"},  {"b", "β"},  {"D", "Δ"},  {"d", "δ"},  {"E", "Ε"},  {"e", "ε"},
    {"F", "Φ"},  {"f", "φ"},  {"G", "Γ"},  {"g", "γ"},  {"I", "Η"},  {"i", "η"},  {"K", "Κ"},  {"k", "κ"},
    {"L", "Λ"},  {"l", "λ"},  {"M", "Μ"},  {"m", "μ"},  {"N", "Ν"},  {"n", "ν"},  {"O", "Ο"},  {"o", "ο"},
    {"P", "Π"},  {"p", "π"},  {"R", "Ρ"},  {"r", "ρ"},  {"S", "Σ"},  {"s", "σ"},  {"T", "Τ"},  {"t", "τ"},
    {"U", "Υ"},  {"u", "υ"},  {"X", "Ξ"},  {"x", "ξ"},  {"Y", "Υ"},  {"y", "υ"},  {"Z", "Ζ"},  {"z", "ζ"},
};

constexpr Entry kRussianEntries[] = {
    {"Shch", "Щ"}, {"shch", "щ"}, {"Ch", "Ч"}, {"ch", "ч"}, {"Kh", "Х"}, {"kh", "х"}, {"Sh", "Ш"}, {"sh", "ш"},
    {"Ts", "Ц"},   {"ts", "ц"},   {"Ya", "Я"}, {"ya", "я"}, {"Ye", "Е"}, {"ye", "е"}, {"Yo", "Ё"}, {"yo", "ё"},
    {"Yu", "Ю"},   {"yu", "ю"},   {"Zh", "Ж"}, {"zh", "ж"}, {"A", "А"},  {"a", "а"},  {"B", "Б"},  {"b", "б"},
    {"D", "Д"},    {"d", "д"},    {"E", "Е"},  {"e", "е"},  {"F", "Ф"},  {"f", "ф"},  {"G", "Г"},  {"g", "г"},
    {"I", "И"},    {"i", "и"},    {"J", "Й"},  {"j", "й"},  {"K", "К"},  {"k", "к"},  {"L", "Л"},  {"l", "л"},
    {"M", "М"},    {"m", "м"},    {"N", "Н"},  {"n", "н"},  {"O", "О"},  {"o", "о"},  {"P", "П"},  {"p", "п"},
    {"R", "Р"},    {"r", "р"},    {"S", "С"},  {"s", "с"},  {"T", "Т"},  {"t", "т"},  {"U", "У"},  {"u", "у"},
    {"V", "В"},    {"v", "в"},    {"Y", "Ы"},  {"y", "ы"},  {"Z", "З"},  {"z", "з"},
};

constexpr Entry kUkrainianEntries[] = {
    {"Shch", "Щ"}, {"shch", "щ"}, {"Ch", "Ч"}, {"ch", "ч"}, {"Kh", "Х"}, {"kh", "х"}, {"Sh", "Ш"}, {"sh", "ш"},
    {"Ts", "Ц"},   {"ts", "ц"},   {"Ya", "Я"}, {"ya", "я"}, {"Ye", "Є"}, {"ye", "є"}, {"Yi", "Ї"}, {"yi", "ї"},
    {"Yu", "Ю"},   {"yu", "ю"},   {"Zh", "Ж"}, {"zh", "ж"}, {"A", "А"},  {"a", "а"},  {"B", "Б"},  {"b", "б"},
    {"D", "Д"},    {"d", "д"},    {"E", "Е"},  {"e", "е"},  {"F", "Ф"},  {"f", "ф"},  {"G", "Ґ"},  {"g", "ґ"},
    {"H", "Г"},    {"h", "г"},    {"I", "І"},  {"i", "і"},  {"K", "К"},  {"k", "к"},  {"L", "Л"},  {"l", "л"},
    {"M", "М"},    {"m", "м"},    {"N", "Н"},  {"n", "н"},  {"O", "О"},  {"o", "о"},  {"P", "П"},  {"p", "п"},
    {"R", "Р"},    {"r", "р"},    {"S", "С"},  {"s", "с"},  {"T", "Т"},  {"t", "т"},  {"U", "У"},  {"u", "у"},
    {"V", "В"},    {"v", "в"},    {"Y", "И"},  {"y", "и"},  {"Z", "З"},  {"z", "з"},
};

static_assert(std::size(kGreekEntries) == 48);
static_assert(std::size(kRussianEntries) == 62);
static_assert(std::size(kUkrainianEntries) == 62);

constexpr auto kGreek = packed_map(kGreekEntries);
constexpr auto kRussian = packed_map(kRussianEntries);
constexpr auto kUkrainian = packed_map(kUkrainianEntries);

constexpr std::array<std::string_view, 3> kLangs = {"el", "ru", "uk"};

constexpr std::string_view kSmallSigma = "σ";
constexpr std::string_view kFinalSigma = "ς";

std::span<const Packed> map_of(std::string_view lang) noexcept {
    if (lang == "el") return kGreek;
    if (lang == "ru") return kRussian;
    if (lang == "uk") return kUkrainian;
    return {};
}

std::optional<std::string_view> find(std::span<const Packed> map, std::uint32_t key) noexcept {
    auto it = std::lower_bound(map.begin(), map.end(), key, [](const Packed& p, std::uint32_t k) { return p.key < k; });
    if (it == map.end() || it->key != key) return std::nullopt;
    return it->value;
}

bool all_capitals(std::string_view window) noexcept {
    return std::all_of(window.begin(), window.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// The upper case of the small Greek and Cyrillic letters the maps hold (for
// these the full Unicode mapping is one letter); anything else is unchanged.
char32_t to_upper(char32_t c) noexcept {
    if ((c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) || (c >= 0x0430 && c <= 0x044F)) return c - 0x20;
    if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
    if (c == 0x0491) return 0x0490;
    return c;
}

void append_upper(std::string& out, std::string_view value) {
    for (auto [cp, len] : utf8::chars(value)) utf8::append(out, to_upper(cp));
}

}  // namespace

const std::array<std::string_view, 3>& reverse_langs() noexcept { return kLangs; }

std::optional<std::string_view> reverse_lookup(std::string_view key, std::string_view lang) noexcept {
    if (key.empty() || key.size() > 4) return std::nullopt;
    std::span<const Packed> map = map_of(lang);
    if (map.empty()) return std::nullopt;
    // A zero byte would alias the padding of a shorter key.
    if (key.find('\0') != std::string_view::npos) return std::nullopt;
    return find(map, pack(key));
}

std::expected<std::string, CoreError> reverse_transliterate(std::string_view text, std::string_view lang) {
    std::span<const Packed> map = map_of(lang);
    if (map.empty()) {
        std::string available;
        for (std::string_view code : kLangs) {
            if (!available.empty()) available += ", ";
            available += code;
        }
        return fail(error::ReverseUnsupportedLang{std::string(lang), std::move(available)});
    }

    std::string out;
    out.reserve(text.size());
    // Output offsets of the small sigmas written for "s".
    std::vector<std::size_t> sigmas;
    const bool greek = map.data() == kGreek.data();
    std::size_t i = 0;
    while (i < text.size()) {
        bool matched = false;
        for (std::size_t n = std::min<std::size_t>(4, text.size() - i); n >= 1 && !matched; --n) {
            if (!utf8::is_boundary(text, i + n)) continue;
            std::string_view window = text.substr(i, n);
            if (window.find('\0') != std::string_view::npos) continue;
            if (auto value = find(map, pack(window))) {
                if (greek && window == "s") sigmas.push_back(out.size());
                out += *value;
                matched = true;
            } else if (n >= 2 && all_capitals(window)) {
                std::string lowered(window);
                for (char& c : lowered) c = static_cast<char>(c | 0x20);
                if (auto small = find(map, pack(lowered))) {
                    append_upper(out, *small);
                    matched = true;
                }
            }
            if (matched) i += n;
        }
        if (!matched) {
            std::uint32_t len = utf8::decode(text, i).len;
            out.append(text.substr(i, len));
            i += len;
        }
    }
    // A word-final sigma takes its final form (Final_Sigma, Unicode 3.13),
    // judged on the Greek output: "Christos" gives "Χρηστος". Both forms
    // are two bytes, and both are cased, so one change never affects another.
    for (std::size_t at : sigmas) {
        if (case_fold::is_final_sigma(out, at, kSmallSigma.size())) out.replace(at, kSmallSigma.size(), kFinalSigma);
    }
    return out;
}

}  // namespace kelrad::reverse
