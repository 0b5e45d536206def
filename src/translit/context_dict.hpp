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

class ContextDict {
public:
    struct Unigram {
        Span key, value;
    };
    // The bigrams of one previous-word key: bigram_pairs[start, start + count).
    struct BigramGroup {
        Span first;
        std::uint32_t start, count;
    };
    struct BigramPair {
        Span second, third;
    };

    ContextDict() = default;
    ContextDict(std::string bytes, std::vector<Unigram> unigrams, std::vector<BigramGroup> bigram_index,
                std::vector<BigramPair> bigram_pairs) noexcept;

    // The vowelled form of `key`, alone or after `previous`.
    std::optional<std::string_view> unigram(std::string_view key) const noexcept;
    std::optional<std::string_view> bigram(std::string_view previous, std::string_view key) const noexcept;

    bool has_bigrams() const noexcept { return !bigram_index_.empty(); }
    std::size_t unigram_count() const noexcept { return unigrams_.size(); }
    std::size_t bigram_count() const noexcept { return bigram_pairs_.size(); }

    std::string_view text(Span s) const noexcept { return std::string_view(bytes_).substr(s.offset, s.length); }

private:
    std::string bytes_;
    std::vector<Unigram> unigrams_;           // by key
    std::vector<BigramGroup> bigram_index_;  // by previous-word key
    std::vector<BigramPair> bigram_pairs_;   // by second key within a group
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
