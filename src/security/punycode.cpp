#include "security/punycode.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <limits>
#include <memory_resource>
#include <vector>

#include "util/utf8.hpp"

namespace kelrad::punycode {
namespace {

// The Punycode parameters of RFC 3492, section 5.
constexpr std::uint32_t kBase = 36;
constexpr std::uint32_t kTMin = 1;
constexpr std::uint32_t kTMax = 26;
constexpr std::uint32_t kSkew = 38;
constexpr std::uint32_t kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr std::uint32_t kInitialN = 0x80;
constexpr std::uint32_t kMaxInt = std::numeric_limits<std::uint32_t>::max();

// a-z and A-Z are 0-25, 0-9 are 26-35; anything else is not a digit (kBase).
constexpr std::uint32_t digit_value(unsigned char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0' + 26;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return (c | 0x20) - 'a';
    return kBase;
}

// Bias adaptation, RFC 3492 section 6.1. No step can overflow: delta is at
// most 2^32 - 1 and is halved (or divided by kDamp) before anything is added.
std::uint32_t adapt(std::uint32_t delta, std::uint32_t num_points, bool first_time) noexcept {
    delta = first_time ? delta / kDamp : delta / 2;
    delta += delta / num_points;
    std::uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

// The free slots of the output array, with "take the k-th free slot" in
// O(log n): a Fenwick tree of 0/1 counts, searched by binary lifting.
class FreeSlots {
public:
    FreeSlots(std::size_t n, std::pmr::memory_resource* memory) : tree_(n + 1, 0, memory) {
        // Every slot starts free; the tree of all ones is built in O(n).
        for (std::size_t i = 1; i <= n; ++i) {
            tree_[i] += 1;
            std::size_t parent = i + (i & -i);
            if (parent <= n) tree_[parent] += tree_[i];
        }
    }

    // Marks the free slot with k free slots before it as taken; returns it.
    std::size_t take(std::uint32_t k) noexcept {
        std::size_t n = tree_.size() - 1;
        std::size_t pos = 0;
        for (std::size_t step = std::bit_floor(n); step > 0; step >>= 1) {
            if (pos + step <= n && tree_[pos + step] <= k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        for (std::size_t i = pos + 1; i <= n; i += i & -i) tree_[i] -= 1;
        return pos;
    }

private:
    std::pmr::vector<std::uint32_t> tree_;
};

struct Insertion {
    std::uint32_t index;  // where the code point went in the array as it was then
    char32_t cp;
};

}  // namespace

std::expected<void, DecodeError> decode(std::string_view input, std::string& out) {
    if (input.size() >= kMaxInt) return std::unexpected(DecodeError::Overflow);

    // The basic code points are those before the last delimiter; when there
    // are none, a delimiter at the start is not consumed (it is then a bad
    // digit).
    std::size_t delimiter = input.rfind('-');
    std::size_t basic_len = delimiter == std::string_view::npos ? 0 : delimiter;
    for (std::size_t i = 0; i < basic_len; ++i) {
        if (static_cast<unsigned char>(input[i]) >= 0x80) return std::unexpected(DecodeError::NonBasic);
    }

    // Host-name labels are short: their working arrays fit on the stack.
    std::array<std::byte, 2048> stack_memory;
    std::pmr::monotonic_buffer_resource memory(stack_memory.data(), stack_memory.size());

    // Decode the insertions of RFC 3492, section 6.2, without an array.
    std::size_t extended_start = basic_len > 0 ? basic_len + 1 : 0;
    std::pmr::vector<Insertion> insertions(&memory);
    insertions.reserve(input.size() - extended_start);  // each takes at least one digit
    std::uint32_t n = kInitialN, i = 0, bias = kInitialBias;
    auto length = static_cast<std::uint32_t>(basic_len);
    for (std::size_t pos = extended_start; pos < input.size();) {
        std::uint32_t old_i = i, w = 1;
        for (std::uint32_t k = kBase;; k += kBase) {
            if (pos == input.size()) return std::unexpected(DecodeError::Truncated);
            std::uint32_t digit = digit_value(static_cast<unsigned char>(input[pos++]));
            if (digit >= kBase) return std::unexpected(DecodeError::BadDigit);
            if (digit > (kMaxInt - i) / w) return std::unexpected(DecodeError::Overflow);
            i += digit * w;
            std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
            if (digit < t) break;
            if (w > kMaxInt / (kBase - t)) return std::unexpected(DecodeError::Overflow);
            w *= kBase - t;
        }
        ++length;
        bias = adapt(i - old_i, length, old_i == 0);
        if (i / length > kMaxInt - n) return std::unexpected(DecodeError::Overflow);
        n += i / length;
        i %= length;
        if (n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return std::unexpected(DecodeError::InvalidCodePoint);
        insertions.push_back({i, n});
        ++i;
    }

    std::string_view basic = input.substr(0, basic_len);
    if (insertions.empty()) {
        out.append(basic);
        return {};
    }

    // Place the insertions from the last to the first, then let the basic
    // code points fill the slots left free, in order. No insertion is below
    // U+0080, so 0 marks a free slot.
    std::pmr::vector<char32_t> cps(length, 0, &memory);
    FreeSlots free(length, &memory);
    for (auto it = insertions.rbegin(); it != insertions.rend(); ++it) cps[free.take(it->index)] = it->cp;
    std::size_t next_basic = 0;
    for (char32_t& cp : cps) {
        if (cp == 0) cp = static_cast<unsigned char>(basic[next_basic++]);
        utf8::append(out, cp);
    }
    return {};
}

}  // namespace kelrad::punycode
