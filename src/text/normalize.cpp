#include "text/normalize.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "tables/normalization.hpp"
#include "util/utf8.hpp"

namespace kelrad::normalize {
namespace {

using tables::norm_record;
using tables::NormRecord;

// Hangul syllables, Unicode chapter 3.12.
constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28;
constexpr char32_t kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

// The UAX #15 stream-safe limit and the character that breaks a longer run.
constexpr unsigned kMaxNonStarters = 30;
constexpr char32_t kCombiningGraphemeJoiner = 0x034F;

// Work entries carry the combining class in the top byte: cp | ccc << 24,
// the layout of the decomposition table.
using Entry = std::uint32_t;
constexpr Entry kCpMask = 0x1FFFFF;
constexpr Entry entry(char32_t cp, std::uint8_t ccc) noexcept { return cp | (Entry{ccc} << 24); }
constexpr char32_t entry_cp(Entry e) noexcept { return e & kCpMask; }
constexpr std::uint8_t entry_ccc(Entry e) noexcept { return static_cast<std::uint8_t>(e >> 24); }

constexpr bool is_compat(Form f) noexcept { return f == Form::NFKC || f == Form::NFKD; }
constexpr bool is_composing(Form f) noexcept { return f == Form::NFC || f == Form::NFKC; }
constexpr std::size_t form_index(Form f) noexcept { return static_cast<std::size_t>(f); }

constexpr bool is_hangul_syllable(char32_t cp) noexcept { return cp - kSBase < kSCount; }

QuickCheck record_quick_check(const NormRecord& r, Form form) noexcept {
    switch (form) {
        case Form::NFD: return (r.flags & tables::kNfdNo) ? QuickCheck::No : QuickCheck::Yes;
        case Form::NFKD: return (r.flags & tables::kNfkdNo) ? QuickCheck::No : QuickCheck::Yes;
        case Form::NFC:
            return (r.flags & tables::kNfcNo) ? QuickCheck::No
                   : (r.flags & tables::kNfcMaybe) ? QuickCheck::Maybe
                                                   : QuickCheck::Yes;
        case Form::NFKC:
            return (r.flags & tables::kNfkcNo) ? QuickCheck::No
                   : (r.flags & tables::kNfkcMaybe) ? QuickCheck::Maybe
                                                    : QuickCheck::Yes;
    }
    return QuickCheck::No;
}

// A character the form leaves as it is and that nothing before it can combine
// with or be reordered across: quick check Yes and combining class 0. The
// driver cuts the text at such characters.
inline bool is_stable(char32_t cp, Form form) noexcept {
    if (cp < 0x10000) return tables::bmp_bit(tables::kStable[form_index(form)], cp);
    const NormRecord& r = norm_record(cp);
    return r.ccc == 0 && record_quick_check(r, form) == QuickCheck::Yes;
}

// ---- Decomposition, canonical ordering, composition ------------------------

void push_decomposition(char32_t cp, bool compat, std::vector<Entry>& work) {
    if (cp < 0x80) {
        work.push_back(cp);
        return;
    }
    if (is_hangul_syllable(cp)) {
        char32_t s = cp - kSBase;
        work.push_back(kLBase + s / kNCount);
        work.push_back(kVBase + (s % kNCount) / kTCount);
        if (s % kTCount != 0) work.push_back(kTBase + s % kTCount);
        return;
    }
    const NormRecord& r = norm_record(cp);
    std::uint8_t len = compat ? r.compat_len : r.canonical_len;
    if (len == 0) {
        work.push_back(entry(cp, r.ccc));
        return;
    }
    const std::uint32_t* d = tables::kDecompositions + (compat ? r.compat : r.canonical);
    work.insert(work.end(), d, d + len);
}

// Sorts one run of non-starters by combining class, keeping equal classes in
// order. Short runs use insertion sort; long ones a counting sort over the 256
// classes, so that a million marks cost linear time whatever their order.
void sort_run(Entry* first, Entry* last, std::vector<Entry>& scratch) {
    std::size_t n = static_cast<std::size_t>(last - first);
    if (n < 2) return;
    if (std::is_sorted(first, last, [](Entry a, Entry b) { return entry_ccc(a) < entry_ccc(b); })) return;
    if (n <= 16) {
        for (Entry* i = first + 1; i < last; ++i) {
            Entry e = *i;
            Entry* j = i;
            for (; j > first && entry_ccc(*(j - 1)) > entry_ccc(e); --j) *j = *(j - 1);
            *j = e;
        }
        return;
    }
    std::array<std::size_t, 257> start{};
    for (Entry* i = first; i < last; ++i) ++start[entry_ccc(*i) + 1u];
    for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    scratch.resize(n);
    for (Entry* i = first; i < last; ++i) scratch[start[entry_ccc(*i)]++] = *i;
    std::copy(scratch.begin(), scratch.end(), first);
}

// Canonical Ordering Algorithm: every maximal run of non-starters sorted.
void reorder(std::vector<Entry>& work, std::vector<Entry>& scratch) {
    std::size_t n = work.size(), i = 0;
    while (i < n) {
        if (entry_ccc(work[i]) == 0) {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n && entry_ccc(work[j]) != 0) ++j;
        sort_run(work.data() + i, work.data() + j, scratch);
        i = j;
    }
}

// The primary composite of a pair, Hangul LV and LVT included.
std::optional<char32_t> primary_composite(char32_t first, char32_t second) noexcept {
    if (first - kLBase < kLCount && second - kVBase < kVCount) {
        return kSBase + ((first - kLBase) * kVCount + (second - kVBase)) * kTCount;
    }
    if (is_hangul_syllable(first) && (first - kSBase) % kTCount == 0 && second - kTBase - 1 < kTCount - 1) {
        return first + (second - kTBase);
    }
    const NormRecord& r = norm_record(first);
    const tables::ComposePair* p = tables::kCompositions + r.compose;
    for (const tables::ComposePair* e = p + r.compose_len; p < e; ++p) {
        if (p->second == second) return p->composite;
        if (p->second > second) break;
    }
    return std::nullopt;
}

// Canonical Composition Algorithm of UAX #15 over canonically ordered entries:
// a character joins the last starter when no character between them is a
// starter or has a class at least its own.
void compose_entries(std::vector<Entry>& work) {
    std::size_t starter = 0, out = 0;
    bool have_starter = false;
    std::uint8_t last_ccc = 0;
    for (Entry e : work) {
        std::uint8_t ccc = entry_ccc(e);
        if (have_starter && (out == starter + 1 || last_ccc < ccc)) {
            if (auto c = primary_composite(entry_cp(work[starter]), entry_cp(e))) {
                work[starter] = entry(*c, 0);
                continue;
            }
        }
        if (ccc == 0) {
            starter = out;
            have_starter = true;
        }
        last_ccc = ccc;
        work[out++] = e;
    }
    work.resize(out);
}

// Scratch space for the unstable spans of one call.
struct Work {
    std::vector<Entry> entries;
    std::vector<Entry> scratch;
};

// The form of one span, as entries.
void normalize_span(std::string_view span, Form form, Work& w) {
    w.entries.clear();
    bool compat = is_compat(form);
    for (std::size_t i = 0; i < span.size();) {
        auto [cp, len] = utf8::decode(span, i);
        push_decomposition(cp, compat, w.entries);
        i += len;
    }
    reorder(w.entries, w.scratch);
    if (is_composing(form)) compose_entries(w.entries);
}

// ---- The stable-stretch driver ---------------------------------------------

// Where the first unstable character of a text is, and the stable character
// before it that a span must start from.
struct Cut {
    std::size_t unstable;     // byte offset of the first unstable character, or the size
    std::size_t last_stable;  // byte offset of the last stable character before it (0 if none)
};

Cut find_first_unstable(std::string_view text, Form form) noexcept {
    const auto& bits = tables::kStable[form_index(form)];
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size(), i = 0, last_stable = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            std::size_t k = utf8::ascii_prefix_len(text.substr(i));
            if (k == 0) k = 1;
            i += k;
            last_stable = i - 1;
            continue;
        }
        char32_t cp;
        std::size_t len;
        if (p[i] < 0xE0) {
            cp = static_cast<char32_t>(((p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F));
            len = 2;
        } else if (p[i] < 0xF0) {
            cp = static_cast<char32_t>(((p[i] & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
            len = 3;
        } else {
            auto d = utf8::decode(text, i);
            if (!is_stable(d.cp, form)) return {i, last_stable};
            last_stable = i;
            i += d.len;
            continue;
        }
        if (!tables::bmp_bit(bits, cp)) return {i, last_stable};
        last_stable = i;
        i += len;
    }
    return {n, last_stable};
}

// Receives the driver's output: stretches of the text, and normalized spans.
struct AppendSink {
    std::string& out;
    void copy(std::string_view s) { out.append(s); }
    void put(const std::vector<Entry>& entries) {
        for (Entry e : entries) utf8::append(out, entry_cp(e));
    }
    bool failed() const noexcept { return false; }
};

// Compares the driver's output with the text itself, stopping at the first
// difference; nothing is built.
struct CompareSink {
    std::string_view text;
    std::size_t pos = 0;
    bool differs = false;

    void copy(std::string_view s) {
        if (differs) return;
        if (text.substr(pos, s.size()) != s) {
            differs = true;
            return;
        }
        pos += s.size();
    }
    void put(const std::vector<Entry>& entries) {
        for (Entry e : entries) {
            if (differs) return;
            if (pos >= text.size()) {
                differs = true;
                return;
            }
            auto d = utf8::decode(text, pos);
            if (d.cp != entry_cp(e)) {
                differs = true;
                return;
            }
            pos += d.len;
        }
    }
    bool failed() const noexcept { return differs; }
};

// Copies what the form cannot change and normalizes the spans between: a run
// of unstable characters is normalized together with the stable character
// before it (which may compose with the run or be its base); the stable
// character after it closes the run and stays as it is. `cut` is where the
// first unstable character is, as find_first_unstable reports it.
template <class Sink>
void drive(std::string_view text, Form form, Cut cut, Sink& sink) {
    Work work;
    std::size_t n = text.size(), unwritten = 0, last_stable = cut.last_stable, i = cut.unstable;
    bool in_run = false;
    const auto& bits = tables::kStable[form_index(form)];
    while (i < n) {
        auto uc = static_cast<unsigned char>(text[i]);
        bool stable;
        std::size_t len;
        if (uc < 0x80) {
            stable = true;
            len = 1;
        } else {
            auto d = utf8::decode(text, i);
            len = d.len;
            stable = d.cp < 0x10000 ? tables::bmp_bit(bits, d.cp) : is_stable(d.cp, form);
        }
        if (!stable) {
            in_run = true;
            i += len;
            continue;
        }
        if (in_run) {
            sink.copy(text.substr(unwritten, last_stable - unwritten));
            normalize_span(text.substr(last_stable, i - last_stable), form, work);
            sink.put(work.entries);
            if (sink.failed()) return;
            unwritten = i;
            in_run = false;
        }
        last_stable = i;
        i += len;
        if (uc < 0x80) {
            // The rest of an ASCII stretch is stable: skip it eight bytes at a time.
            std::size_t k = utf8::ascii_prefix_len(text.substr(i));
            if (k > 0) {
                i += k;
                last_stable = i - 1;
            }
        }
    }
    if (!in_run) {
        sink.copy(text.substr(unwritten));
        return;
    }
    sink.copy(text.substr(unwritten, last_stable - unwritten));
    normalize_span(text.substr(last_stable), form, work);
    sink.put(work.entries);
}

}  // namespace

QuickCheck quick_check(std::string_view text, Form form) noexcept {
    const auto& bits = tables::kStable[form_index(form)];
    std::uint8_t last_ccc = 0;
    QuickCheck result = QuickCheck::Yes;
    std::size_t i = utf8::ascii_prefix_len(text);
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        i += len;
        if (cp < 0x80 || (cp < 0x10000 && tables::bmp_bit(bits, cp))) {
            last_ccc = 0;
            continue;
        }
        const NormRecord& r = norm_record(cp);
        if (r.ccc != 0 && last_ccc > r.ccc) return QuickCheck::No;
        QuickCheck q = record_quick_check(r, form);
        if (q == QuickCheck::No) return QuickCheck::No;
        if (q == QuickCheck::Maybe) result = QuickCheck::Maybe;
        last_ccc = r.ccc;
    }
    return result;
}

namespace {

// Leading and trailing non-starters of a character's compatibility
// decomposition, and whether it is made of non-starters only.
struct NonStarters {
    unsigned leading;
    unsigned trailing;
    bool all;
};

NonStarters classify_non_starters(char32_t cp) noexcept {
    if (cp < 0x80 || is_hangul_syllable(cp)) return {0, 0, false};
    const NormRecord& r = norm_record(cp);
    if (r.compat_len == 0) {
        return r.ccc != 0 ? NonStarters{1, 1, true} : NonStarters{0, 0, false};
    }
    const std::uint32_t* d = tables::kDecompositions + r.compat;
    unsigned len = r.compat_len, lead = 0, trail = 0;
    while (lead < len && entry_ccc(d[lead]) != 0) ++lead;
    while (trail < len && entry_ccc(d[len - 1 - trail]) != 0) ++trail;
    return {lead, trail, lead == len};
}

// Byte offset of the first character before which the Stream-Safe Text
// Process inserts U+034F, or the size when the text is stream-safe.
std::size_t first_stream_break(std::string_view text) noexcept {
    unsigned count = 0;
    std::size_t i = utf8::ascii_prefix_len(text);
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (cp < 0x80 || (cp < 0x10000 && tables::bmp_bit(tables::kStable[form_index(Form::NFKD)], cp))) {
            count = 0;
        } else {
            NonStarters ns = classify_non_starters(cp);
            if (count + ns.leading > kMaxNonStarters) return i;
            count = ns.all ? count + ns.leading : ns.trailing;
        }
        i += len;
    }
    return text.size();
}

}  // namespace

// ---- Forms -----------------------------------------------------------------

std::expected<Form, CoreError> validate_form(std::string_view form) {
    if (form == "NFC") return Form::NFC;
    if (form == "NFD") return Form::NFD;
    if (form == "NFKC") return Form::NFKC;
    if (form == "NFKD") return Form::NFKD;
    return fail(error::InvalidNormForm{std::string(form)});
}

std::expected<void, CoreError> normalize(std::string_view text, std::string_view form, std::string& out) {
    auto f = validate_form(form);
    if (!f) return std::unexpected(std::move(f.error()));
    out.clear();
    if (utf8::is_ascii(text)) {
        out.assign(text);  // every form leaves ASCII as it is
        return {};
    }
    normalize_into(text, *f, out);
    return {};
}

void normalize_into(std::string_view text, Form form, std::string& out) {
    Cut cut = find_first_unstable(text, form);
    if (cut.unstable == text.size()) {
        out.append(text);
        return;
    }
    out.reserve(out.size() + text.size() + text.size() / 8);
    AppendSink sink{out};
    drive(text, form, cut, sink);
}

bool normalize_unless_stable(std::string_view text, Form form, std::string& out) {
    Cut cut = find_first_unstable(text, form);
    if (cut.unstable == text.size()) return false;
    out.clear();
    out.reserve(text.size() + text.size() / 8);
    AppendSink sink{out};
    drive(text, form, cut, sink);
    return true;
}

void nfc_into(std::string_view text, std::string& out) {
    out.clear();
    if (utf8::is_ascii(text)) {
        out.assign(text);
        return;
    }
    normalize_into(text, Form::NFC, out);
}

std::string to_form(std::string_view text, Form form) {
    std::string out;
    normalize_into(text, form, out);
    return out;
}

std::string to_nfc(std::string_view text) { return to_form(text, Form::NFC); }
std::string to_nfd(std::string_view text) { return to_form(text, Form::NFD); }
std::string to_nfkc(std::string_view text) { return to_form(text, Form::NFKC); }
std::string to_nfkd(std::string_view text) { return to_form(text, Form::NFKD); }

bool is_normalized(std::string_view text, Form form) {
    switch (quick_check(text, form)) {
        case QuickCheck::Yes: return true;
        case QuickCheck::No: return false;
        case QuickCheck::Maybe: break;
    }
    Cut cut = find_first_unstable(text, form);
    CompareSink sink{text};
    drive(text, form, cut, sink);
    return !sink.differs && sink.pos == text.size();
}

bool is_stream_safe(std::string_view text) { return first_stream_break(text) == text.size(); }

bool is_normalized_stream_safe(std::string_view text, Form form) {
    return is_stream_safe(text) && is_normalized(text, form);
}

bool stream_safe(std::string_view text, std::string& out) {
    std::size_t i = first_stream_break(text);
    if (i == text.size()) return false;
    out.clear();
    out.reserve(text.size() + 16);
    out.append(text.substr(0, i));
    unsigned count = 0;  // a break has just been decided: the run restarts
    utf8::append(out, kCombiningGraphemeJoiner);
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        NonStarters ns = classify_non_starters(cp);
        if (count + ns.leading > kMaxNonStarters) {
            utf8::append(out, kCombiningGraphemeJoiner);
            count = 0;
        }
        count = ns.all ? count + ns.leading : ns.trailing;
        out.append(text.substr(i, len));
        i += len;
    }
    return true;
}

