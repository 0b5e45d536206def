#include "text/decoders.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "util/ascii.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::decoders {
namespace {

using Byte = unsigned char;

// ---------------------------------------------------------------------------
// Output. A decoder writes through one of four writers into a buffer sized
// beforehand (see `max_units`): UTF-8, UTF-16, UTF-32, or nothing at all when
// only the absence of errors matters.

template <class Unit>
class Writer;

template <>
class Writer<char> {
public:
    explicit Writer(char* p) noexcept : p_(p) {}
    char* end() const noexcept { return p_; }

    void ascii(const Byte* s, std::size_t n) noexcept {
        std::memcpy(p_, s, n);
        p_ += n;
    }
    // Well-formed UTF-8 goes through as it is.
    void utf8(const Byte* s, std::size_t n) noexcept { ascii(s, n); }
    void bmp(char32_t c) noexcept { p_ += utf8::encode_into(p_, c); }
    void scalar(char32_t c) noexcept { p_ += utf8::encode_into(p_, c); }

private:
    char* p_;
};

// Writes well-formed UTF-8 through a writer of code points.
template <class W>
void write_utf8(const Byte* s, std::size_t n, W& w) noexcept {
    for (std::size_t i = 0; i < n;) {
        const auto [c, len] = utf8::decode_at(s + i);
        c < 0x10000 ? w.bmp(c) : w.scalar(c);
        i += len;
    }
}

template <>
class Writer<char16_t> {
public:
    explicit Writer(char16_t* p) noexcept : p_(p) {}
    char16_t* end() const noexcept { return p_; }

    void ascii(const Byte* s, std::size_t n) noexcept {
        for (std::size_t i = 0; i < n; ++i) p_[i] = s[i];
        p_ += n;
    }
    void utf8(const Byte* s, std::size_t n) noexcept { write_utf8(s, n, *this); }
    void bmp(char32_t c) noexcept { *p_++ = static_cast<char16_t>(c); }
    void scalar(char32_t c) noexcept {
        if (c < 0x10000) return bmp(c);
        c -= 0x10000;
        p_[0] = static_cast<char16_t>(0xD800 | (c >> 10));
        p_[1] = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        p_ += 2;
    }

private:
    char16_t* p_;
};

template <>
class Writer<char32_t> {
public:
    explicit Writer(char32_t* p) noexcept : p_(p) {}
    char32_t* end() const noexcept { return p_; }

    void ascii(const Byte* s, std::size_t n) noexcept {
        for (std::size_t i = 0; i < n; ++i) p_[i] = s[i];
        p_ += n;
    }
    void utf8(const Byte* s, std::size_t n) noexcept { write_utf8(s, n, *this); }
    void bmp(char32_t c) noexcept { *p_++ = c; }
    void scalar(char32_t c) noexcept { *p_++ = c; }

private:
    char32_t* p_;
};

struct NullWriter {
    void ascii(const Byte*, std::size_t) noexcept {}
    void utf8(const Byte*, std::size_t) noexcept {}
    void bmp(char32_t) noexcept {}
    void scalar(char32_t) noexcept {}
};

// The most code units `n` bytes can decode to in any encoding. Every output
// character is paid for by input bytes that produce nothing else: at most one
// UTF-16 unit or code point a byte (two-byte Big5 sequences give two BMP
// characters or one supplementary; four-byte sequences one supplementary), at
// most three UTF-8 bytes a byte (a single byte can give a character of three).
template <class Unit>
constexpr std::size_t max_units(std::size_t n) noexcept {
    return sizeof(Unit) == 1 ? 3 * n : n;
}

inline constexpr char32_t kReplacement = 0xFFFD;

bool in(unsigned b, unsigned lo, unsigned hi) noexcept { return b - lo <= hi - lo; }

// Copies the run of ASCII bytes at p[i] and returns where it ends.
template <class W>
std::size_t copy_ascii(const Byte* p, std::size_t i, std::size_t n, W& w) noexcept {
    std::size_t start = i;
    while (i + 8 <= n && !(swar::load(p + i) & swar::kHighBits)) i += 8;
    while (i < n && p[i] < 0x80) ++i;
    w.ascii(p + start, i - start);
    return i;
}

// A writer, and whether any replacement went through it. Each decoder keeps
// its own by value, so that the output position lives in a register.
template <class W>
struct Out {
    W w;
    bool errors = false;

