// Immutable perfect-hash maps keyed by code point ("hash and displace").
//
// A map of n entries keeps them in an array of exactly n slots and a
// displacement pair per bucket, with about four keys per bucket. One 64-bit
// hash of the key gives three numbers: g picks the bucket, f1 and f2 with the
// bucket's displacement (d1, d2) pick the slot (f1 * d1 + f2 + d2) mod n. The
// builder chose the hash key and the displacements so that every key lands in
// a slot of its own, so a lookup is one hash, two array reads and one key
// comparison, whatever the key. Its two remainders are taken by
// multiplication (`Divisor`), which halves the cost of a lookup next to the
// processor's division.
//
// Large maps are laid out ahead of time by tools/gen/phf.py, which mirrors
// `hash` below bit for bit; small hand-written maps are laid out at compile
// time by `make_map`. Both give the same `Map` view.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelrad::phf {

struct Displacement {
    std::uint16_t d1;
    std::uint16_t d2;
};

template <class V>
struct Entry {
    char32_t key;
    V value;
};

struct Hashes {
    std::uint32_t g;   // bucket selector, 20 bits
    std::uint32_t f1;  // 22 bits
    std::uint32_t f2;  // 22 bits
};

// A multiply-xorshift mix of the code point with the map's hash key.
constexpr Hashes hash(char32_t c, std::uint64_t key) noexcept {
    std::uint64_t x = (static_cast<std::uint64_t>(c) ^ key) * 0x9E3779B97F4A7C15ULL;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 32;
    return {static_cast<std::uint32_t>(x >> 44), static_cast<std::uint32_t>(x >> 22) & 0x3FFFFFU,
            static_cast<std::uint32_t>(x) & 0x3FFFFFU};
}

// The hash key of the n-th layout attempt (tools/gen/phf.py has the same).
// A key with high bits set changes the hash of every code point; one that
// only flipped low bits would merely permute a dense run of keys.
constexpr std::uint64_t hash_key(std::uint64_t attempt) noexcept { return (attempt + 1) * 0x9E3779B97F4A7C15ULL; }

// The number a slot is the remainder of: below 2^22 * 2^16 + 2^22 + 2^16 < 2^39.
constexpr std::uint64_t slot_dividend(const Hashes& h, Displacement d) noexcept {
    return static_cast<std::uint64_t>(h.f1) * d.d1 + h.f2 + d.d2;
}

constexpr std::size_t slot_of(const Hashes& h, Displacement d, std::size_t n) noexcept {
    return static_cast<std::size_t>(slot_dividend(h, d) % n);
}

// Exact remainders by a fixed divisor d, by multiplication (Lemire, Kaser and
// Kurz, "Faster remainder by direct computation", 2019): with
// m = ceil(2^64 / d), a mod d is the high word of (m * a mod 2^64) * d for
// every a below 2^(64 - ceil(log2 d)). The divisors here are below 2^16 (the
// displacements are 16-bit, so are the sizes) and the dividends below 2^39.
class Divisor {
public:
    constexpr explicit Divisor(std::uint64_t d) noexcept : d_(d), m_(d == 0 ? 0 : ~std::uint64_t{0} / d + 1) {}

    constexpr std::uint64_t remainder(std::uint64_t a) const noexcept {
        __extension__ using Wide = unsigned __int128;
        return static_cast<std::uint64_t>((static_cast<Wide>(m_ * a) * d_) >> 64);
    }

private:
    std::uint64_t d_;
    std::uint64_t m_;
};

// A read-only view of a laid-out map.
template <class V>
struct Map {
    std::uint64_t key;
    std::span<const Displacement> displacements;
    std::span<const Entry<V>> entries;

    constexpr Map(std::uint64_t hash_key, std::span<const Displacement> buckets,
                  std::span<const Entry<V>> slots) noexcept
        : key(hash_key), displacements(buckets), entries(slots), buckets_(buckets.size()), slots_(slots.size()) {}