// ---- Unstable spans ----------------------------------------------------------

namespace {

bool is_span_stable(char32_t cp) noexcept {
    if (cp < 0x80) return true;
    if (cp < 0x10000) return tables::bmp_bit(tables::kSpanStable, cp);
    const NormRecord& r = norm_record(cp);
    return r.ccc == 0 && !(r.flags & (tables::kNfdNo | tables::kMark));
}

}  // namespace

std::optional<UnstableSpan> next_unstable_span(SpanState& state) noexcept {
    std::string_view text = state.text;
    std::size_t i = state.pos;
    while (i < text.size()) {
        std::size_t k = utf8::ascii_prefix_len(text.substr(i));
        if (k > 0) {
            i += k;
            state.previous = static_cast<char32_t>(static_cast<unsigned char>(text[i - 1]));
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (!is_span_stable(cp)) break;
        state.previous = cp;
        i += len;
    }
    if (i >= text.size()) {
        state.pos = text.size();
        return std::nullopt;
    }
    std::size_t start = i;
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (is_span_stable(cp)) break;
        i += len;
    }
    state.pos = i;
    return UnstableSpan{start, i, state.previous};
}

// ---- Character data ----------------------------------------------------------

// Nothing below U+0300 is a mark or has a non-zero class; nothing above
// U+10FFFF is a character.
std::uint8_t combining_class(char32_t cp) noexcept {
    return (cp < 0x300 || cp > 0x10FFFF) ? 0 : norm_record(cp).ccc;
}

