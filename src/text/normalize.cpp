#include "text/normalize.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "tables/normalization.hpp"
#include "util/swar.hpp"
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

static_assert(Decomposition::kMaxLen >= tables::kMaxDecompositionLen, "a decomposition must fit its buffer");

// Calls emit(first, count) once with the entries of the full decomposition of
// cp (cp itself when it has none), Hangul syllables by the algorithm.
template <class Emit>
void decompose(char32_t cp, bool compat, Emit&& emit) {
    if (is_hangul_syllable(cp)) {
        char32_t s = cp - kSBase;
        const Entry jamo[3] = {kLBase + s / kNCount, kVBase + (s % kNCount) / kTCount, kTBase + s % kTCount};
        emit(jamo, s % kTCount != 0 ? 3 : 2);
        return;
    }
    const NormRecord& r = norm_record(cp);
    std::uint8_t len = compat ? r.compat_len : r.canonical_len;
    if (len == 0) {
        const Entry self = entry(cp, r.ccc);
        emit(&self, 1);
        return;
    }
    emit(tables::kDecompositions + (compat ? r.compat : r.canonical), len);
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
        if (cp < 0x80) {
            w.entries.push_back(cp);
        } else {
            decompose(cp, compat, [&](const Entry* d, std::size_t n) { w.entries.insert(w.entries.end(), d, d + n); });
        }
        i += len;
    }
    reorder(w.entries, w.scratch);
    if (is_composing(form)) compose_entries(w.entries);
}

// ---- Scanning for work ----------------------------------------------------

// Whether the byte leads a code point that may not be stable for the form
// (see kUnstableLeads). ASCII and continuation bytes never do.
inline bool is_unstable_lead(const std::uint8_t* leads, unsigned char b) noexcept {
    return b >= 0xC0 && ((leads[b & 15] >> ((b >> 4) - 12)) & 1);
}

// Whether the character whose lead byte is p[i] is stable for the form. The
// lead is known not to be ASCII, so the decoding is written out here rather
// than taken from utf8::decode, whose ASCII test costs is_normalized about
// a twelfth of its time on non-ASCII text.
inline bool is_stable_at(const unsigned char* p, std::size_t i, Form form) noexcept {
    unsigned char b = p[i];
    char32_t cp;
    if (b < 0xE0) {
        cp = static_cast<char32_t>(((b & 0x1F) << 6) | (p[i + 1] & 0x3F));
    } else if (b < 0xF0) {
        cp = static_cast<char32_t>(((b & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
    } else {
        cp = static_cast<char32_t>(((b & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) |
                                   (p[i + 3] & 0x3F));
        return is_stable(cp, form);
    }
    return tables::bmp_bit(tables::kStable[form_index(form)], cp);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Sixteen bytes at a time: the high nibble of each byte selects one bit (C, D,
// E, F: bits 0 to 3; anything lower: none), the low nibble the lead mask; a
// lane whose two lookups share a bit is a lead that needs a closer look.
// Continuation bytes never match, so a character running into the next block
// needs no realignment.
__attribute__((target("ssse3"))) std::size_t skip_stable_ssse3(const unsigned char* p, std::size_t i, std::size_t n,
                                                               Form form) noexcept {
    const std::uint8_t* leads = tables::kUnstableLeads[form_index(form)];
    const __m128i lo_lut = _mm_loadu_si128(reinterpret_cast<const __m128i*>(leads));
    const __m128i hi_lut = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hi = _mm_shuffle_epi8(hi_lut, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
        __m128i lo = _mm_shuffle_epi8(lo_lut, _mm_and_si128(v, nibble));
        auto flagged = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(hi, lo), zero))) ^ 0xFFFFu;
        for (; flagged != 0; flagged &= flagged - 1) {
            std::size_t at = i + static_cast<std::size_t>(std::countr_zero(flagged));
            if (!is_stable_at(p, at, form)) return at;
        }
    }
    // The tail, character by character (after the blocks, i may fall inside
    // one: its continuation bytes are passed one by one).
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0xC0) {
            ++i;
            continue;
        }
        if (is_unstable_lead(leads, b) && !is_stable_at(p, i, form)) return i;
        i += b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    }
    return n;
}

bool has_ssse3() noexcept {
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}
#endif

// Eight bytes at a time: a word without a lead byte (top bits 11) holds only
// ASCII and continuation bytes.
std::size_t skip_stable_scalar(const unsigned char* p, std::size_t i, std::size_t n, Form form) noexcept {
    const std::uint8_t* leads = tables::kUnstableLeads[form_index(form)];
    while (i < n) {
        if (i + 8 <= n) {
            const std::uint64_t w = swar::load(p + i);
            if ((w & (w << 1) & swar::kHighBits) == 0) {
                i += 8;
                continue;
            }
        }
        for (std::size_t end = std::min(i + 8, n); i < end; ++i) {
            if (is_unstable_lead(leads, p[i]) && !is_stable_at(p, i, form)) return i;
        }
    }
    return n;
}

// The first character at or after i (a character boundary) that is not
// stable for the form, or the size.
std::size_t skip_stable(std::string_view text, std::size_t i, Form form) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_ssse3()) return skip_stable_ssse3(p, i, text.size(), form);
#endif
    return skip_stable_scalar(p, i, text.size(), form);
}

