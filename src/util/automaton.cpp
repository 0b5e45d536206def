#include "util/automaton.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "util/swar.hpp"

namespace kelrad::automaton {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
// The failure link of a trie node whose fallback threads were cut.
constexpr std::uint32_t kDeadLink = kNone - 1;
// State ids are 32-bit with a few reserved values; the trie has at most one
// node per pattern byte plus the root.
constexpr std::size_t kMaxPatternBytes = kNone - 16;
constexpr std::size_t kDenseBudgetBytes = std::size_t{4} << 20;
// The sparse layout's full rows for the states nearest the start.
constexpr std::size_t kShallowRowBudgetBytes = std::size_t{1} << 20;
constexpr std::uint32_t kShallowDepth = 2;

struct TrieNode {
    std::vector<std::pair<unsigned char, std::uint32_t>> children;  // sorted by byte
    std::uint32_t terminal = kNone;                                 // the pattern spelled by the path here
};

std::uint32_t child_of(const TrieNode& node, unsigned char byte) noexcept {
    auto it = std::ranges::lower_bound(node.children, byte, {}, &std::pair<unsigned char, std::uint32_t>::first);
    return it != node.children.end() && it->first == byte ? it->second : kNone;
}

}  // namespace

std::optional<AhoCorasick> AhoCorasick::build(std::span<const std::string_view> patterns, MatchKind kind,
                                              Layout layout) {
    if (patterns.size() >= kDeadLink) return std::nullopt;
    std::size_t total_bytes = 0;
    for (std::string_view p : patterns) {
        if (p.empty()) return std::nullopt;
        total_bytes += p.size();
        if (total_bytes > kMaxPatternBytes) return std::nullopt;
    }

    AhoCorasick ac;
    ac.kind_ = kind;
    ac.pattern_len_.reserve(patterns.size());

    // The trie. Under leftmost-first a pattern that runs through the end of
    // an earlier pattern can never be reported (the earlier one matches at
    // the same position whenever it does), so it is left out.
    std::vector<TrieNode> trie(1);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        std::string_view p = patterns[i];
        ac.pattern_len_.push_back(static_cast<std::uint32_t>(p.size()));
        std::uint32_t node = 0;
        bool shadowed = false;
        for (char c : p) {
            if (kind == MatchKind::LeftmostFirst && trie[node].terminal != kNone) {
                shadowed = true;
                break;
            }
            auto byte = static_cast<unsigned char>(c);
            auto& children = trie[node].children;
            auto it = std::ranges::lower_bound(children, byte, {}, &std::pair<unsigned char, std::uint32_t>::first);
            if (it != children.end() && it->first == byte) {
                node = it->second;
            } else {
                auto id = static_cast<std::uint32_t>(trie.size());
                children.insert(it, {byte, id});
                trie.emplace_back();
                node = id;
            }
        }
        if (!shadowed && trie[node].terminal == kNone) trie[node].terminal = static_cast<std::uint32_t>(i);
    }

    // Breadth-first order: every failure link points to a shallower node,
    // whose links and rows are therefore complete when a node is reached.
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> depth(trie.size(), 0);
    order.reserve(trie.size());
    order.push_back(0);
    for (std::size_t q = 0; q < order.size(); ++q) {
        for (auto [byte, child] : trie[order[q]].children) {
            order.push_back(child);
            depth[child] = depth[order[q]] + 1;
        }
    }

    // Failure links with the leftmost cut, and the pattern each node reports.
    // The failure chain of a node lists the live threads (suffixes of the
    // text scanned so far that are still pattern prefixes), longest, that is
    // earliest-starting, first. Once one of them completes a pattern, the
    // shorter threads behind it start later and can only lose to that match,
    // so the chain ends there (kDeadLink). A node therefore reports its own
    // pattern, or else the one its chain ends on: the earliest-starting match.
    std::vector<std::uint32_t> fail(trie.size(), 0);
    std::vector<std::uint32_t> reported(trie.size(), kNone);
    for (std::uint32_t node : order) {
        for (auto [byte, child] : trie[node].children) {
            std::uint32_t f = 0;
            if (trie[child].terminal != kNone) {
                f = kDeadLink;
            } else if (node != 0) {
                f = fail[node];
                while (f != kDeadLink) {
                    std::uint32_t next = child_of(trie[f], byte);
                    if (next != kNone) {
                        f = next;
                        break;
                    }
                    if (f == 0) break;
                    f = fail[f];
                }
            }
            fail[child] = f;
            if (trie[child].terminal != kNone) {
                reported[child] = trie[child].terminal;
            } else if (f != kDeadLink && f != 0) {
                reported[child] = reported[f];
            }
        }
    }

    // State numbering: dead, start, states without a match, states with one.
    const std::size_t rows = trie.size() + 1;
    std::vector<std::uint32_t> row_of(trie.size());
    std::vector<std::uint32_t> node_of(rows, kNone);
    std::uint32_t next_row = 1;
    for (int with_match = 0; with_match < 2; ++with_match) {
        if (with_match) ac.first_match_ = next_row;
        for (std::uint32_t node : order) {
            if ((reported[node] != kNone) != static_cast<bool>(with_match)) continue;
            row_of[node] = next_row;
            node_of[next_row] = node;
            if (with_match) ac.match_pattern_.push_back(reported[node]);
            ++next_row;
        }
    }
    auto row_of_link = [&](std::uint32_t link) { return link == kDeadLink ? 0 : row_of[link]; };

    // The bytes that can start a pattern.
    std::size_t start_bytes = 0;
    for (auto [byte, child] : trie[0].children) {
        ac.starts_pattern_[byte] = true;
        if (start_bytes < ac.skip_bytes_.size()) ac.skip_bytes_[start_bytes] = byte;
        ++start_bytes;
    }
    ac.skip_byte_count_ = static_cast<std::uint8_t>(std::min(start_bytes, ac.skip_bytes_.size()));
    ac.skip_kind_ = start_bytes == 1                                         ? SkipKind::OneByte
                    : start_bytes >= 2 && start_bytes <= ac.skip_bytes_.size() ? SkipKind::FewBytes
                                                                               : SkipKind::Table;

    // Byte classes: each byte used by some pattern is a class of its own,
    // every other byte falls in class 0.
    std::array<bool, 256> used{};
    for (const TrieNode& t : trie) {
        for (auto [byte, child] : t.children) used[byte] = true;
    }
    std::uint32_t classes = 1;
    for (std::size_t b = 0; b < 256; ++b) {
        ac.byte_class_[b] = used[b] ? static_cast<std::uint8_t>(classes++) : 0;
    }
    const bool dense_fits = rows * classes < kNone;
    bool dense = false;
    switch (layout) {
        case Layout::Auto: dense = dense_fits && rows * classes * sizeof(std::uint32_t) <= kDenseBudgetBytes; break;
        case Layout::Dense:
            if (!dense_fits) return std::nullopt;
            dense = true;
            break;
        case Layout::Sparse: dense = false; break;
    }
    ac.dense_ = dense;

    // Full rows: the child on the class's byte if there is one, else the
    // start state's own loop, else the row of the failure state (shallower,
    // so filled before), for the first `nodes` nodes in breadth-first order.
    // `row_at(node)` is where a node's row lives, `scale` turns a state
    // number into the id stored as a target.
    auto fill_full_rows = [&](std::size_t nodes, std::size_t row_count, auto row_at, std::uint32_t scale) {
        ac.full_rows_.assign(row_count * classes, 0);
        for (std::size_t i = 0; i < nodes; ++i) {
            std::uint32_t node = order[i];
            std::uint32_t* row = ac.full_rows_.data() + row_at(node);
            if (node == 0) {
                std::fill_n(row, classes, row_of[0] * scale);
            } else if (fail[node] != kDeadLink) {
                std::copy_n(ac.full_rows_.data() + row_at(fail[node]), classes, row);
            }
            for (auto [byte, child] : trie[node].children) row[ac.byte_class_[byte]] = row_of[child] * scale;
        }
    };

    if (dense) {
        // Every state, at its id; the dead state's row (row 0) stays dead.
        ac.id_scale_ = classes;
        auto row_at = [&](std::uint32_t node) { return std::size_t{row_of[node]} * classes; };
        fill_full_rows(order.size(), rows, row_at, classes);
    } else {
        // Full rows for a prefix of the breadth-first order: it holds the
        // failure states of its own members.
        std::size_t shallow = 0;
        while (shallow < order.size() && depth[order[shallow]] <= kShallowDepth &&
               (shallow + 1) * classes * sizeof(std::uint32_t) <= kShallowRowBudgetBytes) {
            ++shallow;
        }
        shallow = std::max<std::size_t>(shallow, 1);  // the start state always
        std::vector<std::uint32_t> shallow_index(trie.size(), kNone);
        for (std::size_t i = 0; i < shallow; ++i) shallow_index[order[i]] = static_cast<std::uint32_t>(i);
        auto row_at = [&](std::uint32_t node) { return std::size_t{shallow_index[node]} * classes; };
        fill_full_rows(shallow, shallow, row_at, 1);

        ac.sparse_states_.assign(rows, {0, 0, 0, kNone});
        ac.edge_byte_.reserve(trie.size() - 1);
        ac.edge_target_.reserve(trie.size() - 1);
        for (std::size_t row = 0; row < rows; ++row) {
            SparseState& st = ac.sparse_states_[row];
            std::uint32_t node = node_of[row];
            if (node == kNone) continue;
            if (shallow_index[node] != kNone) {
                st.full_row = shallow_index[node] * classes;
                continue;
            }
            st.fail = row_of_link(fail[node]);
            st.first_edge = static_cast<std::uint32_t>(ac.edge_byte_.size());
            for (auto [byte, child] : trie[node].children) {
                ac.edge_byte_.push_back(byte);
                ac.edge_target_.push_back(row_of[child]);
            }
            st.end_edge = static_cast<std::uint32_t>(ac.edge_byte_.size());
        }
    }

    ac.dead_ = 0;
    ac.start_ = row_of[0] * ac.id_scale_;
    ac.first_match_ *= ac.id_scale_;
    return ac;
}