bool is_mark(char32_t cp) noexcept {
    return cp >= 0x300 && cp <= 0x10FFFF && (norm_record(cp).flags & tables::kMark);
}

QuickCheck quick_check(char32_t cp, Form form) noexcept {
    if (cp > 0x10FFFF) return QuickCheck::Yes;
    return record_quick_check(norm_record(cp), form);
}

namespace {

Decomposition decomposition_of(char32_t cp, bool compat) noexcept {
    Decomposition d;
    if (is_hangul_syllable(cp)) {
        char32_t s = cp - kSBase;
        d.push(kLBase + s / kNCount);
        d.push(kVBase + (s % kNCount) / kTCount);
        if (s % kTCount != 0) d.push(kTBase + s % kTCount);
        return d;
    }
    if (cp > 0x10FFFF) {
        d.push(cp);
        return d;
    }
    const NormRecord& r = norm_record(cp);
    std::uint8_t len = compat ? r.compat_len : r.canonical_len;
    if (len == 0) {
        d.push(cp);
        return d;
    }
    const std::uint32_t* p = tables::kDecompositions + (compat ? r.compat : r.canonical);
    for (std::uint8_t k = 0; k < len; ++k) d.push(entry_cp(p[k]));
    return d;
}

}  // namespace

Decomposition canonical_decomposition(char32_t cp) noexcept { return decomposition_of(cp, false); }
Decomposition compatibility_decomposition(char32_t cp) noexcept { return decomposition_of(cp, true); }

void append_nfkc(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    std::string one = utf8::encode(cp);
    normalize_into(one, Form::NFKC, out);
}

std::optional<char32_t> compose_pair(char32_t first, char32_t second) noexcept {
    if (first > 0x10FFFF) return std::nullopt;
    return primary_composite(first, second);
}

}  // namespace kelrad::normalize