    // The value stored for c, or nullptr.
    constexpr const V* find(char32_t c) const noexcept {
        if (entries.empty()) return nullptr;
        const Hashes h = hash(c, key);
        const Displacement d = displacements[buckets_.remainder(h.g)];
        const Entry<V>& e = entries[slots_.remainder(slot_dividend(h, d))];
        return e.key == c ? &e.value : nullptr;
    }

    constexpr std::size_t size() const noexcept { return entries.size(); }

private:
    Divisor buckets_;
    Divisor slots_;
};

inline constexpr std::size_t kKeysPerBucket = 4;

constexpr std::size_t bucket_count(std::size_t n) noexcept {
    return n == 0 ? 1 : (n + kKeysPerBucket - 1) / kKeysPerBucket;
}

// The storage of a map laid out at compile time.
template <class V, std::size_t N>
struct StaticMap {
    std::uint64_t key = 0;
    std::array<Displacement, bucket_count(N)> displacements{};
    std::array<Entry<V>, N> entries{};

    constexpr Map<V> view() const noexcept { return {key, displacements, entries}; }
};

namespace detail {

// Tries one hash key; true when every bucket found a displacement.
template <class V, std::size_t N>
constexpr bool try_layout(const std::array<Entry<V>, N>& input, std::uint64_t key, StaticMap<V, N>& out) {
    constexpr std::size_t B = bucket_count(N);
    std::array<Hashes, N> hashes{};
    std::array<std::size_t, B> sizes{};
    std::array<std::size_t, B> order{};
    for (std::size_t i = 0; i < N; ++i) {
        hashes[i] = hash(input[i].key, key);
        ++sizes[hashes[i].g % B];
    }
    for (std::size_t b = 0; b < B; ++b) order[b] = b;
    // Largest buckets first, while the slots are still mostly free.
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return sizes[a] != sizes[b] ? sizes[a] > sizes[b] : a < b;
    });
    std::array<bool, N> taken{};
    std::array<std::size_t, N> members{};
    std::array<std::size_t, N> slots{};
    for (std::size_t b : order) {
        std::size_t m = 0;
        for (std::size_t i = 0; i < N; ++i) {
            if (hashes[i].g % B == b) members[m++] = i;
        }
        if (m == 0) continue;
        bool placed = false;
        for (std::size_t d1 = 0; d1 < N && !placed; ++d1) {
            for (std::size_t d2 = 0; d2 < N && !placed; ++d2) {
                const Displacement d{static_cast<std::uint16_t>(d1), static_cast<std::uint16_t>(d2)};
                bool ok = true;
                for (std::size_t j = 0; j < m && ok; ++j) {
                    slots[j] = slot_of(hashes[members[j]], d, N);
                    if (taken[slots[j]]) ok = false;
                    for (std::size_t k = 0; k < j && ok; ++k) ok = slots[k] != slots[j];
                }
                if (!ok) continue;
                for (std::size_t j = 0; j < m; ++j) {
                    taken[slots[j]] = true;
                    out.entries[slots[j]] = input[members[j]];
                }
                out.displacements[b] = d;
                placed = true;
            }
        }
        if (!placed) return false;
    }
    out.key = key;
    return true;
}

}  // namespace detail

// Lays out a map at compile time. Keys must be distinct; a duplicate key makes
// every layout fail, which stops compilation.
template <class V, std::size_t N>
consteval StaticMap<V, N> make_map(const std::array<Entry<V>, N>& input) {
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t j = i + 1; j < N; ++j) {
            if (input[i].key == input[j].key) throw "duplicate key in a perfect-hash map";
        }
    }
    for (std::uint64_t attempt = 0; attempt < 256; ++attempt) {
        StaticMap<V, N> out{};
        if (detail::try_layout(input, hash_key(attempt), out)) return out;
    }
    throw "no perfect-hash layout found";
}

}  // namespace kelrad::phf
