#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testing.hpp"
#include "translit/context.hpp"
#include "translit/context_dict.hpp"

using namespace kelrad;

namespace {

// A TRLD file, written field by field so that a case can break any of them.
class Trld {
public:
    Trld& u16(std::uint32_t v) {
        bytes_ += static_cast<char>(v & 0xFF);
        bytes_ += static_cast<char>((v >> 8) & 0xFF);
        return *this;
    }
    Trld& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Trld& str(std::string_view s) {
        u16(static_cast<std::uint32_t>(s.size()));
        bytes_ += s;
        return *this;
    }
    Trld& header(std::uint32_t unigrams, std::uint32_t bigrams, std::uint32_t uni_off, std::uint32_t bi_off) {
        bytes_ += "TRLD";
        return u32(1).u32(unigrams).u32(bigrams).u32(uni_off).u32(bi_off);
    }
    Trld& unigram(std::string_view key, std::string_view text, std::uint32_t weight = 1) {
        return str(key).u16(1).str(text).u32(weight);
    }
    Trld& bigram(std::string_view first, std::string_view second, std::string_view third) {
        return str(first).str(second).str(third);
    }
    std::size_t size() const { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// Arabic keys (unvowelled) and vowelled forms.
constexpr std::string_view kKtb = "\u0643\u062A\u0628", kWld = "\u0648\u0644\u062F", kQlm = "\u0642\u0644\u0645";
constexpr std::string_view kKutub = "\u0643\u064F\u062A\u064F\u0628";
constexpr std::string_view kKitab = "\u0643\u0650\u062A\u064E\u0627\u0628";
constexpr std::string_view kWalad = "\u0648\u064E\u0644\u064E\u062F";
constexpr std::string_view kWilid = "\u0648\u0650\u0644\u0650\u062F";
constexpr std::string_view kQalam = "\u0642\u064E\u0644\u064E\u0645";
constexpr std::string_view kKataba = "\u0643\u064E\u062A\u064E\u0628\u064E";
constexpr std::string_view kKutiba = "\u0643\u064F\u062A\u0650\u0628\u064E";
constexpr std::string_view kKatib = "\u0643\u064E\u0627\u062A\u0650\u0628";

// Three unigrams (one with a second candidate of higher weight, one given
// twice, one after a record without candidates) and three bigrams of which
// one repeats a pair.
std::string sample_file() {
    Trld unis;
    unis.unigram(kKtb, kKutub).str(kWld).u16(2).str(kWalad).u32(1).str(kWilid).u32(99);
    unis.str(kQlm).u16(0).unigram(kKtb, kKitab).unigram(kQlm, kQalam);
    Trld bis;
    bis.bigram(kWld, kKtb, kKataba).bigram(kWld, kKtb, kKutiba).bigram(kQlm, kKtb, kKatib);
    Trld file;
    file.header(5, 3, 24, static_cast<std::uint32_t>(24 + unis.size()));
    return file.bytes() + unis.bytes() + bis.bytes();
}

std::string sample_text() {
    return std::string(kWld) + " " + std::string(kKtb) + ". " + std::string(kQlm) + " x " + std::string(kKtb);
}

std::string reason(const std::string& bytes) {
    auto parsed = context::parse_dict(bytes);
    return parsed ? std::string("loaded") : parsed.error();
}

}  // namespace

TEST(context_dict_parse_reasons) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string want;
    };
    auto header = [](std::uint32_t u, std::uint32_t b, std::uint32_t uo, std::uint32_t bo) {
        return Trld().header(u, b, uo, bo).bytes();
    };
    std::string wrong_magic = header(0, 0, 24, 24);
    wrong_magic[0] = 'X';
    std::string version_7 = header(0, 0, 24, 24);
    version_7[4] = 7;
    const Case cases[] = {
        {"23 bytes", std::string(23, '\0'), "Dictionary too small"},
        {"empty dictionary", header(0, 0, 24, 24), "loaded"},
        {"magic", wrong_magic, "Invalid dictionary magic"},
        {"version", version_7, "Unsupported dictionary version: 7"},
        {"offset in header", header(0, 0, 23, 24), "Dictionary section offset overlaps header"},
        {"zero count far offset", header(0, 0, 24, 4'000'000'000u), "loaded"},
        {"count 1 far offset", header(1, 0, 4'000'000'000u, 24), "unexpected end of dictionary data"},
        {"overlapping sections", header(1, 1, 24, 24) + Trld().unigram("a", "b").bytes(),
         "unexpected end of dictionary data"},
        {"lone continuation byte", header(1, 0, 24, 24) + Trld().unigram("\x80x", "y").bytes(),
         "invalid utf-8 sequence of 1 bytes from index 0"},
        {"cut inside a sequence", header(1, 0, 24, 24) + Trld().unigram("ab\xD8", "y").bytes(),
         "incomplete utf-8 byte sequence from index 2"},
        {"surrogate", header(1, 0, 24, 24) + Trld().unigram("\xED\xA0\x80", "y").bytes(),
         "invalid utf-8 sequence of 1 bytes from index 0"},
        {"bad third byte", header(1, 0, 24, 24) + Trld().unigram("\xE0\xA0x", "y").bytes(),
         "invalid utf-8 sequence of 2 bytes from index 0"},
        {"bad later candidate", header(1, 0, 24, 24) + Trld().str("k").u16(2).str("v").u32(1).str("\xFF").u32(1).bytes(),
         "invalid utf-8 sequence of 1 bytes from index 0"},
        {"later candidate without weight", header(1, 0, 24, 24) + Trld().str("k").u16(2).str("v").u32(1).str("w").bytes(),
         "unexpected end of dictionary data"},
        {"bigram third missing", header(0, 1, 24, 24) + Trld().str("a").str("b").bytes(),
         "unexpected end of dictionary data"},
    };
    for (const Case& c : cases) {
        CHECK_EQ_FOR(c.name, reason(c.bytes), c.want);
    }
}

TEST(context_dict_lookups_keep_the_first_record) {
    auto parsed = context::parse_dict(sample_file());
    CHECK(parsed.has_value());
    if (!parsed) return;
    const context::ContextDict& d = *parsed;
    CHECK_EQ(d.unigram_count(), 3u);  // the record without candidates adds nothing
    CHECK_EQ(d.unigram(kKtb).value_or("-"), kKutub);  // the first of two records
    CHECK_EQ(d.unigram(kWld).value_or("-"), kWalad);  // the first candidate, whatever the weights
    CHECK_EQ(d.unigram(kQlm).value_or("-"), kQalam);  // a later record after one without candidates
    CHECK(!d.unigram(kKtb.substr(0, 4)).has_value());
    CHECK(!d.unigram(std::string(kKtb) + "x").has_value());
    CHECK_EQ(d.bigram_count(), 2u);
    CHECK_EQ(d.bigram(kWld, kKtb).value_or("-"), kKataba);
    CHECK_EQ(d.bigram(kQlm, kKtb).value_or("-"), kKatib);
    CHECK(!d.bigram(kKtb, kWld).has_value());
    CHECK(!d.bigram(kWld, kQlm).has_value());
}

// Every prefix of a valid file, and random damage to it, parses or fails with
// a reason; whatever parses answers lookups and serves the worker.
TEST(context_dict_survives_truncation_and_damage) {
    const std::string good = sample_file();
    transliterate::TransliterateOptions options;
    std::string out;
    auto exercise = [&](const std::string& bytes) {
        auto parsed = context::parse_dict(bytes);
        if (!parsed) {
            CHECK(!parsed.error().empty());
            return;
        }
        context::transliterate_with_dict(sample_text(), options, *parsed, out);
        CHECK(!out.empty());
    };
    for (std::size_t n = 0; n <= good.size(); ++n) exercise(good.substr(0, n));
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::size_t> pos(0, good.size() - 1), hits(1, 4);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20000; ++round) {
        std::string damaged = good;
        for (std::size_t k = hits(rng); k > 0; --k) damaged[pos(rng)] = static_cast<char>(byte(rng));
        exercise(damaged);
    }
}
