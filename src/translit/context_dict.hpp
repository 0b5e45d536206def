// Context dictionaries: vowelled forms of Arabic, Persian and Hebrew words.
//
// A dictionary maps a word without its vowel marks (the key) to its vowelled
// form, alone (unigram) or after a given previous word (bigram). Each is a
// file "{lang}_dict.bin" in the TRLD format, built outside the module
// (scripts/build_dictionary.py):
//
//     header, 24 bytes, little-endian u32s:
//         magic "TRLD", version 1, unigram_count, bigram_count,
//         unigram_offset, bigram_offset (each at least 24)
//     unigram record: key, u16 n_candidates, n_candidates x (text, u32 weight)
//     bigram record:  first key, second key, vowelled form of the second
//
// where every string is a u16 byte length and that many bytes of UTF-8. Only
// a unigram's first candidate is used. Among records with the same key (or
// the same pair of keys) the first in the file wins.
//
// A loaded dictionary is the file's bytes in one buffer and four arrays of
// spans into it, sorted by bytes for binary search; no string is copied.
// Records are read from their offsets; nothing else in the file is checked.
//
// The file is looked for in $KELRAD_DICT_DIR (an absolute path; a relative
// one is ignored with a line on standard error), then in the `data` directory
// beside the loaded module. Each dictionary is loaded once per process, at
// its first use; the outcome (loaded, not found, or corrupt) is kept for the
// life of the process and never retried.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kelrad::context {

// Files above this size are refused as corrupt from their size alone.
inline constexpr std::uint64_t kMaxDictBytes = 1'073'741'824;

// A stretch of the dictionary's bytes.
struct Span {
    std::uint32_t offset;
    std::uint32_t length;
};

// The first eight bytes of a key as a big-endian number, zero-padded.
// Ordering by it agrees with ordering by the bytes, so a search runs over a
// dense array of these and reads a key's own bytes only on a tie.
std::uint64_t key_prefix(std::string_view key) noexcept;

class ContextDict {
public:
    struct Unigram {
        Span key, value;
    };
    // The bigrams of one previous-word key: pairs[start, start + count).
    struct BigramGroup {
        Span first;
        std::uint32_t start, count;
    };
    struct BigramPair {
        Span second, third;
    };
    // Each array sorted by its key's bytes, with its keys' prefixes beside it.
    struct Index {
        std::vector<Unigram> unigrams;
        std::vector<std::uint64_t> unigram_prefixes;
        std::vector<BigramGroup> groups;  // by previous-word key
        std::vector<std::uint64_t> group_prefixes;
        std::vector<BigramPair> pairs;  // by second key within a group
        std::vector<std::uint64_t> pair_prefixes;
    };

    ContextDict() = default;
    ContextDict(std::string bytes, Index index) noexcept : bytes_(std::move(bytes)), index_(std::move(index)) {}

    // The vowelled form of `key`, alone or after `previous`.
    std::optional<std::string_view> unigram(std::string_view key) const noexcept;
    std::optional<std::string_view> bigram(std::string_view previous, std::string_view key) const noexcept;

    bool has_bigrams() const noexcept { return !index_.groups.empty(); }
    std::size_t unigram_count() const noexcept { return index_.unigrams.size(); }
    std::size_t bigram_count() const noexcept { return index_.pairs.size(); }

    std::string_view text(Span s) const noexcept { return std::string_view(bytes_.data() + s.offset, s.length); }

private:
    std::string bytes_;
    Index index_;
};

struct NotFound {};
struct Corrupt {
    std::string message;  // "{lang} dictionary at {path} is corrupt: {reason}"
};
// The outcome of loading one dictionary.
using DictLoad = std::variant<ContextDict, NotFound, Corrupt>;

// Validates and indexes a whole TRLD file; the reason text on failure.
std::expected<ContextDict, std::string> parse_dict(std::string bytes);

// Finds, reads, validates and indexes "{lang}_dict.bin" (lang "arabic",
// "hebrew" or "persian"). Never fails: every outcome is a DictLoad, and the
// diagnostics go to standard error.
DictLoad load_dict(std::string_view lang);

// The first use of a dictionary reads and indexes a file of up to a
// gigabyte, or waits for the thread that does. A caller that holds a lock
// other threads need meanwhile (an interpreter lock) passes a runner that
// calls `work(arg)` with that lock released; nullptr runs it directly.
using BlockingRunner = void (*)(void (*work)(void*), void* arg);

// The once-loaded dictionaries: the first call loads, every later call
// returns the same outcome, which lives until the process ends.
const DictLoad& arabic_dict(BlockingRunner run_blocking = nullptr);
const DictLoad& hebrew_dict(BlockingRunner run_blocking = nullptr);
const DictLoad& persian_dict(BlockingRunner run_blocking = nullptr);

}  // namespace kelrad::context