// The offset of the character that ends at `end` (> 0).
std::size_t char_start_before(std::string_view text, std::size_t end) noexcept {
    return end - utf8::decode_before(text, end).len;
}

// What a scan of the text found: the quick-check answer so far, and where the
// driver has to start if the text needs work.
struct Scan {
    QuickCheck answer;
    std::size_t unstable;     // the first character that is not stable, or the size
    std::size_t last_stable;  // the last stable character before it (0 if none)
};

// The UAX #15 quick check, with stable stretches skipped without decoding. A
// character that is not stable but has quick check Yes and keeps the
// canonical order (a mark in NFD, for example) does not end a Yes. With
// `stop_at_maybe` the scan ends at the first Maybe (the caller will normalize
// anyway); otherwise it goes on, since a later No settles the answer.
Scan scan_text(std::string_view text, Form form, bool stop_at_maybe) noexcept {
    std::size_t n = text.size(), i = 0;
    Scan scan{QuickCheck::Yes, n, 0};
    bool found_unstable = false;
    std::uint8_t last_ccc = 0;
    while (true) {
        std::size_t j = skip_stable(text, i, form);
        if (j != i) {
            last_ccc = 0;
            if (!found_unstable) scan.last_stable = char_start_before(text, j);
            i = j;
        }
        if (i >= n) return scan;
        if (!found_unstable) {
            found_unstable = true;
            scan.unstable = i;
        }
        auto [cp, len] = utf8::decode(text, i);
        const NormRecord& r = norm_record(cp);
        if (r.ccc != 0 && last_ccc > r.ccc) {
            scan.answer = QuickCheck::No;
            return scan;
        }
        QuickCheck q = record_quick_check(r, form);
        if (q != QuickCheck::Yes) {
            scan.answer = q;
            if (q == QuickCheck::No || stop_at_maybe) return scan;
        }
        last_ccc = r.ccc;
        i += len;
    }
}

// The quick check of one span: Yes means the form leaves it as it is.
bool span_is_normalized(std::string_view span, Form form) noexcept {
    std::uint8_t last_ccc = 0;
    for (std::size_t i = 0; i < span.size();) {
        auto [cp, len] = utf8::decode(span, i);
        i += len;
        if (cp < 0x80) {
            last_ccc = 0;
            continue;
        }
        const NormRecord& r = norm_record(cp);
        if ((r.ccc != 0 && last_ccc > r.ccc) || record_quick_check(r, form) != QuickCheck::Yes) return false;
        last_ccc = r.ccc;
    }
    return true;
}

// ---- The stable-stretch driver ---------------------------------------------

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
// character after it closes the run and stays as it is. A span that passes
// the quick check is left in place. The scan tells where the first unstable
// character is.
template <class Sink>
void drive(std::string_view text, Form form, const Scan& scan, Sink& sink) {
    Work work;
    std::size_t n = text.size(), unwritten = 0, last_stable = scan.last_stable, i = scan.unstable;
    while (true) {
        std::size_t j = skip_stable(text, i, form);
        if (j != i) last_stable = char_start_before(text, j);
        i = j;
        if (i >= n) break;
        // A run of unstable characters starts at i; the next stable one closes it.
        i += utf8::decode(text, i).len;
        std::size_t closing_len = 0;
        while (i < n) {
            auto [cp, len] = utf8::decode(text, i);
            if (is_stable(cp, form)) {
                closing_len = len;
                break;
            }
            i += len;
        }
        std::string_view span = text.substr(last_stable, i - last_stable);
        if (!span_is_normalized(span, form)) {
            sink.copy(text.substr(unwritten, last_stable - unwritten));
            normalize_span(span, form, work);
            sink.put(work.entries);
            if (sink.failed()) return;
            unwritten = i;
        }
        if (i >= n) break;
        last_stable = i;
        i += closing_len;
    }
    sink.copy(text.substr(unwritten));
}

}  // namespace

QuickCheck quick_check(std::string_view text, Form form) noexcept {
    return scan_text(text, form, false).answer;
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
    Scan scan = scan_text(text, form, true);
    if (scan.answer == QuickCheck::Yes) {
        out.append(text);
        return;
    }
    out.reserve(out.size() + text.size() + text.size() / 8);
    AppendSink sink{out};
    drive(text, form, scan, sink);
}

bool normalize_cow(std::string_view text, Form form, std::string& out) {
    Scan scan = scan_text(text, form, true);
    if (scan.answer == QuickCheck::Yes) return false;
    out.clear();
    out.reserve(text.size() + text.size() / 8);
    AppendSink sink{out};
    drive(text, form, scan, sink);
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
    Scan scan = scan_text(text, form, false);
    switch (scan.answer) {
        case QuickCheck::Yes: return true;
        case QuickCheck::No: return false;
        case QuickCheck::Maybe: break;
    }
    CompareSink sink{text};
    drive(text, form, scan, sink);
    return !sink.differs && sink.pos == text.size();
}

bool is_normalized_stream_safe(std::string_view text, Form form) {
    // The Stream-Safe Text Format of UAX #15: no run of more than 30
    // consecutive non-starters, counted over compatibility decompositions.
    return first_stream_break(text) == text.size() && is_normalized(text, form);
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
    if (cp > 0x10FFFF) {
        d.push(cp);
    } else {
        decompose(cp, compat, [&](const Entry* e, std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) d.push(entry_cp(e[k]));
        });
    }
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
