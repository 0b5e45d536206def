#include "text/compose.hpp"

#include <algorithm>
#include <utility>

#include "tables/normalization_compose.hpp"
#include "text/normalize.hpp"
#include "util/utf8.hpp"

namespace kelrad::compose {
namespace {

// Hangul jamo of the conjoining algorithm (Unicode chapter 3.12).
constexpr char32_t kLFirst = 0x1100, kLCount = 19;
constexpr char32_t kVFirst = 0x1161, kVCount = 21;
constexpr char32_t kTFirst = 0x11A8, kTCount = 27;  // trailing consonants proper, without the filler
constexpr char32_t kSBase = 0xAC00;

// Combines with a preceding Kirat Rai vowel sign, although it is no mark.
constexpr char32_t kKiratRaiVowelSignE = 0x16D67;

bool is_excluded_pair(char32_t first, char32_t second) noexcept {
    return std::binary_search(std::begin(tables::kExcludedPairs), std::end(tables::kExcludedPairs),
                              tables::ExcludedPair{first, second}, [](const auto& a, const auto& b) {
                                  return a.first != b.first ? a.first < b.first : a.second < b.second;
                              });
}

std::optional<char32_t> excluded_composite(std::u32string_view window) noexcept {
    auto it = std::lower_bound(std::begin(tables::kExclusionKeys), std::end(tables::kExclusionKeys), window,
                               [](const tables::ExclusionKey& k, std::u32string_view w) { return k.decomposition < w; });
    if (it != std::end(tables::kExclusionKeys) && it->decomposition == window) return it->composite;
    return std::nullopt;
}

// A key of COMPOSITION_EXCLUSIONS found in a composed cluster with marks
// between its characters: the positions of its later characters.
struct SpreadKey {
    char32_t composite;
    std::size_t later[tables::kMaxExclusionKeyLen - 1];
    std::size_t later_count;
};

// Stream-safe text (UAX #15) holds at most 30 non-starters in a row; a key's
// later character is not looked for further away, which keeps the search
// linear on any stack of marks.
constexpr std::size_t kMaxSkippedMarks = 30;

// The longest key that starts with text[at] and whose later characters join
// it across the marks between them under canonical composition's blocking
// rule (UAX #15): a skipped mark must have a non-zero combining class lower
// than the joining character's. Canonical order puts a vowel point between a
// Hebrew letter and its dagesh or shin dot, so "bet patah dagesh" holds the
// key of U+FB31 with the patah inside it. Called when no adjacent window is a
// key; the cluster is in canonical order, so a later character is the first
// one of at least its own class.
std::optional<SpreadKey> spread_key(std::u32string_view text, std::size_t at) noexcept {
    const char32_t first = text[at];
    auto it = std::lower_bound(std::begin(tables::kExclusionKeys), std::end(tables::kExclusionKeys), first,
                               [](const tables::ExclusionKey& k, char32_t c) { return k.decomposition[0] < c; });
    std::optional<SpreadKey> best;
    for (; it != std::end(tables::kExclusionKeys) && it->decomposition[0] == first; ++it) {
        const std::u32string_view key = it->decomposition;
        if (best && best->later_count >= key.size() - 1) continue;
        SpreadKey found{it->composite, {}, 0};
        std::size_t j = at + 1, skipped = 0;
        std::uint8_t highest_skipped = 0;
        for (std::size_t t = 1; t < key.size(); ++t) {
            const std::uint8_t wanted = normalize::combining_class(key[t]);
            for (; j < text.size() && skipped <= kMaxSkippedMarks; ++j, ++skipped) {
                if (text[j] == key[t] && (skipped == 0 || highest_skipped < wanted)) break;
                const std::uint8_t ccc = normalize::combining_class(text[j]);
                if (ccc == 0 || ccc >= wanted) {
                    j = text.size();  // blocked
                    break;
                }
                highest_skipped = std::max(highest_skipped, ccc);
            }
            if (j >= text.size() || skipped > kMaxSkippedMarks) break;
            found.later[found.later_count++] = j++;
        }
        if (found.later_count == key.size() - 1) best = found;
    }
    return best;
}

// A character that can join the preceding one in composition: a combining mark
// (General_Category Mn, Mc, Me), or U+16D67, which combines with a preceding
// Kirat Rai vowel sign although it is not a mark.
bool is_mark_like(char32_t cp) noexcept { return normalize::is_mark(cp) || cp == kKiratRaiVowelSignE; }

}  // namespace

bool starts_or_joins(char32_t cp) noexcept {
    if (cp < 0x590) return (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x483 && cp <= 0x489);
    return normalize::is_mark(cp) || cp == kKiratRaiVowelSignE || cp - kLFirst < kLCount;
}

std::optional<Composed> Composer::read() noexcept {
    if (pos_ >= text_.size()) return std::nullopt;
    auto d = utf8::decode(text_, pos_);
    Composed c{d.cp, pos_};
    pos_ += d.len;
    return c;
}

std::optional<Composed> Composer::take() noexcept {
    if (ahead_) return std::exchange(ahead_, std::nullopt);
    return read();
}

std::optional<Composed> Composer::next() {
    if (head_ < queue_.size()) {
        Composed c = queue_[head_++];
        if (head_ == queue_.size()) {
            queue_.clear();
            head_ = 0;
        }
        return c;
    }
    std::optional<Composed> c = take();
    if (!c) return std::nullopt;

    // Only a leading consonant starts a Hangul composition: a precomposed LV
    // syllable followed by a trailing consonant stays two characters.
    if (c->ch - kLFirst < kLCount) {
        std::optional<Composed> v = take();
        if (v && v->ch - kVFirst < kVCount) {
            char32_t syllable = kSBase + ((c->ch - kLFirst) * kVCount + (v->ch - kVFirst)) * 28;
            std::optional<Composed> t = take();
            if (t && t->ch - kTFirst < kTCount) {
                syllable += t->ch - kTFirst + 1;
            } else {
                ahead_ = t;
            }
            return Composed{syllable, c->offset};
        }
        ahead_ = v;
    }

    std::optional<Composed> mark = take();
    if (!mark || !is_mark_like(mark->ch)) {
        ahead_ = mark;
        return c;
    }
    sources_.clear();
    sources_.push_back({c->ch, c->offset});
    sources_.push_back({mark->ch, mark->offset});
    compose_cluster(*c);
    return next();
}

// A base and the mark-like characters after it: composed by NFC, then the
// excluded characters rebuilt, first for the whole cluster, then window by
// window, a window joining across lower-class marks where no adjacent one
// matches.
void Composer::compose_cluster(Composed base) {
    while (std::optional<Composed> m = take()) {
        if (!is_mark_like(m->ch)) {
            ahead_ = m;
            break;
        }
        sources_.push_back({m->ch, m->offset});
    }
    std::size_t end = ahead_ ? static_cast<std::size_t>(ahead_->offset) : text_.size();
    std::string_view cluster = text_.substr(static_cast<std::size_t>(base.offset), end - base.offset);

    // A cluster that passes the NFC quick check is its own NFC.
    composed_.clear();
    if (normalize::normalize_cow(cluster, normalize::Form::NFC, nfc_)) {
        for (auto [cp, len] : utf8::chars(nfc_)) composed_.push_back(cp);
    } else {
        for (const Source& s : sources_) composed_.push_back(s.ch);
    }

    queue_.clear();
    head_ = 0;
    std::u32string_view text = composed_;
    std::optional<char32_t> whole;
    if (text.size() >= 2 && is_excluded_pair(text[0], text[1])) whole = excluded_composite(text);
    if (whole) {
        queue_.push_back({*whole, base.offset});
    } else {
        for (std::size_t i = 0; i < text.size();) {
            if (i + 1 < text.size() && is_excluded_pair(text[i], text[i + 1])) {
                std::optional<char32_t> hit;
                std::size_t width = 3;
                if (i + 2 < text.size()) hit = excluded_composite(text.substr(i, 3));
                if (!hit) {
                    width = 2;
                    hit = excluded_composite(text.substr(i, 2));
                }
                if (hit) {
                    queue_.push_back({*hit, base.offset});
                    i += width;
                    continue;
                }
            }
            if (i + 2 < text.size()) {
                if (std::optional<SpreadKey> spread = spread_key(text, i)) {
                    // The composite, then the marks it was spread across.
                    queue_.push_back({spread->composite, base.offset});
                    const std::size_t last = spread->later[spread->later_count - 1];
                    for (std::size_t k = i + 1, t = 0; k < last; ++k) {
                        if (t < spread->later_count && spread->later[t] == k) {
                            ++t;
                        } else {
                            queue_.push_back({text[k], base.offset});
                        }
                    }
                    i = last + 1;
                    continue;
                }
            }
            queue_.push_back({text[i], base.offset});
            ++i;
        }
    }
    assign_offsets(base.offset);
}

// Each queued character takes the offset of its own source character when the
// cluster came out as it went in; otherwise the offset of the first source
// character of the same value that no earlier queued character claimed, or
// the base's offset for a composed or rebuilt character.
void Composer::assign_offsets(std::uint64_t base_offset) {
    bool unchanged = queue_.size() == sources_.size() &&
                     std::equal(queue_.begin(), queue_.end(), sources_.begin(),
                                [](const Composed& q, const Source& s) { return q.ch == s.ch; });
    if (unchanged) {
        for (std::size_t k = 0; k < queue_.size(); ++k) queue_[k].offset = sources_[k].offset;
        return;
    }
    // Source positions sorted by character (then position): the claimed ones
    // of each value are a prefix of its group, so one counter per group finds
    // the first unclaimed in constant time after the search.
    auto n = static_cast<std::uint32_t>(sources_.size());
    by_char_.resize(n);
    for (std::uint32_t k = 0; k < n; ++k) by_char_[k] = k;
    std::stable_sort(by_char_.begin(), by_char_.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return sources_[a].ch < sources_[b].ch; });
    claimed_.assign(n, 0);
    for (Composed& q : queue_) {
        auto it = std::lower_bound(by_char_.begin(), by_char_.end(), q.ch,
                                   [this](std::uint32_t k, char32_t ch) { return sources_[k].ch < ch; });
        q.offset = base_offset;
        if (it == by_char_.end() || sources_[*it].ch != q.ch) continue;
        auto group = static_cast<std::size_t>(it - by_char_.begin());
        std::size_t k = group + claimed_[group];
        if (k < n && sources_[by_char_[k]].ch == q.ch) {
            q.offset = sources_[by_char_[k]].offset;
            ++claimed_[group];
        }
    }
}

bool compose_if_marks(std::string_view text, std::string& out) {
    std::size_t i = utf8::ascii_prefix_len(text);
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (starts_or_joins(cp)) break;
        i += len;
    }
    if (i >= text.size()) return false;
    out.clear();
    out.reserve(text.size());
    Composer composer(text);
    while (std::optional<Composed> c = composer.next()) utf8::append(out, c->ch);
    return true;
}

}  // namespace kelrad::compose
