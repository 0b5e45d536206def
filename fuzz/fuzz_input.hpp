// Shared pieces of the libFuzzer targets.
//
// The core takes well-formed UTF-8 only (the binding layer guarantees it), so a
// target turns the fuzzer's bytes into UTF-8 first: well-formed sequences stay,
// every maximal ill-formed subpart becomes U+FFFD (Unicode 16.0, section 3.9,
// "U+FFFD Substitution of Maximal Subparts"). Mutations of a valid seed thus stay
// mostly valid. Options are read with libFuzzer's FuzzedDataProvider (numbers
// and flags from the end of the input, short texts from the front); the text is
// what remains.
//
// A target states invariants with FUZZ_CHECK; a violation aborts with the
// message, which libFuzzer reports as a crash with the input that caused it. An
// internal failure of the core (kelrad::Panic) is not caught: it is a finding too.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzz {

// The sequence at s[i]: its length and whether it is well formed. An ill-formed
// one is its maximal subpart, the longest prefix of a well-formed sequence (at
// least one byte). Table 3-7 of the Unicode Standard: no overlongs, no
// surrogates, nothing above U+10FFFF.
struct Sequence {
    std::size_t len;
    bool valid;
};

inline Sequence sequence_at(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    unsigned b0 = byte(i), lo = 0x80, hi = 0xBF;
    std::size_t need;
    if (b0 < 0x80) return {1, true};
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3;
        lo = b0 == 0xE0 ? 0xA0 : 0x80;
        hi = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4;
        lo = b0 == 0xF0 ? 0x90 : 0x80;
        hi = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {1, false};
    }
    std::size_t k = 1;
    if (byte(i + 1) >= lo && byte(i + 1) <= hi) {
        for (k = 2; k < need && byte(i + k) >= 0x80 && byte(i + k) <= 0xBF;) ++k;
    }
    return {k, k == need};
}

inline bool is_valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        Sequence q = sequence_at(s, i);
        if (!q.valid) return false;
        i += q.len;
    }
    return true;
}

// `bytes` as UTF-8, each maximal ill-formed subpart replaced by U+FFFD.
inline std::string to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        Sequence q = sequence_at(bytes, i);
        out.append(q.valid ? bytes.substr(i, q.len) : std::string_view("\xEF\xBF\xBD"));
        i += q.len;
    }
    return out;
}

inline std::size_t char_count(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// Reads options and texts off the front of the input.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : provider_(data, size) {}

    bool flag() { return provider_.ConsumeBool(); }
    template <typename T>
    T number(T lo, T hi) { return provider_.ConsumeIntegralInRange<T>(lo, hi); }
    template <typename T, std::size_t N>
    T pick(const T (&values)[N]) { return provider_.PickValueInArray(values); }
    // A short text (options, patterns, separators) of up to `max_bytes` bytes; in the input it ends where a
    // backslash is followed by another byte, and two backslashes stand for one (FuzzedDataProvider's
    // random-length string).
    std::string text(std::size_t max_bytes) { return to_utf8(provider_.ConsumeRandomLengthString(max_bytes)); }
    std::string rest() { return to_utf8(provider_.ConsumeRemainingBytesAsString()); }

private:
    FuzzedDataProvider provider_;
};

}  // namespace fuzz
