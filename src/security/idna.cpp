#include "security/idna.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <span>

#include "security/punycode.hpp"
#include "tables/idna.hpp"
#include "text/normalize.hpp"
#include "util/ascii.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::idna {
namespace {

constexpr std::string_view kAcePrefix = "xn--";

// The row holding cp: the last row of its block's rows whose first code
// point is at or below it.
const tables::IdnaRow& row_of(char32_t cp) noexcept {
    std::size_t block = cp >> 8;
    std::span<const tables::IdnaRow> rows(tables::IDNA_ROWS + tables::IDNA_BLOCK_ROWS[block],
                                          tables::IDNA_BLOCK_ROWS[block + 1] - tables::IDNA_BLOCK_ROWS[block] + 1u);
    return *last_row_at_or_below(rows, cp);
}

// row_of with the last row found tried first: the characters of a label
// mostly share a row (the small letters of a script are one).
class RowFinder {
public:
    const tables::IdnaRow& operator()(char32_t cp) noexcept {
        if (cp < first_ || cp >= end_) {
            row_ = &row_of(cp);
            first_ = row_->first;
            end_ = row_ + 1 == std::end(tables::IDNA_ROWS) ? 0x110000 : char32_t{row_[1].first};
        }
        return *row_;
    }

private:
    const tables::IdnaRow* row_ = nullptr;
    char32_t first_ = 1;  // an empty range until the first search
    char32_t end_ = 0;
};

// The forbidden domain code points of the URL Standard: C0 controls, space,
// # % / : < > ? @ [ \ ] ^ | and DEL.
constexpr bool is_forbidden_domain_byte(unsigned char b) noexcept {
    switch (b) {
        case '#': case '%': case '/': case ':': case '<': case '>': case '?': case '@':
        case '[': case '\\': case ']': case '^': case '|': case 0x7F:
            return true;
        default:
            return b <= 0x20;
    }
}

bool has_forbidden_domain_byte(std::string_view text) noexcept {
    for (char c : text) {
        if (is_forbidden_domain_byte(static_cast<unsigned char>(c))) return true;
    }
    return false;
}

// Step 1 of UTS #46 processing: every code point mapped by its status.
// Disallowed code points are kept; returns true when there was one.
bool map_into(std::string_view text, std::string& out) {
    RowFinder find_row;
    bool disallowed = false;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(ascii::is_upper(cp) ? cp | 0x20 : cp));
        } else if (const tables::IdnaRow& row = find_row(cp); row.status == tables::kIdnaMapped) {
            if (row.pooled_len != 0) {
                out.append(tables::IDNA_MAPPING_POOL + row.mapping, row.pooled_len);
            } else {
                utf8::append(out, static_cast<char32_t>(static_cast<std::int32_t>(cp) + row.mapping));
            }
        } else if (row.status != tables::kIdnaIgnored) {
            disallowed = disallowed || row.status == tables::kIdnaDisallowed;
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return disallowed;
}


// Where a label comes from decides which validity criteria can fail.
enum class Origin : std::uint8_t {
    Decoded,  // from Punycode: any of them
    // From mapping and NFC: V1 (NFC), V4 (no ACE prefix) and V5 (no full
    // stop) hold already.
    Mapped,
    // As Mapped, and neither a disallowed code point was kept nor did NFC
    // change the mapped text: V7 holds too, since every mapping consists of
    // valid code points (the table generator checks this).
    MappedValid,
};

// The validity criteria of UTS #46, section 4.1, with CheckHyphens,
// CheckJoiners and CheckBidi left to the callers.
bool is_valid_label(std::string_view label, Origin origin) {
    if (label.empty()) return true;
    if (origin == Origin::Decoded && (label.starts_with(kAcePrefix) || label.find('.') != std::string_view::npos ||
                                      !normalize::is_normalized(label, normalize::Form::NFC))) {
        return false;
    }
    if (normalize::is_mark(utf8::decode(label, 0).cp)) return false;  // V6
    if (origin == Origin::MappedValid) return true;
    // V7 under nontransitional processing: every code point valid or deviation.
    RowFinder find_row;
    for (auto [cp, len] : utf8::chars(label)) {
        std::uint32_t status = cp < 0x80 ? (ascii::is_upper(cp) ? tables::kIdnaMapped : tables::kIdnaValid)
                                         : find_row(cp).status;
        if (status != tables::kIdnaValid && status != tables::kIdnaDeviation) return false;
    }
    return true;
}

// UTS #46 step 4 (Convert/Validate) for an ACE label: writes its Unicode
// form into `decoded`; false when it does not decode (it is then in error
// and keeps its ACE form).
bool decode_ace_label(std::string_view label, std::string& decoded) {
    decoded.clear();
    return utf8::is_ascii(label) && punycode::decode(label.substr(kAcePrefix.size()), decoded);
}

