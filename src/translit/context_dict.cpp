#include "translit/context_dict.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <utility>

#include "text/decoders.hpp"
#include "text/error.hpp"
#include "util/panic.hpp"

namespace kelrad::context {
namespace {

constexpr std::size_t kHeaderSize = 24;
constexpr std::uint32_t kMagic = 0x444C5254;  // "TRLD" read as a little-endian u32
constexpr std::uint32_t kVersion = 1;
constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();
// A forged count must not force a huge allocation: the records read decide.
constexpr std::uint64_t kMaxReserved = 1'000'000;

// ---- UTF-8 ------------------------------------------------------------------

// The first ill-formed sequence of a byte string, as the standard decoding
// error describes it: where it starts, and how many bytes it spans (the
// maximal subpart, Unicode 3.9, U+FFFD substitution), or 0 when the string
// ends inside a sequence that could still have been completed.
struct Utf8Fault {
    std::size_t index;
    std::size_t length;
};

std::optional<Utf8Fault> first_utf8_fault(std::string_view s) noexcept {
    const decoders::Utf8Check check = decoders::check_utf8(s);
    if (check.valid_up_to == s.size()) return std::nullopt;
    if (check.truncated) return Utf8Fault{check.valid_up_to, 0};
    return Utf8Fault{check.valid_up_to, decoders::maximal_subpart_len(s.substr(check.valid_up_to))};
}

std::string utf8_fault_reason(Utf8Fault f) {
    if (f.length == 0) return "incomplete utf-8 byte sequence from index " + std::to_string(f.index);
    return "invalid utf-8 sequence of " + std::to_string(f.length) + " bytes from index " + std::to_string(f.index);
}

// Calls valid(text) for each well-formed stretch and invalid(bytes) for each
// ill-formed sequence in between, in order.
template <class Valid, class Invalid>
void for_each_utf8_chunk(std::string_view s, Valid&& valid, Invalid&& invalid) {
    while (!s.empty()) {
        std::optional<Utf8Fault> f = first_utf8_fault(s);
        if (!f) {
            valid(s);
            return;
        }
        if (f->index > 0) valid(s.substr(0, f->index));
        const std::size_t bad = f->length == 0 ? s.size() - f->index : f->length;
        invalid(s.substr(f->index, bad));
        s.remove_prefix(f->index + bad);
    }
}

// A path as text: each ill-formed sequence becomes U+FFFD.
std::string lossy_text(std::string_view s) {
    std::string out;
    decoders::decode(tables::Encoding::UTF_8, s, out);
    return out;
}

// The debug form of a value that need not be UTF-8: in double quotes, quotes
// and backslashes escaped, control and other unprintable characters as
// escapes, and each byte that is not part of valid UTF-8 as \xNN.
std::string debug_form(std::string_view s) {
    std::string out = "\"";
    for_each_utf8_chunk(
        s,
        [&](std::string_view v) {
            const std::string quoted = error::quoted_debug_literal(v);
            for (char c : std::string_view(quoted).substr(1, quoted.size() - 2)) {
                if (c == '\'') out += '\\';
                out += c;
            }
        },
        [&](std::string_view bytes) {
            for (unsigned char b : bytes) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", b);
                out += buf;
            }
        });
    out += '"';
    return out;
}

// ---- Reading the format -----------------------------------------------------

// A key with its prefix, while the records are sorted.
struct Key {
    std::uint64_t prefix;
    Span span;
};

struct Unigram {
    Key key;
    Span value;
};

struct Bigram {
    Key first, second;
    Span third;
};

// Reads the format with positions of 64 bits, every step checked, so that no
// header value can make a read wrap around. The first failure sticks: later
// reads return zeros without looking, and the caller checks once per record.
class Reader {
public:
    explicit Reader(std::string_view bytes) noexcept : bytes_(bytes) {}

    explicit operator bool() const noexcept { return reason_.empty(); }
    std::string take_reason() noexcept { return std::move(reason_); }

