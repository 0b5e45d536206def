#include <algorithm>
#include <cstdint>
#include <string>

#include "security/punycode.hpp"
#include "testing.hpp"

using namespace kelrad;
using punycode::DecodeError;

namespace {

// An independent RFC 3492 encoder (section 6.3) in 64-bit arithmetic, so that
// it can also write what no valid input gives: code points beyond U+10FFFF,
// surrogates, deltas beyond 32 bits.
char digit_char(std::uint64_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26); }

std::uint64_t adapt(std::uint64_t delta, std::uint64_t points, bool first) {
    delta = first ? delta / 700 : delta / 2;
    delta += delta / points;
    std::uint64_t k = 0;
    for (; delta > 455; k += 36) delta /= 35;
    return k + 36 * delta / (delta + 38);
}

void append_integer(std::string& out, std::uint64_t q, std::uint64_t bias) {
    for (std::uint64_t k = 36;; k += 36) {
        std::uint64_t t = k <= bias ? 1 : k >= bias + 26 ? 26 : k - bias;
        if (q < t) break;
        out.push_back(digit_char(t + (q - t) % (36 - t)));
        q = (q - t) / (36 - t);
    }
    out.push_back(digit_char(q));
}

std::string encode(std::u32string_view input) {
    std::string out;
    for (char32_t c : input) {
        if (c < 0x80) out.push_back(static_cast<char>(c));
    }
    std::uint64_t b = out.size(), h = b, n = 0x80, delta = 0, bias = 72;
    if (b > 0) out.push_back('-');
    while (h < input.size()) {
        std::uint64_t m = UINT64_MAX;
        for (char32_t c : input) {
            if (c >= n) m = std::min<std::uint64_t>(m, c);
        }
        delta += (m - n) * (h + 1);
        n = m;
        for (char32_t c : input) {
            if (c < n) ++delta;
            if (c != n) continue;
            append_integer(out, delta, bias);
            bias = adapt(delta, h + 1, h == b);
            delta = 0;
            ++h;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::string decoded(std::string_view input) {
    std::string out;
    auto r = punycode::decode(input, out);
    return r ? out : "<error>";
}

DecodeError error_of(std::string_view input) {
    std::string out = "kept";
    auto r = punycode::decode(input, out);
    CHECK(!r);
    CHECK_EQ(out, "kept");
    return r ? DecodeError::NonBasic : r.error();
}

}  // namespace

TEST(punycode_decodes_rfc_samples) {
    // RFC 3492, section 7.1 (B, L, J, A) and the basic-only edge cases.
    CHECK_EQ(decoded("ihqwcrb4cv8a8dqg056pqjye"), "他们为什么不说中文");
    CHECK_EQ(decoded("3B-ww4c5e180e575a65lsy2b"), "3年B組金八先生");
    CHECK_EQ(decoded("PorqunopuedensimplementehablarenEspaol-fmd56a"), "PorquénopuedensimplementehablarenEspañol");
    CHECK_EQ(decoded("egbpdaj6bu4bxfgehfvwxn"), "ليهمابتكلموشعربي؟");
    CHECK_EQ(decoded("Hello-Another-Way--fc4qua05auwb3674vfr0b"), "Hello-Another-Way-それぞれの場所");
    CHECK_EQ(decoded("-> $1.00 <--"), "-> $1.00 <-");
    CHECK_EQ(decoded("IHQWCRB4CV8A8DQG056PQJYE"), "他们为什么不说中文");  // digits are case-insensitive
    CHECK_EQ(decoded(""), "");
    CHECK_EQ(decoded("abc-"), "abc");
}

TEST(punycode_refuses_malformed_input) {
    CHECK(error_of("-") == DecodeError::BadDigit);  // a leading delimiter is not consumed
    CHECK(error_of("abc-de!") == DecodeError::BadDigit);
    CHECK(error_of("abc-d\xC3\xA9") == DecodeError::BadDigit);
    CHECK(error_of("\xC3\xA9-abc") == DecodeError::NonBasic);
    CHECK(error_of("b") == DecodeError::Truncated);  // 1 is not below the first threshold
    CHECK(error_of("a-99") == DecodeError::Truncated);
    CHECK(error_of("99999999999") == DecodeError::Overflow);  // i overflows

    std::string big;
    append_integer(big, std::uint64_t{1} << 32, 72);
    CHECK(error_of(big) == DecodeError::Overflow);
    std::string near_max;
    append_integer(near_max, 0xFFFFFFF0u, 72);  // i fits, n + i does not
    CHECK(error_of(near_max) == DecodeError::Overflow);

    CHECK(error_of(encode(std::u32string{U'a', char32_t{0x110000}})) == DecodeError::InvalidCodePoint);
    CHECK(error_of(encode(std::u32string{U'a', char32_t{0xD800}})) == DecodeError::InvalidCodePoint);
    CHECK(error_of(encode(std::u32string{char32_t{0xDFFF}, U'z'})) == DecodeError::InvalidCodePoint);
    CHECK_EQ(decoded(encode(U"a\uD7FF\uE000\U0010FFFF")), testing::u8(U"a\uD7FF\uE000\U0010FFFF"));
}

TEST(punycode_long_interleaved_label) {
    // 1,000,000 code points in which every U+0101 goes in front of a U+0100
    // already placed: inserting into an array would move 10^11 elements.
    std::u32string text;
    for (int i = 0; i < 500000; ++i) text += U"\u0101\u0100";
    std::string want = testing::u8(text);
    CHECK(decoded(encode(text)) == want);

    text.insert(text.begin() + 250000, U'x');  // a basic code point among them
    CHECK(decoded(encode(text)) == testing::u8(text));
}
