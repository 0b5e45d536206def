#include <random>
#include <string>
#include <string_view>

#include "testing.hpp"
#include "text/charset_detector.hpp"
#include "text/decoders.hpp"
#include "text/encoding.hpp"

using namespace kelrad;
using tables::Encoding;

namespace {

std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        out += ' ';
    }
    return out;
}

// Random bytes weighted towards what the decoders branch on: lead bytes,
// ASCII runs long enough for the word-at-a-time paths, escapes, surrogates.
std::string random_bytes(std::mt19937& rng) {
    static constexpr std::string_view kTokens[] = {"\x1b$B", "\x1b(B", "\x1b(J", "\x1b(I", "\xd8\x3d", "\xdc\x00",
                                                   "\xf0\x9f\x98\x80", "\xe6\x97\xa5", "\xc3\xa9",
                                                   "plain ascii text"};
    std::string s;
    std::size_t n = rng() % 48;
    while (s.size() < n) {
        switch (rng() % 4) {
            case 0: s += static_cast<char>(rng() % 256); break;
            case 1: s += static_cast<char>(0x80 + rng() % 128); break;
            case 2: s += static_cast<char>(0x21 + rng() % 0x5E); break;
            default: s += kTokens[rng() % std::size(kTokens)];
        }
    }
    return s;
}

std::string to_utf8(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF) c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        utf8::append(out, c);
    }
    return out;
}

// Well-formedness the plain way: decode each sequence by Table 3-7.
decoders::Utf8Check plain_check_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        unsigned need = b < 0x80                 ? 0
                        : b >= 0xC2 && b <= 0xDF ? 1
                        : b >= 0xE0 && b <= 0xEF ? 2
                        : b >= 0xF0 && b <= 0xF4 ? 3
                                                 : 9;
        if (need == 9) return {i, false};
        unsigned lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80, hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        for (unsigned k = 1; k <= need; ++k) {
            if (i + k == s.size()) return {i, true};
            auto c = static_cast<unsigned char>(s[i + k]);
            if (c < lo || c > hi) return {i, false};
            lo = 0x80, hi = 0xBF;
        }
        i += need + 1;
    }
    return {i, false};
}

}  // namespace

TEST(uchardet_names_map_to_encodings_of_the_standard) {
    // Every charset name uchardet 0.0.7 can answer, and no answer.
    const std::pair<std::string_view, Encoding> names[] = {
        {"ASCII", Encoding::windows_1252},        {"BIG5", Encoding::Big5},
        {"EUC-JP", Encoding::EUC_JP},             {"EUC-KR", Encoding::EUC_KR},
        {"EUC-TW", Encoding::GBK},                {"GB18030", Encoding::gb18030},
        {"HZ-GB-2312", Encoding::windows_1252},   {"IBM852", Encoding::windows_1252},
        {"IBM855", Encoding::windows_1252},       {"IBM866", Encoding::IBM866},
        {"ISO-2022-CN", Encoding::windows_1252},  {"ISO-2022-JP", Encoding::ISO_2022_JP},
        {"ISO-2022-KR", Encoding::windows_1252},  {"ISO-8859-1", Encoding::windows_1252},
        {"ISO-8859-2", Encoding::ISO_8859_2},     {"ISO-8859-3", Encoding::ISO_8859_3},
        {"ISO-8859-4", Encoding::ISO_8859_4},     {"ISO-8859-5", Encoding::ISO_8859_5},
        {"ISO-8859-6", Encoding::ISO_8859_6},     {"ISO-8859-7", Encoding::ISO_8859_7},
        {"ISO-8859-8", Encoding::ISO_8859_8},     {"ISO-8859-9", Encoding::windows_1254},
        {"ISO-8859-10", Encoding::ISO_8859_10},   {"ISO-8859-11", Encoding::windows_874},
        {"ISO-8859-13", Encoding::ISO_8859_13},   {"ISO-8859-15", Encoding::ISO_8859_15},
        {"ISO-8859-16", Encoding::ISO_8859_16},   {"KOI8-R", Encoding::KOI8_R},
        {"MAC-CENTRALEUROPE", Encoding::windows_1252}, {"MAC-CYRILLIC", Encoding::x_mac_cyrillic},
        {"SHIFT_JIS", Encoding::Shift_JIS},       {"TIS-620", Encoding::windows_874},
        {"UHC", Encoding::EUC_KR},                {"UTF-16", Encoding::windows_1252},
        {"UTF-32", Encoding::windows_1252},       {"UTF-8", Encoding::UTF_8},
        {"VISCII", Encoding::windows_1252},       {"WINDOWS-1250", Encoding::windows_1250},
        {"WINDOWS-1251", Encoding::windows_1251}, {"WINDOWS-1252", Encoding::windows_1252},
        {"WINDOWS-1253", Encoding::windows_1253}, {"WINDOWS-1255", Encoding::windows_1255},
        {"WINDOWS-1256", Encoding::windows_1256}, {"WINDOWS-1257", Encoding::windows_1257},
        {"WINDOWS-1258", Encoding::windows_1258}, {"", Encoding::windows_1252},
    };
    CHECK_EQ(std::size(names), 46u);
    for (auto [name, expected] : names) {
        Encoding got = charset_detector::from_uchardet_name(name);
        if (got != expected) std::cerr << "  " << name << " -> " << decoders::name(got) << "\n";
        CHECK(got == expected);
    }
}