    // The position rule: `pos + n`, which may be the end of the file; 0
    // after a failure.
    std::uint64_t advance(std::uint64_t pos, std::uint64_t n) {
        if (!reason_.empty()) return 0;
        if (pos > std::numeric_limits<std::uint64_t>::max() - n) return fail("dictionary offset overflow");
        if (pos + n > bytes_.size()) return fail("unexpected end of dictionary data");
        return pos + n;
    }

    std::uint16_t u16(std::uint64_t pos) {
        advance(pos, 2);
        if (!*this) return 0;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos);
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }

    std::uint32_t u32(std::uint64_t pos) {
        advance(pos, 4);
        if (!*this) return 0;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos);
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    // The string rule: `length` bytes of UTF-8 at `offset`.
    Span str(std::uint64_t offset, std::uint64_t length) {
        advance(offset, length);
        if (!*this) return {};
        if (auto fault = first_utf8_fault(bytes_.substr(offset, length))) {
            fail(utf8_fault_reason(*fault));
            return {};
        }
        if (offset > kU32Max) {
            fail("dictionary offset exceeds u32");
            return {};
        }
        return Span{static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)};
    }

    // A u16 length and the string after it; `pos` moves past both.
    Span counted_str(std::uint64_t& pos) {
        const std::uint16_t len = u16(pos);
        const Span s = str(pos + 2, len);
        pos += 2 + std::uint64_t{len};
        return s;
    }

    Key counted_key(std::uint64_t& pos) {
        const Span s = counted_str(pos);
        return Key{*this ? key_prefix(bytes_.substr(s.offset, s.length)) : 0, s};
    }

private:
    std::uint64_t fail(std::string reason) {
        reason_ = std::move(reason);
        return 0;
    }

    std::string_view bytes_;
    std::string reason_;
};

// Orders a key against a text whose prefix is known.
int compare_keys(std::uint64_t prefix_a, std::string_view a, std::uint64_t prefix_b, std::string_view b) noexcept {
    if (prefix_a != prefix_b) return prefix_a < prefix_b ? -1 : 1;
    if (a.size() >= 8 && b.size() >= 8) return a.substr(8).compare(b.substr(8));  // the first eight are equal
    return a.compare(b);
}

std::vector<Unigram> read_unigrams(Reader& r, std::uint64_t pos, std::uint32_t count) {
    std::vector<Unigram> out;
    out.reserve(std::min<std::uint64_t>(count, kMaxReserved));
    for (std::uint32_t n = 0; n < count && r; ++n) {
        const Key key = r.counted_key(pos);
        const std::uint16_t candidates = r.u16(pos);
        pos += 2;
        if (candidates == 0) continue;  // a record without candidates adds nothing
        const Span value = r.counted_str(pos);
        pos = r.advance(pos, 4);  // the weight, not used
        for (std::uint16_t k = 1; k < candidates && r; ++k) {
            r.counted_str(pos);  // read past, its UTF-8 checked
            pos = r.advance(pos, 4);
        }
        if (r) out.push_back({key, value});
    }
    return out;
}

std::vector<Bigram> read_bigrams(Reader& r, std::uint64_t pos, std::uint32_t count) {
    std::vector<Bigram> out;
    out.reserve(std::min<std::uint64_t>(count, kMaxReserved));
    for (std::uint32_t n = 0; n < count && r; ++n) {
        const Key first = r.counted_key(pos);
        const Key second = r.counted_key(pos);
        const Span third = r.counted_str(pos);
        if (r) out.push_back({first, second, third});
    }
    return out;
}

// Sorts by `less`, keeping file order among equals, then keeps the first of
// each run of equals. The builder writes its records in order, so the sort
// usually finds nothing to do.
template <class T, class Less>
void sort_keep_first(std::vector<T>& items, Less less) {
    if (!std::is_sorted(items.begin(), items.end(), less)) std::stable_sort(items.begin(), items.end(), less);
    auto equal = [&](const T& a, const T& b) { return !less(a, b) && !less(b, a); };
    items.erase(std::unique(items.begin(), items.end(), equal), items.end());
}