// The Bidi_Class of the rule, with the last range found tried first as in
// RowFinder.
class BidiClassFinder {
public:
    std::uint8_t operator()(char32_t cp) noexcept {
        if (range_ == nullptr || cp < range_->first || cp > range_->last) {
            const auto* found = find_range(tables::IDNA_BIDI_CLASSES, cp);
            if (found == nullptr) return tables::kBidiL;
            range_ = found;
        }
        return range_->value;
    }

private:
    const ValuedRange<std::uint8_t>* range_ = nullptr;
};

// RFC 5893: a domain name is a Bidi domain name when some label holds a
// character of class R, AL or AN. No ASCII character has one of those.
bool is_bidi_domain(std::string_view domain) noexcept {
    BidiClassFinder class_of;
    for (std::size_t i = utf8::ascii_prefix_len(domain); i < domain.size();) {
        auto [cp, len] = utf8::decode(domain, i);
        i += len;
        if (!tables::in_chunk_bitmap(tables::IDNA_RTL_CHUNKS, cp)) continue;
        std::uint8_t c = class_of(cp);
        if (c == tables::kBidiR || c == tables::kBidiAL || c == tables::kBidiAN) return true;
    }
    return false;
}

constexpr std::uint32_t bit(std::uint8_t bidi) noexcept { return 1u << bidi; }

// The six conditions of RFC 5893, section 2, for a non-empty label.
bool satisfies_bidi_rule(std::string_view label) noexcept {
    using namespace tables;
    constexpr std::uint32_t kRtlAllowed = bit(kBidiR) | bit(kBidiAL) | bit(kBidiAN) | bit(kBidiEN) | bit(kBidiES) |
                                          bit(kBidiCS) | bit(kBidiET) | bit(kBidiON) | bit(kBidiBN) | bit(kBidiNSM);
    constexpr std::uint32_t kLtrAllowed = bit(kBidiL) | bit(kBidiEN) | bit(kBidiES) | bit(kBidiCS) | bit(kBidiET) |
                                          bit(kBidiON) | bit(kBidiBN) | bit(kBidiNSM);
    constexpr std::uint32_t kRtlEnd = bit(kBidiR) | bit(kBidiAL) | bit(kBidiEN) | bit(kBidiAN);
    constexpr std::uint32_t kLtrEnd = bit(kBidiL) | bit(kBidiEN);

    BidiClassFinder class_of;
    std::uint8_t first = class_of(utf8::decode(label, 0).cp);
    bool rtl = first == kBidiR || first == kBidiAL;
    if (!rtl && first != kBidiL) return false;  // condition 1
    std::uint32_t seen = 0;
    std::uint8_t last = first;  // the last class other than NSM
    for (auto [cp, len] : utf8::chars(label)) {
        std::uint8_t c = class_of(cp);
        seen |= bit(c);
        if (c != kBidiNSM) last = c;
    }
    if (rtl) {
        return (seen & ~kRtlAllowed) == 0 && (bit(last) & kRtlEnd) != 0 &&      // conditions 2, 3
               (seen & (bit(kBidiEN) | bit(kBidiAN))) != (bit(kBidiEN) | bit(kBidiAN));  // condition 4
    }
    return (seen & ~kLtrAllowed) == 0 && (bit(last) & kLtrEnd) != 0;  // conditions 5, 6
}

}  // namespace

bool to_unicode(std::string_view domain, std::string& out) {
    out.clear();
    bool disallowed = map_into(domain, out);
    std::string scratch;
    bool recomposed = normalize::normalize_cow(out, normalize::Form::NFC, scratch);
    if (recomposed) out.swap(scratch);
    Origin origin = disallowed || recomposed ? Origin::Mapped : Origin::MappedValid;

    // UTS #46 step 4, in place: only the ACE labels that decode change.
    bool error = false;
    for (std::size_t start = 0;;) {
        std::size_t end = std::min(out.find('.', start), out.size());
        std::string_view label(out.data() + start, end - start);
        if (!label.starts_with(kAcePrefix)) {
            error = !is_valid_label(label, origin) || error;
        } else if (!decode_ace_label(label, scratch)) {
            error = true;
        } else {
            // A decoded label must not be empty nor all ASCII (the ACE form
            // of such a label is not canonical), and meets every criterion.
            error = scratch.empty() || utf8::is_ascii(scratch) || !is_valid_label(scratch, Origin::Decoded) || error;
            out.replace(start, end - start, scratch);
            end = start + scratch.size();
        }
        if (end == out.size()) break;
        start = end + 1;
    }
    error = error || has_forbidden_domain_byte(out);

    // Split again at the full stops of the output: a decoded label holding
    // one is in error already, and only whether there is an error matters.
    if (!error && is_bidi_domain(out)) {
        for (std::size_t start = 0; start <= out.size();) {
            std::size_t dot = out.find('.', start);
            std::string_view label = std::string_view(out).substr(start, dot - start);
            if (!label.empty() && !satisfies_bidi_rule(label)) return true;
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
    }
    return error;
}

}  // namespace kelrad::idna
