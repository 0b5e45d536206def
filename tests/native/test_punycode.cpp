#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "security/punycode.hpp"
#include "testing.hpp"

using namespace kelrad;
using punycode::DecodeError;

namespace {

// An independent RFC 3492 encoder (section 6.3) in 64-bit arithmetic, so that
// it also writes what no valid input gives: code points beyond U+10FFFF,
// surrogates, integers beyond 32 bits.
void append_integer(std::string& out, std::uint64_t q, std::uint64_t bias) {
    auto digit = [](std::uint64_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26); };
    for (std::uint64_t k = 36;; k += 36) {
        std::uint64_t t = k <= bias ? 1 : k >= bias + 26 ? 26 : k - bias;
        if (q < t) return out.push_back(digit(q));
        out.push_back(digit(t + (q - t) % (36 - t)));
        q = (q - t) / (36 - t);
    }
}

std::string encode(std::u32string_view input) {
    std::string out;
    std::ranges::copy_if(input, std::back_inserter(out), [](char32_t c) { return c < 0x80; });
    std::uint64_t b = out.size(), h = b, n = 0x80, delta = 0, bias = 72;
    if (b > 0) out.push_back('-');
    for (; h < input.size(); ++delta, ++n) {
        std::uint64_t m = UINT64_MAX;
        for (char32_t c : input) m = c >= n ? std::min<std::uint64_t>(m, c) : m;
        delta += (m - n) * (h + 1);
        n = m;
        for (char32_t c : input) {
            delta += c < n;
            if (c != n) continue;
            append_integer(out, delta, bias);
            delta = h == b ? delta / 700 : delta / 2;  // adapt, RFC 3492 section 6.1
            delta += delta / ++h;
            for (bias = 0; delta > 455; bias += 36) delta /= 35;
            bias += 36 * delta / (delta + 38);
            delta = 0;
        }
    }
    return out;
}

std::string decoded(std::string_view input) {
    std::string out = "kept";
    auto r = punycode::decode(input, out);
    return r ? out.substr(4) : out == "kept" ? "<error " + std::to_string(int(r.error())) + ">" : "<error, wrote>";
}

std::string error(DecodeError e) { return "<error " + std::to_string(int(e)) + ">"; }

}  // namespace

TEST(punycode_decodes_and_refuses) {
    std::string big, near_max;
    append_integer(big, std::uint64_t{1} << 32, 72);
    append_integer(near_max, 0xFFFFFFF0u, 72);  // i fits, n + i does not
    struct Case {
        std::string input, want;
    };
    const Case cases[] = {
        // RFC 3492, section 7.1 (B, L, J, A, and the basic-only sample)
        {"ihqwcrb4cv8a8dqg056pqjye", "他们为什么不说中文"},
        {"3B-ww4c5e180e575a65lsy2b", "3年B組金八先生"},
        {"PorqunopuedensimplementehablarenEspaol-fmd56a", "PorquénopuedensimplementehablarenEspañol"},
        {"egbpdaj6bu4bxfgehfvwxn", "ليهمابتكلموشعربي؟"},
        {"-> $1.00 <--", "-> $1.00 <-"},
        {"IHQWCRB4CV8A8DQG056PQJYE", "他们为什么不说中文"},  // digits are case-insensitive
        {"", ""},
        {"abc-", "abc"},
        {encode(U"a\uD7FF\uE000\U0010FFFF"), testing::u8(U"a\uD7FF\uE000\U0010FFFF")},
        {"-", error(DecodeError::BadDigit)},  // a leading delimiter is not consumed
        {"abc-de!", error(DecodeError::BadDigit)},
        {"abc-d\xC3\xA9", error(DecodeError::BadDigit)},
        {"\xC3\xA9-abc", error(DecodeError::NonBasic)},
        {"b", error(DecodeError::Truncated)},  // 1 is not below the first threshold
        {"a-99", error(DecodeError::Truncated)},
        {"99999999999", error(DecodeError::Overflow)},
        {big, error(DecodeError::Overflow)},
        {near_max, error(DecodeError::Overflow)},
        {encode(std::u32string{U'a', char32_t{0x110000}}), error(DecodeError::InvalidCodePoint)},
        {encode(std::u32string{U'a', char32_t{0xD800}}), error(DecodeError::InvalidCodePoint)},
        {encode(std::u32string{char32_t{0xDFFF}, U'z'}), error(DecodeError::InvalidCodePoint)},
    };
    for (const auto& c : cases) CHECK_EQ(decoded(c.input), c.want);
}

TEST(punycode_long_interleaved_label) {
    // 1,000,000 code points in which every U+0101 goes in front of a U+0100
    // already placed: inserting into an array would move 10^11 elements.
    std::u32string text;
    for (int i = 0; i < 500000; ++i) text += U"\u0101\u0100";
    CHECK(decoded(encode(text)) == testing::u8(text));
    text.insert(text.begin() + 250000, U'x');
    CHECK(decoded(encode(text)) == testing::u8(text));
}