// ---- Finding the file -------------------------------------------------------

void write_stderr_line(std::string line) {
    line += '\n';
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

// The `data` directory beside the file this code was loaded from (the
// extension module), made absolute against the working directory of the
// first load when the loader was given a relative path.
std::optional<std::string> module_data_dir() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&module_data_dir), &info) == 0 || info.dli_fname == nullptr) {
        return std::nullopt;
    }
    std::string file = info.dli_fname;
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos) return std::nullopt;  // the main program, named without a directory
    std::string dir = file.substr(0, slash);
    if (dir.empty() || dir.front() != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) == nullptr) return std::nullopt;
        dir = join_path(cwd, dir);
    }
    return join_path(dir, "data");
}

enum class ReadStatus : std::uint8_t { Read, Unreadable, TooLarge };

struct FileRead {
    ReadStatus status = ReadStatus::Unreadable;
    std::string bytes;
    std::uint64_t size = 0;
};

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const noexcept { return fd_; }

private:
    int fd_;
};

// Reads a whole regular file. Anything else (a directory, a FIFO, a device)
// is unreadable: opening is non-blocking, so a FIFO without a writer cannot
// hang the process, and its type refuses it before the first read.
FileRead read_regular_file(const std::string& path) {
    FileRead result;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return result;
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return result;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > kMaxDictBytes) {
        result.status = ReadStatus::TooLarge;
        result.size = size;
        return result;
    }
    // The file may change while it is read: read to its end, whatever the
    // size said, but never past the limit.
    std::string& bytes = result.bytes;
    bytes.resize(static_cast<std::size_t>(size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > kMaxDictBytes) {
                result.status = ReadStatus::TooLarge;
                result.size = bytes.size();
                result.bytes.clear();
                return result;
            }
            bytes.resize(std::min<std::size_t>(bytes.size() * 2, kMaxDictBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return result;
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    result.status = ReadStatus::Read;
    return result;
}

// ---- The once-loaded cells --------------------------------------------------

struct DictCell {
    std::once_flag once;
    // Set once, never freed: threads may read a dictionary up to the very
    // end of the process, after static destructors have run.
    std::atomic<const DictLoad*> load{nullptr};
};

constinit DictCell arabic_cell;
constinit DictCell hebrew_cell;
constinit DictCell persian_cell;

const DictLoad& cell_load(DictCell& cell, std::string_view lang, BlockingRunner run_blocking) {
    if (const DictLoad* done = cell.load.load(std::memory_order_acquire)) return *done;
    struct Job {
        DictCell* cell;
        std::string_view lang;
    } job{&cell, lang};
    auto work = [](void* arg) {
        auto* j = static_cast<Job*>(arg);
        std::call_once(j->cell->once, [j] {
            j->cell->load.store(new DictLoad(load_dict(j->lang)), std::memory_order_release);
        });
    };
    if (run_blocking != nullptr) {
        run_blocking(work, &job);
    } else {
        work(&job);
    }
    const DictLoad* done = cell.load.load(std::memory_order_acquire);
    KELRAD_ASSERT(done != nullptr, "context dictionary cell filled");
    return *done;
}

constexpr std::size_t kMissing = static_cast<std::size_t>(-1);

// The first index in prefixes[first, first + count) whose prefix is not
// below `prefix`. Branch-free: the probes do not depend on guesses.
std::size_t lower_bound_prefix(const std::vector<std::uint64_t>& prefixes, std::size_t first, std::size_t count,
                               std::uint64_t prefix) noexcept {
    if (count == 0) return first;
    const std::uint64_t* base = prefixes.data() + first;
    while (count > 1) {
        const std::size_t half = count / 2;
        base = base[half - 1] < prefix ? base + half : base;
        count -= half;
    }
    return static_cast<std::size_t>(base - prefixes.data()) + (*base < prefix ? 1 : 0);
}

// The index in [first, first + count) of the entry whose key is `key`, or
// kMissing. Equal prefixes are resolved by the keys' bytes after the
// prefix; `key_at(i)` gives the key of entry i.
template <class KeyAt>
std::size_t find_key(const std::vector<std::uint64_t>& prefixes, std::size_t first, std::size_t count,
                     std::string_view key, KeyAt key_at) noexcept {
    const std::uint64_t prefix = key_prefix(key);
    const std::size_t end = first + count;
    std::size_t lo = lower_bound_prefix(prefixes, first, count, prefix);
    if (lo == end || prefixes[lo] != prefix) return kMissing;
    std::size_t hi = lo + 1;
    if (hi < end && prefixes[hi] == prefix) {
        // Several keys share the prefix: the first of them not below `key`.
        hi = lower_bound_prefix(prefixes, hi, end - hi, prefix + 1);  // prefix < 2^64 - 1 here
        for (std::size_t n = hi - lo; n > 0;) {
            const std::size_t half = n / 2;
            if (compare_keys(prefix, key_at(lo + half), prefix, key) < 0) {
                lo += half + 1;
                n -= half + 1;
            } else {
                n = half;
            }
        }
    }
    if (lo == hi) return kMissing;
    // With equal prefixes, keys of equal length up to eight bytes are equal:
    // the bytes in the dictionary need not be read.
    const std::string_view found = key_at(lo);
    return found.size() == key.size() && (key.size() <= 8 || found == key) ? lo : kMissing;
}

}  // namespace

std::uint64_t key_prefix(std::string_view key) noexcept {
    unsigned char bytes[8] = {};
    if (!key.empty()) std::memcpy(bytes, key.data(), std::min<std::size_t>(key.size(), 8));
    std::uint64_t prefix;
    std::memcpy(&prefix, bytes, 8);
    return std::endian::native == std::endian::little ? std::byteswap(prefix) : prefix;
}

std::optional<std::string_view> ContextDict::unigram(std::string_view key) const noexcept {
    const std::size_t i = find_key(index_.unigram_prefixes, 0, index_.unigrams.size(), key,
                                   [this](std::size_t k) { return text(index_.unigrams[k].key); });
    if (i == kMissing) return std::nullopt;
    return text(index_.unigrams[i].value);
}

std::optional<std::string_view> ContextDict::bigram(std::string_view previous, std::string_view key) const noexcept {
    const std::size_t g = find_key(index_.group_prefixes, 0, index_.groups.size(), previous,
                                   [this](std::size_t k) { return text(index_.groups[k].first); });
    if (g == kMissing) return std::nullopt;
    const BigramGroup& group = index_.groups[g];
    const std::size_t i = find_key(index_.pair_prefixes, group.start, group.count, key,
                                   [this](std::size_t k) { return text(index_.pairs[k].second); });
    if (i == kMissing) return std::nullopt;
    return text(index_.pairs[i].third);
}

std::expected<ContextDict, std::string> parse_dict(std::string bytes) {
    if (bytes.size() < kHeaderSize) return std::unexpected("Dictionary too small");
    Reader r(bytes);
    const std::uint32_t magic = r.u32(0), version = r.u32(4);
    const std::uint32_t unigram_count = r.u32(8), bigram_count = r.u32(12);
    const std::uint32_t unigram_offset = r.u32(16), bigram_offset = r.u32(20);
    if (magic != kMagic) return std::unexpected("Invalid dictionary magic");
    if (version != kVersion) return std::unexpected("Unsupported dictionary version: " + std::to_string(version));
    if (unigram_offset < kHeaderSize || bigram_offset < kHeaderSize) {
        return std::unexpected("Dictionary section offset overlaps header");
    }

    std::vector<Unigram> unigrams = read_unigrams(r, unigram_offset, unigram_count);
    std::vector<Bigram> bigrams;
    if (r) bigrams = read_bigrams(r, bigram_offset, bigram_count);
    if (!r) return std::unexpected(r.take_reason());

    auto text = [&](Span s) { return std::string_view(bytes.data() + s.offset, s.length); };
    auto compare = [&](const Key& a, const Key& b) {
        return compare_keys(a.prefix, text(a.span), b.prefix, text(b.span));
    };
    sort_keep_first(unigrams, [&](const Unigram& a, const Unigram& b) { return compare(a.key, b.key) < 0; });
    sort_keep_first(bigrams, [&](const Bigram& a, const Bigram& b) {
        const int c = compare(a.first, b.first);
        return c != 0 ? c < 0 : compare(a.second, b.second) < 0;
    });

    ContextDict::Index index;
    index.unigrams.reserve(unigrams.size());
    index.unigram_prefixes.reserve(unigrams.size());
    for (const Unigram& u : unigrams) {
        index.unigrams.push_back({u.key.span, u.value});
        index.unigram_prefixes.push_back(u.key.prefix);
    }
    unigrams = {};
    index.pairs.reserve(bigrams.size());
    index.pair_prefixes.reserve(bigrams.size());
    for (std::size_t i = 0; i < bigrams.size();) {
        std::size_t j = i + 1;
        while (j < bigrams.size() && compare(bigrams[j].first, bigrams[i].first) == 0) ++j;
        if (index.pairs.size() > kU32Max) return std::unexpected("bigram index exceeds u32");
        if (j - i > kU32Max) return std::unexpected("bigram group exceeds u32");
        index.groups.push_back({bigrams[i].first.span, static_cast<std::uint32_t>(index.pairs.size()),
                                static_cast<std::uint32_t>(j - i)});
        index.group_prefixes.push_back(bigrams[i].first.prefix);
        for (std::size_t k = i; k < j; ++k) {
            index.pairs.push_back({bigrams[k].second.span, bigrams[k].third});
            index.pair_prefixes.push_back(bigrams[k].second.prefix);
        }
        i = j;
    }
    return ContextDict(std::move(bytes), std::move(index));
}

DictLoad load_dict(std::string_view lang) {
    const std::string file_name = std::string(lang) + "_dict.bin";
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("KELRAD_DICT_DIR")) {
        const std::string_view dir = env;
        if (dir.empty() || dir.front() != '/') {
            write_stderr_line("kelrad: ignoring relative KELRAD_DICT_DIR=" + debug_form(dir) +
                              "; an absolute path is required (no CWD-relative dictionary loading).");
        } else {
            candidates.push_back(join_path(dir, file_name));
        }
    }
    if (std::optional<std::string> dir = module_data_dir()) candidates.push_back(join_path(*dir, file_name));

    for (const std::string& path : candidates) {
        FileRead file = read_regular_file(path);
        if (file.status == ReadStatus::Unreadable) continue;
        std::string reason;
        if (file.status == ReadStatus::TooLarge) {
            reason = "Dictionary too large: " + std::to_string(file.size) + " bytes (maximum " +
                     std::to_string(kMaxDictBytes) + ")";
        } else {
            auto dict = parse_dict(std::move(file.bytes));
            if (dict) return DictLoad(std::in_place_type<ContextDict>, std::move(*dict));
            reason = std::move(dict.error());
        }
        const std::string shown = lossy_text(path);
        write_stderr_line("kelrad: failed to load " + std::string(lang) + " dict from " + shown + ": " + reason);
        return Corrupt{std::string(lang) + " dictionary at " + shown + " is corrupt: " + reason};
    }
    return NotFound{};
}

const DictLoad& arabic_dict(BlockingRunner run_blocking) { return cell_load(arabic_cell, "arabic", run_blocking); }
const DictLoad& hebrew_dict(BlockingRunner run_blocking) { return cell_load(hebrew_cell, "hebrew", run_blocking); }
const DictLoad& persian_dict(BlockingRunner run_blocking) { return cell_load(persian_cell, "persian", run_blocking); }

}  // namespace kelrad::context