std::size_t AhoCorasick::skip_to_candidate(const unsigned char* p, std::size_t n, std::size_t pos) const noexcept {
    if (pos >= n) return n;
    switch (skip_kind_) {
        case SkipKind::OneByte: {
            const void* hit = std::memchr(p + pos, skip_bytes_[0], n - pos);
            return hit ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p) : n;
        }
        case SkipKind::FewBytes: {
            const unsigned char b0 = skip_bytes_[0], b1 = skip_bytes_[1], b2 = skip_bytes_[skip_byte_count_ - 1];
            for (; pos + 8 <= n; pos += 8) {
                const std::uint64_t w = swar::load(p + pos);
                const std::uint64_t hits =
                    swar::bytes_equal(w, b0) | swar::bytes_equal(w, b1) | swar::bytes_equal(w, b2);
                if (hits) return pos + swar::first_marked(hits);
            }
            break;
        }
        case SkipKind::Table: break;
    }
    while (pos < n && !starts_pattern_[p[pos]]) ++pos;
    return pos;
}

std::uint32_t AhoCorasick::sparse_next(std::uint32_t state, unsigned char byte) const noexcept {
    for (;;) {
        const SparseState& st = sparse_states_[state];
        if (st.full_row != kNone) return full_rows_[st.full_row + byte_class_[byte]];
        for (std::uint32_t i = st.first_edge; i < st.end_edge; ++i) {
            if (edge_byte_[i] < byte) continue;
            if (edge_byte_[i] == byte) return edge_target_[i];
            break;
        }
        state = st.fail;
        if (state == dead_) return dead_;
    }
}