    void error() noexcept {
        errors = true;
        w.bmp(kReplacement);
    }
};

// ---------------------------------------------------------------------------
// UTF-8 well-formedness as a shift-based automaton: each state is a bit offset
// (a multiple of 6) into a 64-bit row per byte value, and the row holds the
// next state at that offset, so a step is one load and one shift. The error
// state is offset 0, where every row holds 0: once there, the walk stays.

enum : unsigned {
    kError = 0,
    kAccept = 6,
    kNeed1 = 12,     // one continuation byte 80..BF to go
    kNeed2 = 18,     // two to go
    kNeed3 = 24,     // three to go
    kAfterE0 = 30,   // second byte A0..BF
    kAfterED = 36,   // second byte 80..9F (no surrogates)
    kAfterF0 = 42,   // second byte 90..BF (no overlong four-byte forms)
    kAfterF4 = 48,   // second byte 80..8F (nothing above U+10FFFF)
};

constexpr std::array<std::uint64_t, 256> make_utf8_rows() {
    std::array<std::uint64_t, 256> rows{};
    for (unsigned b = 0; b < 256; ++b) {
        auto go = [&](unsigned from, unsigned to) { rows[b] |= std::uint64_t{to} << from; };
        if (b < 0x80) {
            go(kAccept, kAccept);
        } else if (b < 0xC0) {
            go(kNeed1, kAccept);
            go(kNeed2, kNeed1);
            go(kNeed3, kNeed2);
            go(b >= 0xA0 ? kAfterE0 : kAfterED, kNeed1);
            go(b >= 0x90 ? kAfterF0 : kAfterF4, kNeed2);
        } else if (b >= 0xC2 && b <= 0xDF) {
            go(kAccept, kNeed1);
        } else if (b >= 0xE0 && b <= 0xEF) {
            go(kAccept, b == 0xE0 ? kAfterE0 : b == 0xED ? kAfterED : kNeed2);
        } else if (b >= 0xF0 && b <= 0xF4) {
            go(kAccept, b == 0xF0 ? kAfterF0 : b == 0xF4 ? kAfterF4 : kNeed3);
        }
    }
    return rows;
}

constexpr std::array<std::uint64_t, 256> kUtf8Rows = make_utf8_rows();

[[gnu::always_inline]] inline std::uint64_t step(std::uint64_t state, Byte b) noexcept {
    return kUtf8Rows[b] >> (state & 63);
}

// The start of the sequence that byte k belongs to, given that the walk was
// not at a character boundary before it: the lead byte, at most three back.
std::size_t lead_before(const Byte* p, std::size_t k) noexcept {
    while ((p[k - 1] & 0xC0) == 0x80) --k;
    return k - 1;
}

// The length of the maximal subpart at p[0] (Unicode 3.9, "U+FFFD
// Substitution of Maximal Subparts"), which the Standard's decoder consumes
// for one error: the lead byte and the continuation bytes within bounds. The
// caller knows the sequence there is not whole and well-formed.
std::size_t maximal_subpart(const Byte* p, std::size_t n) noexcept {
    Byte b = p[0];
    unsigned need = 0, lo = 0x80, hi = 0xBF;
    if (in(b, 0xC2, 0xDF)) {
        need = 1;
    } else if (in(b, 0xE0, 0xEF)) {
        need = 2;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (in(b, 0xF0, 0xF4)) {
        need = 3;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    }
    std::size_t k = 1;
    while (k <= need && k < n && in(p[k], lo, hi)) {
        lo = 0x80;
        hi = 0xBF;
        ++k;
    }
    return k;
}

template <class W>
Out<W> utf8(const Byte* p, std::size_t n, W w) noexcept {
    Out<W> out{w};
    std::size_t i = 0;
    for (;;) {
        Utf8Check c = check_utf8({reinterpret_cast<const char*>(p + i), n - i});
        out.w.utf8(p + i, c.valid_up_to);
        i += c.valid_up_to;
        if (i == n) return out;
        out.error();
        i += maximal_subpart(p + i, n - i);
    }
}

// ---------------------------------------------------------------------------
// UTF-16BE and UTF-16LE (the Standard's shared UTF-16 decoder).

template <bool BigEndian, class W>
Out<W> utf16(const Byte* p, std::size_t n, W w) noexcept {
    Out<W> out{w};
    char32_t lead_surrogate = 0;
    std::size_t i = 0;
    while (i + 2 <= n) {
        char32_t unit = BigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
        i += 2;
        if (lead_surrogate) {
            char32_t lead = std::exchange(lead_surrogate, 0);
            if (in(unit, 0xDC00, 0xDFFF)) {
                out.w.scalar(0x10000 + ((lead - 0xD800) << 10) + (unit - 0xDC00));
                continue;
            }
            // The unit goes back into the stream and is read afresh.
            i -= 2;
            out.error();
        } else if (in(unit, 0xD800, 0xDBFF)) {
            lead_surrogate = unit;
        } else if (in(unit, 0xDC00, 0xDFFF)) {
            out.error();
        } else {
            out.w.bmp(unit);
        }
    }
    // A lone byte or a lead surrogate left at the end is one error.
    if (i < n || lead_surrogate) out.error();
    return out;
}

// ---------------------------------------------------------------------------
// Legacy single-byte encodings and x-user-defined.

template <class W>
Out<W> single_byte(const char16_t* table, const Byte* p, std::size_t n, W w) noexcept {
    Out<W> out{w};
    bool unmapped = false;
    std::size_t i = 0;
    // Eight bytes at a time: pure ASCII is copied, anything else goes through
    // the table (whose ASCII half is the identity) without a branch per byte.
    for (; i + 8 <= n; i += 8) {
        if (!(swar::load(p + i) & swar::kHighBits)) {
            out.w.ascii(p + i, 8);
            continue;
        }
        for (std::size_t k = 0; k < 8; ++k) {
            char16_t c = table[p[i + k]];
            unmapped |= c == kReplacement;
            out.w.bmp(c);
        }
    }
    for (; i < n; ++i) {
        char16_t c = table[p[i]];
        unmapped |= c == kReplacement;
        out.w.bmp(c);
    }
    out.errors |= unmapped;
    return out;
}

template <class W>
Out<W> x_user_defined(const Byte* p, std::size_t n, W w) noexcept {
    Out<W> out{w};
    for (std::size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            i = copy_ascii(p, i, n, out.w);
        } else {
            out.w.bmp(0xF780 + p[i++] - 0x80);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The multi-byte decoders. Each reads a whole sequence at once where the
// Standard reads a byte per step; "put back into the stream" becomes moving
// the position back, and the end of input inside a sequence is one error.
// A trail byte that fails is consumed with its lead unless it is ASCII.
//
// The common case, a lead and a trail that the index maps, takes one table
// load for the trail's offset in its row and one for the code point: the
// trail ranges of a row (40..7E and A1..FE in Big5, say) alternate in any
// text, so testing them with branches would mispredict on every other
// character.

std::size_t failed_pair_len(Byte trail) noexcept { return trail < 0x80 ? 1 : 2; }

inline constexpr std::uint8_t kNoTrail = 0xFF;

// The offset of each trail byte within a row: lo1..hi1 first, then lo2..hi2.
constexpr std::array<std::uint8_t, 256> trail_offsets(unsigned lo1, unsigned hi1, unsigned lo2 = 1, unsigned hi2 = 0) {
    std::array<std::uint8_t, 256> offsets{};
    for (unsigned b = 0; b < 256; ++b) {
        offsets[b] = b >= lo1 && b <= hi1   ? static_cast<std::uint8_t>(b - lo1)
                     : b >= lo2 && b <= hi2 ? static_cast<std::uint8_t>(b - lo2 + hi1 - lo1 + 1)
                                            : kNoTrail;
    }
    return offsets;
}

constexpr auto kGb18030Trail = trail_offsets(0x40, 0x7E, 0x80, 0xFE);  // 190 a row
constexpr auto kBig5Trail = trail_offsets(0x40, 0x7E, 0xA1, 0xFE);     // 157
constexpr auto kShiftJisTrail = trail_offsets(0x40, 0x7E, 0x80, 0xFC);  // 188
constexpr auto kEucKrTrail = trail_offsets(0x41, 0xFE);                 // 190
constexpr auto kEucJpTrail = trail_offsets(0xA1, 0xFE);                 // 94

char32_t gb18030_ranges_code_point(std::uint32_t pointer) noexcept {
    if ((pointer > 39419 && pointer < 189000) || pointer > 1237575) return 0;
    // The one four-byte sequence GB 18030 maps outside the linear ranges.
    if (pointer == 7457) return 0xE7C7;
    const auto* ranges = std::begin(tables::GB18030_RANGES);
    const auto* it = std::upper_bound(ranges, std::end(tables::GB18030_RANGES), pointer,
                                      [](std::uint32_t p, const tables::Gb18030Range& r) { return p < r.pointer; });
    --it;
    return it->code_point + (pointer - it->pointer);
}

// Drives a decoder whose common step is a lead and trail that the index maps
// or a run of ASCII. `pair(lead, trail)` gives the code point of such a pair
// and 0 for any other two bytes; `rest(out, i)` decodes, as the Standard
// says, what begins with the byte from 0x80 up at p[i] when that is no mapped
// pair, and returns where it ends.
//
// The position advances by branches the processor predicts: a step length
// computed from the bytes instead would chain every step to the load of its
// lead byte, which costs more than the mispredictions at the spaces and
// digits such text holds every few characters.
template <class W, class Pair, class Rest>
Out<W> decode_pairs(const Byte* p, std::size_t n, W w, Pair pair, Rest rest) noexcept {
    Out<W> out{w};
    std::size_t i = 0;
    while (i < n) {
        if (i + 1 < n) {
            if (char32_t c = pair(p[i], p[i + 1])) {
                out.w.scalar(c);
                i += 2;
                continue;
            }
        }
        i = p[i] < 0x80 ? copy_ascii(p, i, n, out.w) : rest(out, i);
    }
    return out;
}

// index[pointer] when `valid`, else 0.
template <std::size_t N>
char32_t mapped_pair(bool valid, const std::uint16_t (&index)[N], unsigned pointer) noexcept {
    return valid ? index[pointer] : 0;
}

// A byte that begins no character: an error. A lead byte takes its trail
// with it unless that is ASCII, and at the end of the input it is the last.
template <class W>
std::size_t failed(Out<W>& out, const Byte* p, std::size_t i, std::size_t n, bool lead) noexcept {
    out.error();
    if (!lead) return i + 1;
    return i + 1 == n ? n : i + failed_pair_len(p[i + 1]);
}

// gb18030, also the decoder of GBK.
template <class W>
Out<W> gb18030(const Byte* p, std::size_t n, W w) noexcept {
    auto pair = [](unsigned b, unsigned b2) -> char32_t {
        unsigned trail = kGb18030Trail[b2];
        // The two-byte index maps every pointer.
        return mapped_pair(in(b, 0x81, 0xFE) && trail != kNoTrail, tables::GB18030, (b - 0x81) * 190 + trail);
    };
    auto rest = [p, n](Out<W>& out, std::size_t i) -> std::size_t {
        unsigned b = p[i];
        if (b == 0x80) {
            out.w.bmp(0x20AC);
            return i + 1;
        }
        if (b == 0xFF || i + 1 == n || !in(p[i + 1], 0x30, 0x39)) return failed(out, p, i, n, b != 0xFF);
        // Four bytes: lead, digit, 81..FE, digit. A third byte out of range
        // puts back the second and third; a fourth, the second to fourth.
        if (i + 2 == n || (in(p[i + 2], 0x81, 0xFE) && i + 3 == n)) {
            out.error();
            return n;
        }
        if (!in(p[i + 2], 0x81, 0xFE) || !in(p[i + 3], 0x30, 0x39)) {
            out.error();
            return i + 1;
        }
        std::uint32_t pointer =
            (b - 0x81) * 12600 + (p[i + 1] - 0x30) * 1260 + (p[i + 2] - 0x81) * 10 + (p[i + 3] - 0x30);
        char32_t c = gb18030_ranges_code_point(pointer);
        c ? out.w.scalar(c) : out.error();
        return i + 4;
    };
    return decode_pairs(p, n, w, pair, rest);
}

template <class W>
Out<W> big5(const Byte* p, std::size_t n, W w) noexcept {
    auto pair = [](unsigned b, unsigned b2) -> char32_t {
        unsigned trail = kBig5Trail[b2];
        if (!in(b, 0x81, 0xFE) || trail == kNoTrail) return 0;
        std::uint32_t pointer = (b - 0x81) * 157 + trail;
        // The plane-2 bit is clear wherever the index maps nothing.
        return tables::BIG5[pointer] |
               static_cast<char32_t>((tables::BIG5_PLANE2[pointer >> 6] >> (pointer & 63) & 1) << 17);
    };
    auto rest = [p, n](Out<W>& out, std::size_t i) -> std::size_t {
        unsigned b = p[i];
        // Four pointers the index leaves out decode to a letter and a
        // combining mark.
        if (i + 1 < n && in(b, 0x81, 0xFE) && kBig5Trail[p[i + 1]] != kNoTrail) {
            std::uint32_t pointer = (b - 0x81) * 157 + kBig5Trail[p[i + 1]];
            if (pointer == 1133 || pointer == 1135 || pointer == 1164 || pointer == 1166) {
                out.w.bmp(pointer < 1150 ? 0x00CA : 0x00EA);
                out.w.bmp(pointer == 1133 || pointer == 1164 ? 0x0304 : 0x030C);
                return i + 2;
            }
        }
        return failed(out, p, i, n, in(b, 0x81, 0xFE));
    };
    return decode_pairs(p, n, w, pair, rest);
}

template <class W>
Out<W> euc_jp(const Byte* p, std::size_t n, W w) noexcept {
    auto pair = [](unsigned b, unsigned b2) -> char32_t {
        unsigned trail = kEucJpTrail[b2];
        return mapped_pair(in(b, 0xA1, 0xFE) && trail != kNoTrail, tables::JIS0208, (b - 0xA1) * 94 + trail);
    };
    auto rest = [p, n](Out<W>& out, std::size_t i) -> std::size_t {
        unsigned b = p[i];
        bool lead = b == 0x8E || b == 0x8F || in(b, 0xA1, 0xFE);
        if (i + 1 < n && b == 0x8E && in(p[i + 1], 0xA1, 0xDF)) {
            // Half-width katakana.
            out.w.bmp(0xFF61 - 0xA1 + p[i + 1]);
            return i + 2;
        }
        if (i + 1 < n && b == 0x8F && in(p[i + 1], 0xA1, 0xFE)) {
            // JIS X 0212: 8F, then a pair laid out like a JIS X 0208 one,
            // which fails as such a pair does.
            if (i + 2 == n) return failed(out, p, i + 1, n, true);
            unsigned trail = kEucJpTrail[p[i + 2]];
            if (char32_t c = mapped_pair(trail != kNoTrail, tables::JIS0212, (p[i + 1] - 0xA1) * 94 + trail)) {
                out.w.bmp(c);
                return i + 3;
            }
            return failed(out, p, i + 1, n, true);
        }
        return failed(out, p, i, n, lead);
    };
    return decode_pairs(p, n, w, pair, rest);
}

template <class W>
Out<W> shift_jis(const Byte* p, std::size_t n, W w) noexcept {
    auto pointer_of = [](unsigned b, unsigned trail) { return (b - (b < 0xA0 ? 0x81 : 0xC1)) * 188 + trail; };
    auto is_lead = [](unsigned b) { return in(b, 0x81, 0x9F) || in(b, 0xE0, 0xFC); };
    auto pair = [=](unsigned b, unsigned b2) -> char32_t {
        unsigned trail = kShiftJisTrail[b2];
        return mapped_pair(is_lead(b) && trail != kNoTrail, tables::JIS0208, pointer_of(b, trail));
    };
    auto rest = [=](Out<W>& out, std::size_t i) -> std::size_t {
        unsigned b = p[i];
        if (in(b, 0xA1, 0xDF) || b == 0x80) {
            // Half-width katakana; 80 is U+0080.
            out.w.bmp(b == 0x80 ? 0x80 : 0xFF61 - 0xA1 + b);
            return i + 1;
        }
        // The user-defined area maps to the Private Use Area.
        if (i + 1 < n && is_lead(b) && kShiftJisTrail[p[i + 1]] != kNoTrail) {
            unsigned pointer = pointer_of(b, kShiftJisTrail[p[i + 1]]);
            if (in(pointer, 8836, 10715)) {
                out.w.bmp(0xE000 - 8836 + pointer);
                return i + 2;
            }
        }
        return failed(out, p, i, n, is_lead(b));
    };
    return decode_pairs(p, n, w, pair, rest);
}

template <class W>
Out<W> euc_kr(const Byte* p, std::size_t n, W w) noexcept {
    auto pair = [](unsigned b, unsigned b2) -> char32_t {
        unsigned trail = kEucKrTrail[b2];
        return mapped_pair(in(b, 0x81, 0xFE) && trail != kNoTrail, tables::EUC_KR, (b - 0x81) * 190 + trail);
    };
    auto rest = [p, n](Out<W>& out, std::size_t i) { return failed(out, p, i, n, in(p[i], 0x81, 0xFE)); };
    return decode_pairs(p, n, w, pair, rest);
}

// ISO-2022-JP, the Standard's state machine a byte at a time. The output flag
// makes two escape sequences in a row (nothing between them) an error.
template <class W>
Out<W> iso_2022_jp(const Byte* p, std::size_t n, W w) noexcept {
    Out<W> out{w};
    enum class State : std::uint8_t { Ascii, Roman, Katakana, LeadByte, TrailByte, EscapeStart, Escape };
    State state = State::Ascii, output_state = State::Ascii;
    unsigned lead = 0;
    bool output = false;
    std::size_t i = 0;
    for (;;) {
        bool end = i == n;
        unsigned b = end ? 0 : p[i];
        switch (state) {
            case State::Ascii:
            case State::Roman:
            case State::Katakana:
            case State::LeadByte:
                if (end) return out;
                ++i;
                if (b == 0x1B) {
                    state = State::EscapeStart;
                    continue;
                }
                output = false;
                if (state == State::Katakana) {
                    in(b, 0x21, 0x5F) ? out.w.bmp(0xFF61 - 0x21 + b) : out.error();
                } else if (state == State::LeadByte) {
                    if (in(b, 0x21, 0x7E)) {
                        lead = b;
                        state = State::TrailByte;
                    } else {
                        out.error();
                    }
                } else if (b >= 0x80 || b == 0x0E || b == 0x0F) {
                    out.error();
                } else if (state == State::Roman && (b == 0x5C || b == 0x7E)) {
                    out.w.bmp(b == 0x5C ? 0x00A5 : 0x203E);
                } else {
                    out.w.bmp(b);
                }
                continue;
            case State::TrailByte:
                // The end of input is put back and seen again in the lead state.
                state = State::LeadByte;
                if (end) {
                    out.error();
                    continue;
                }
                ++i;
                if (b == 0x1B) {
                    state = State::EscapeStart;
                    out.error();
                } else if (char32_t c = in(b, 0x21, 0x7E) ? tables::JIS0208[(lead - 0x21) * 94 + b - 0x21] : 0) {
                    out.w.bmp(c);
                } else {
                    out.error();
                }
                continue;
            case State::EscapeStart:
                if (!end && (b == 0x24 || b == 0x28)) {
                    lead = b;
                    state = State::Escape;
                    ++i;
                    continue;
                }
                // The byte is put back.
                output = false;
                state = output_state;
                out.error();
                continue;
            case State::Escape: {
                State next = State::Escape;  // none yet
                if (!end && lead == 0x28 && b == 0x42) next = State::Ascii;
                if (!end && lead == 0x28 && b == 0x4A) next = State::Roman;
                if (!end && lead == 0x28 && b == 0x49) next = State::Katakana;
                if (!end && lead == 0x24 && (b == 0x40 || b == 0x42)) next = State::LeadByte;
                if (next != State::Escape) {
                    ++i;
                    state = output_state = next;
                    if (std::exchange(output, true)) out.error();
                    continue;
                }
                // The byte after ESC and this one are put back.
                --i;
                output = false;
                state = output_state;
                out.error();
                continue;
            }
        }
    }
}

template <class W>
Out<W> run(Encoding encoding, std::string_view bytes, W w) noexcept {
    const auto* p = reinterpret_cast<const Byte*>(bytes.data());
    std::size_t n = bytes.size();
    switch (encoding) {
        case Encoding::UTF_8: return utf8(p, n, w);
        case Encoding::UTF_16BE: return utf16<true>(p, n, w);
        case Encoding::UTF_16LE: return utf16<false>(p, n, w);
        case Encoding::GBK:
        case Encoding::gb18030: return gb18030(p, n, w);
        case Encoding::Big5: return big5(p, n, w);
        case Encoding::EUC_JP: return euc_jp(p, n, w);
        case Encoding::ISO_2022_JP: return iso_2022_jp(p, n, w);
        case Encoding::Shift_JIS: return shift_jis(p, n, w);
        case Encoding::EUC_KR: return euc_kr(p, n, w);
        case Encoding::x_user_defined: return x_user_defined(p, n, w);
        case Encoding::replacement: {
            // Any input at all is one error.
            Out<W> out{w};
            if (n) out.error();
            return out;
        }
        default: {  // the single-byte run FIRST_SINGLE_BYTE .. LAST_SINGLE_BYTE
            auto index = static_cast<std::size_t>(encoding) - static_cast<std::size_t>(tables::FIRST_SINGLE_BYTE);
            return single_byte(tables::SINGLE_BYTE[index], p, n, w);
        }
    }
}

// The whole check, inlined into a baseline build and a BMI2 build of it: with
// BMI2 the automaton's shift is one instruction (SHRX) that does not go
// through the CL register, and the walk takes a third less time.
[[gnu::always_inline]] inline Utf8Check walk_utf8(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const Byte*>(bytes.data());
    std::size_t n = bytes.size(), i = 0;
    std::uint64_t state = kAccept;
    // The error state is sticky, so one test after a stretch finds that it
    // was entered, and a second walk of the stretch finds where.
    auto locate = [&](std::size_t from, std::uint64_t s) -> Utf8Check {
        for (i = from;; ++i) {
            std::uint64_t next = step(s, p[i]);
            if ((next & 63) == kError) return {(s & 63) == kAccept ? i : lead_before(p, i), false};
            s = next;
        }
    };
    for (; i + 16 <= n; i += 16) {
        // Sixteen ASCII bytes between characters are skipped. The ASCII test
        // comes first: it is the one that mostly answers alike in a text.
        if (!((swar::load(p + i) | swar::load(p + i + 8)) & swar::kHighBits) && (state & 63) == kAccept) continue;
        std::uint64_t before = state;
        for (std::size_t k = 0; k < 16; ++k) state = step(state, p[i + k]);
        if ((state & 63) == kError) return locate(i, before);
    }
    std::uint64_t before = state;
    for (std::size_t k = i; k < n; ++k) state = step(state, p[k]);
    if ((state & 63) == kError) return locate(i, before);
    if ((state & 63) == kAccept) return {n, false};
    return {lead_before(p, n), true};
}

Utf8Check walk_utf8_baseline(std::string_view bytes) noexcept { return walk_utf8(bytes); }

#if defined(__x86_64__) && defined(__GNUC__)
#define KELRAD_DISPATCH_BMI2 1
[[gnu::target("bmi2")]] Utf8Check walk_utf8_bmi2(std::string_view bytes) noexcept { return walk_utf8(bytes); }
#endif

}  // namespace

std::string_view trim_label(std::string_view label) noexcept {
    auto is_space = [](char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; };
    while (!label.empty() && is_space(label.front())) label.remove_prefix(1);
    while (!label.empty() && is_space(label.back())) label.remove_suffix(1);
    return label;
}

std::optional<Encoding> get_encoding(std::string_view label) noexcept {
    label = trim_label(label);
    if (label.size() > tables::LONGEST_ENCODING_LABEL) return std::nullopt;
    char buf[tables::LONGEST_ENCODING_LABEL];
    std::ranges::transform(label, buf, ascii::to_lower);
    std::string_view lower(buf, label.size());
    const auto* it = std::lower_bound(std::begin(tables::ENCODING_LABELS), std::end(tables::ENCODING_LABELS), lower,
                                      [](const tables::EncodingLabel& e, std::string_view l) { return e.label < l; });
    if (it == std::end(tables::ENCODING_LABELS) || it->label != lower) return std::nullopt;
    return it->encoding;
}

bool is_ascii_compatible(Encoding e) noexcept {
    return e != Encoding::UTF_16BE && e != Encoding::UTF_16LE && e != Encoding::ISO_2022_JP &&
           e != Encoding::replacement;
}

template <class Unit>
bool decode(Encoding encoding, std::string_view bytes, std::basic_string<Unit>& out) {
    bool errors = false;
    out.clear();
    out.resize_and_overwrite(max_units<Unit>(bytes.size()), [&](Unit* buf, std::size_t) {
        Out<Writer<Unit>> done = run(encoding, bytes, Writer<Unit>(buf));
        errors = done.errors;
        return static_cast<std::size_t>(done.w.end() - buf);
    });
    return errors;
}

template bool decode<char>(Encoding, std::string_view, std::string&);
template bool decode<char16_t>(Encoding, std::string_view, std::u16string&);
template bool decode<char32_t>(Encoding, std::string_view, std::u32string&);

bool decodes_without_error(Encoding encoding, std::string_view bytes) noexcept {
    return !run(encoding, bytes, NullWriter{}).errors;
}

std::size_t maximal_subpart_len(std::string_view bytes) noexcept {
    return maximal_subpart(reinterpret_cast<const Byte*>(bytes.data()), bytes.size());
}

Utf8Check check_utf8(std::string_view bytes) noexcept {
#ifdef KELRAD_DISPATCH_BMI2
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2) return walk_utf8_bmi2(bytes);
#endif
    return walk_utf8_baseline(bytes);
}

}  // namespace kelrad::decoders