TEST(utf8_check_matches_the_plain_walk_on_random_bytes) {
    std::mt19937 rng(3);
    for (int round = 0; round < 20000; ++round) {
        // Long ASCII stretches reach the sixteen-byte skip and block edges.
        std::string s = std::string(rng() % 40, 'a') + random_bytes(rng) + std::string(rng() % 20, 'b');
        if (rng() % 2) s += random_bytes(rng);
        decoders::Utf8Check fast = decoders::check_utf8(s), plain = plain_check_utf8(s);
        if (fast.valid_up_to != plain.valid_up_to || fast.truncated != plain.truncated) {
            CHECK_EQ(hex(s), std::string("valid_up_to ") + std::to_string(plain.valid_up_to));
            break;
        }
    }
}

TEST(utf8_utf16_and_utf32_output_agree_for_every_encoding) {
    std::mt19937 rng(5);
    for (std::size_t e = 0; e < tables::ENCODING_COUNT; ++e) {
        auto encoding = static_cast<Encoding>(e);
        for (int round = 0; round < 2000; ++round) {
            std::string s = random_bytes(rng), u8;
            std::u16string u16;
            std::u32string u32;
            bool errors8 = decoders::decode(encoding, s, u8), errors16 = decoders::decode(encoding, s, u16);
            bool errors32 = decoders::decode(encoding, s, u32);
            bool clean = decoders::decodes_without_error(encoding, s);
            if (u8 != to_utf8(u16) || u8 != testing::u8(u32) || errors8 != errors16 || errors8 != errors32 ||
                clean == errors8 || u8.size() > 3 * s.size() || u16.size() > s.size()) {
                CHECK_EQ(std::string(decoders::name(encoding)) + ": " + hex(s), std::string("agreement"));
                break;
            }
        }
    }
}

TEST(decode_to_utf8_applies_the_strict_flag_after_byte_order_marks) {
    auto lossy = encoding::decode_to_utf8("\xFE\xFF\xD8\x00", std::nullopt, 0.95, true);
    CHECK(!lossy && error::message(lossy.error()).starts_with("decoding as 'UTF-16BE' replaced"));
    auto text = encoding::decode_to_utf8("\xEF\xBB\xBF\xE6\x97\xA5", "utf-8", 0.0, true);
    CHECK(text && text->text == "\xE6\x97\xA5" && !text->had_errors);
}