template <class Step>
std::optional<Match> AhoCorasick::scan(const unsigned char* p, std::size_t n, std::size_t pos,
                                       Step step) const noexcept {
    // Until a match is seen the start state stays live; being back in it
    // means no pattern is under way, so the scan may jump to the next byte
    // that can begin one.
    std::uint32_t state = start_;
    for (;;) {
        if (state == start_) pos = skip_to_candidate(p, n, pos);
        if (pos == n) return std::nullopt;
        state = step(state, p[pos++]);
        if (state >= first_match_) break;
    }
    // A match is held. Only threads that started no later than it remain;
    // any match they complete starts earlier, or at the same place and is
    // preferred (longer, or listed earlier under leftmost-first, since later
    // extensions were left out of the trie). The dead state ends the search.
    std::uint32_t pattern = match_pattern_[(state - first_match_) / id_scale_];
    std::size_t end = pos;
    while (pos < n) {
        state = step(state, p[pos++]);
        if (state == dead_) break;
        if (state >= first_match_) {
            pattern = match_pattern_[(state - first_match_) / id_scale_];
            end = pos;
        }
    }
    return Match{pattern, end - pattern_len_[pattern], end};
}

std::optional<Match> AhoCorasick::find(std::string_view text, std::size_t start) const noexcept {
    // Without a match state (no patterns) nothing can match.
    if (start >= text.size() || match_pattern_.empty()) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    if (dense_) {
        const std::uint32_t* table = full_rows_.data();
        const std::uint8_t* classes = byte_class_.data();
        return scan(p, text.size(), start,
                    [table, classes](std::uint32_t s, unsigned char b) noexcept { return table[s + classes[b]]; });
    }
    return scan(p, text.size(), start, [this](std::uint32_t s, unsigned char b) noexcept { return sparse_next(s, b); });
}

}  // namespace kelrad::automaton
