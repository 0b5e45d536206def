#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "presets/guard.hpp"
#include "presets/presets.hpp"
#include "presets/steps.hpp"
#include "tables/confusables.hpp"
#include "tables/guard.hpp"
#include "testing.hpp"
#include "text/normalize.hpp"
#include "text/strip.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using presets::Preset;
using presets::guard::GuardVerdict;
using testing::cp_name;
using testing::cp_names;
using testing::u8;

namespace {

struct Variant {
    const char* name;
    Preset preset;
    bool fold_case = true;
};

const Variant kVariants[] = {
    {"canonicalize", Preset::Canonicalize},
    {"canonicalize_strict", Preset::CanonicalizeStrict},
    {"strip_obfuscation", Preset::StripObfuscation},
    {"strip_format", Preset::StripFormat},
    {"skeleton_key", Preset::SkeletonKey},
    {"sort_key", Preset::SortKey},
    {"search_key", Preset::SearchKey},
    {"catalog_key", Preset::CatalogKey},
    {"ml_normalize", Preset::MlNormalize},
    {"ml_normalize fold_case=False", Preset::MlNormalize, false},
};

GuardVerdict verdict(const Variant& v, std::string_view text) {
    const auto& spec = presets::guard_spec(v.preset, v.fold_case);
    return presets::guard::scan(text, spec, spec.confusables ? &tables::CONFUSABLES_LATIN : nullptr);
}

// The chain's own result, with the guard left out; "<error>" on failure.
std::string chain_result(const Variant& v, std::string_view text) {
    std::string out;
    auto changed = presets::run_chain(v.preset, text, {.fold_case = v.fold_case}, out);
    if (!changed) return "<error>";
    return *changed ? out : std::string(text);
}

std::string preset_result(const Variant& v, std::string_view text) {
    std::string out;
    auto changed = presets::run_preset(v.preset, text, {.fold_case = v.fold_case}, out);
    if (!changed) return "<error>";
    return *changed ? out : std::string(text);
}

std::string collapsed(std::string_view text) {
    std::string out;
    strip::collapse_whitespace(text, out);
    return out;
}

// Collects every text whose verdict the chain contradicts: a text the guard
// clears must come back from the chain unchanged, and one it sends to
// whitespace collapsing must come back collapsed.
class SoundnessCheck {
public:
    void check(const Variant& v, std::string_view text) {
        const GuardVerdict answer = verdict(v, text);
        if (answer == GuardVerdict::RunPreset) return;
        ++cleared_;
        const std::string want = answer == GuardVerdict::Canonical ? std::string(text) : collapsed(text);
        const std::string got = chain_result(v, text);
        if (got == want) return;
        if (++failures_ <= 40) std::cerr << v.name << ": " << cp_names(text) << "-> " << cp_names(got) << "\n";
    }

    void report() const {
        if (failures_ > 40) std::cerr << "... " << failures_ << " texts in all\n";
        CHECK_EQ(failures_, 0u);
        CHECK(cleared_ > 0);
    }

private:
    std::size_t failures_ = 0;
    std::size_t cleared_ = 0;
};

}  // namespace

// ---- The guard table against the normalization data -----------------------

TEST(guard_table_matches_the_normalization_data) {
    std::size_t mismatches = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        auto is_combining = [](char32_t c) { return normalize::combining_class(c) != 0 || normalize::is_mark(c); };
        const bool neighbour_dependent = (cp >= 0x1100 && cp <= 0x11FF) || (cp >= 0xA960 && cp <= 0xA97F) ||
                                         (cp >= 0xD7B0 && cp <= 0xD7FF) || cp == 0x16D67;
        unsigned marks = 0;
        for (char32_t d : normalize::canonical_decomposition(cp)) marks += is_combining(d);
        const bool want_unstable =
            normalize::quick_check(cp, normalize::Form::NFKC) != normalize::QuickCheck::Yes || neighbour_dependent;
        const std::uint8_t props = tables::guard_props(cp);
        const bool ok = ((props & tables::kGuardCombining) != 0) == is_combining(cp) &&
                        ((props & tables::kGuardNfkcUnstable) != 0) == want_unstable &&
                        tables::guard_decomposition_marks(props) == marks;
        if (!ok && ++mismatches <= 20) std::cerr << cp_name(cp) << " props " << unsigned{props} << "\n";
    }
    CHECK_EQ(mismatches, 0u);
}

// ---- Soundness: what the guard clears, the chain leaves alone -------------

TEST(guard_is_sound_for_every_code_point) {
    SoundnessCheck check;
    std::string text;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp == 0xD800) cp = 0xE000;
        text.clear();
        utf8::append(text, cp);
        for (const Variant& v : kVariants) check.check(v, text);
    }
    check.report();
}

namespace {

// The canonical two-character decompositions of UnicodeData.txt.
std::vector<std::pair<char32_t, char32_t>> composition_pairs() {
    std::vector<std::pair<char32_t, char32_t>> pairs;
    std::ifstream in("data/unicode-17.0.0/ucd/UnicodeData.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream row(line);
        for (std::string f; std::getline(row, f, ';');) fields.push_back(f);
        if (fields.size() < 6 || fields[5].empty() || fields[5][0] == '<') continue;
        std::istringstream parts(fields[5]);
        std::vector<char32_t> cps;
        for (std::string p; parts >> p;) cps.push_back(static_cast<char32_t>(std::stoul(p, nullptr, 16)));
        if (cps.size() == 2) pairs.emplace_back(cps[0], cps[1]);
    }
    return pairs;
}

}  // namespace

// Composition joins neighbours: every pair, and every first member before a
// character whose compatibility decomposition starts with one that NFKC may
// compose with what precedes it (NFKC_Quick_Check Maybe).
TEST(guard_is_sound_for_composition_pairs) {
    const auto pairs = composition_pairs();
    CHECK_EQ(pairs.size(), 1046u);
    std::set<char32_t> firsts;
    for (auto [a, b] : pairs) firsts.insert(a);
    std::vector<char32_t> maybe_led;
    for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
        if (cp == 0xD800) cp = 0xE000;
        const auto d = normalize::compatibility_decomposition(cp);
        if (d[0] != cp && normalize::quick_check(d[0], normalize::Form::NFKC) == normalize::QuickCheck::Maybe) {
            maybe_led.push_back(cp);
        }
    }
    CHECK(!maybe_led.empty());
    SoundnessCheck check;
    for (const Variant& v : kVariants) {
        for (auto [a, b] : pairs) check.check(v, u8(std::u32string{a, b}));
        for (char32_t a : firsts) {
            for (char32_t c : maybe_led) check.check(v, u8(std::u32string{a, c}));
        }
    }
    check.report();
}

namespace {

// Characters the chains treat differently, grouped so that random texts
// meet them next to each other: ASCII of every class the guard tests,
// marks of class 0 and above, composing letters, jamo, confusables,
// invisibles, whitespace, emoji, scripts the key chains transliterate.
const std::u32string kAlphabet =
    U"aZ01I |\"`\t\n\x08\x7f\x1c."
    U"\u00e9\u00c9\u0301\u0308\u0338\u20d2=\u0483\u0434\u0430\u043e"
    U"\u0bc6\u0bbe\u0bd7\u0b92\u093f\u0488\U00016D63\U00016D67\U00016D68"
    U"\u1100\u1161\u11a8\uac00"
    U"\u00a0\u2003\u3000\u200b\u200d\u200e\u202e\u00ad\u034f\ufe0f\ue000\ufdd0\U000E0041"
    U"\u2764\U0001F600\U0001F3FB\u00df\u0130\u212a\u3381\ufb01\U0001D7CE\u2160"
    U"\u65e5\u3105\u0391\u03c3";

std::vector<std::string> random_texts(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> len(0, 12), pick(0, kAlphabet.size() - 1);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        std::u32string t;
        for (std::size_t n = len(rng); n > 0; --n) t.push_back(kAlphabet[pick(rng)]);
        texts.push_back(u8(t));
    }
    return texts;
}

}  // namespace

TEST(guard_on_and_off_agree_on_random_texts) {
    std::size_t failures = 0;
    for (const std::string& text : random_texts(20000, 17)) {
        for (const Variant& v : kVariants) {
            const std::string with = preset_result(v, text), without = chain_result(v, text);
            if (with != without && ++failures <= 20) std::cerr << v.name << ": " << cp_names(text) << "\n";
        }
    }
    CHECK_EQ(failures, 0u);
}

// On ASCII the guard is exact but for the digits 0 and 1, which skeleton_key
// rewrites only under Tr39: whatever it sends to the chain, the chain changes,
// and whitespace collapsing alone gives the chain's result. The texts are long
// enough for the eight-byte scan and its tails.
TEST(guard_is_exact_on_ascii) {
    const std::string alphabet = "ab zA|\"`\t\n\x08\x7f\x1cI.";
    std::mt19937 rng(5);
    std::uniform_int_distribution<std::size_t> len(0, 40), pick(0, alphabet.size() - 1), rare(0, 15);
    std::size_t failures = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (std::size_t n = len(rng); n > 0; --n) text += rare(rng) == 0 ? alphabet[pick(rng)] : "ab c"[rare(rng) % 4];
        for (const Variant& v : kVariants) {
            const std::string chained = chain_result(v, text);
            const GuardVerdict want = chained == text                ? GuardVerdict::Canonical
                                      : chained == collapsed(text) ? GuardVerdict::CollapseWhitespaceOnly
                                                                   : GuardVerdict::RunPreset;
            if (verdict(v, text) != want && ++failures <= 20) std::cerr << v.name << ": \"" << text << "\"\n";
        }
    }
    CHECK_EQ(failures, 0u);
}

// Non-ASCII characters next to the tests that catch them (ASCII is covered
// whole by guard_is_exact_on_ascii).
TEST(guard_verdicts) {
    using enum GuardVerdict;
    struct Case {
        const char* name;
        std::u32string text;
        Preset preset;
        GuardVerdict want;
    };
    const Case cases[] = {
        {"no-break space", U"a\u00a0b", Preset::Canonicalize, RunPreset},
        {"space after a passing letter", U"\u00e9 ", Preset::Canonicalize, CollapseWhitespaceOnly},
        {"decomposed accent", U"e\u0301", Preset::Canonicalize, RunPreset},
        {"precomposed accent", U"\u00e9", Preset::Canonicalize, Canonical},
        {"precomposed accent, no marks kept", U"\u00e9", Preset::StripObfuscation, RunPreset},
        {"precomposed accent, key", U"\u00e9", Preset::SearchKey, RunPreset},
        {"class-0 mark that composes", U"\u0bc6\u0bbe", Preset::Canonicalize, RunPreset},
        {"letter that composes", U"\U00016D63\U00016D68", Preset::Canonicalize, RunPreset},
        {"Latin confusable", U"\u0430", Preset::Canonicalize, RunPreset},
        {"Cyrillic without a Latin look-alike", U"\u0434", Preset::Canonicalize, Canonical},
        {"emoji, named", U"\U0001F600", Preset::MlNormalize, RunPreset},
        {"emoji, format kept", U"\U0001F600", Preset::StripFormat, Canonical},
    };
    for (const Case& c : cases) {
        CHECK_FOR(c.name, verdict(Variant{c.name, c.preset}, u8(c.text)) == c.want);
    }
    for (const Variant& v : kVariants) CHECK(verdict(v, "") == GuardVerdict::Canonical);

    // Emoji naming, which no constant chain asks about without also sending
    // all non-ASCII text to the chain: a named character outside the emoji
    // blocks is found through the name table.
    const presets::guard::GuardSpec emoji{.emoji = true};
    CHECK(presets::guard::scan(u8(U"\u203c"), emoji, nullptr) == RunPreset);
    CHECK(presets::guard::scan(u8(U"\U0001F600"), emoji, nullptr) == RunPreset);
    CHECK(presets::guard::scan(u8(U"#1 \u00e9"), emoji, nullptr) == Canonical);
}

TEST(guard_spec_derivation) {
    using presets::PresetStep;
    using Kind = PresetStep::Kind;
    CHECK(presets::guard::spec_for_steps({}) == presets::guard::GuardSpec{});

    const auto ml = presets::guard_spec(Preset::MlNormalize, true);
    CHECK(ml.emoji && ml.non_ascii && ml.accents && ml.normalization && ml.controls && ml.whitespace &&
          ml.zero_width && ml.combining_marks && ml.case_fold);
    CHECK(!ml.zalgo_cap && !ml.confusables && !ml.bidi && !ml.format);
    CHECK(!presets::guard_spec(Preset::MlNormalize, false).case_fold);

    // A FixedPoint merges its list: the smaller cap wins.
    static constexpr PresetStep inner[] = {PresetStep::strip_zalgo(1), PresetStep::of(Kind::FoldCase)};
    static constexpr PresetStep outer[] = {PresetStep::strip_zalgo(3), PresetStep::fixed_point(inner)};
    const auto merged = presets::guard::spec_for_steps(outer);
    CHECK(merged.zalgo_cap == std::optional<std::size_t>(1) && merged.case_fold && merged.combining_marks);

    auto message = [](std::span<const PresetStep> steps) -> std::string {
        try {
            presets::guard::spec_for_steps(steps);
        } catch (const Panic& p) {
            return p.what();
        }
        return "";
    };
    static constexpr PresetStep nested[] = {PresetStep::fixed_point(outer)};
    CHECK_EQ(message(nested), "FixedPoint inner list must not contain a nested FixedPoint");
    static constexpr PresetStep cyrillic[] = {PresetStep::confusable(Kind::FoldConfusableChars, "cyrillic")};
    CHECK(message(cyrillic).starts_with("fast-path guard supports only Latin confusable targets"));
}

// ---- Steps --------------------------------------------------------------------

TEST(transliterate_non_latin_runs_keeps_latin_and_bopomofo) {
    struct Case {
        const char* name;
        std::string text;
        std::string want;
    };
    const Case cases[] = {
        {"German word, then Cyrillic", "Stra\u00dfe \u041c\u043e\u0441\u043a\u0432\u0430", "Stra\u00dfe Moskva"},
        {"Bopomofo passes", "\u3105\u3106 x", "\u3105\u3106 x"},
        {"run at the end", "caf\u00e9 \u65e5\u672c", "caf\u00e9 ri ben"},
        {"run between Latin letters", "a\u0391\u03a3b", "aASb"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        std::string out = "stale";
        presets::transliterate_non_latin_runs(c.text, std::nullopt, out);
        CHECK_EQ_FOR(c.name, out, c.want);
    }
}

TEST(executor_edges) {
    using presets::PresetStep;
    using Kind = PresetStep::Kind;
    const presets::PresetContext ctx{.input_len = 3};
    CHECK_EQ(presets::run_steps({}, "abc", ctx).value_or("<error>"), "abc");
    for (int k = 0; k <= static_cast<int>(Kind::Demojize); ++k) {
        const PresetStep one[] = {k == static_cast<int>(Kind::FixedPoint) ? PresetStep::of(Kind::Nfc)
                                                                         : PresetStep::of(static_cast<Kind>(k))};
        PresetStep step = one[0];
        step.target = "latin";
        CHECK_EQ(presets::run_steps({&step, 1}, "", ctx).value_or("<error>"), "");
    }
    // One FixedPoint run settles NFKC; case folding needs the second.
    static constexpr PresetStep inner[] = {PresetStep::of(Kind::FoldCase), PresetStep::of(Kind::Nfkc)};
    static constexpr PresetStep list[] = {PresetStep::fixed_point(inner)};
    CHECK_EQ(presets::run_steps(list, "\u3381", ctx).value_or("<error>"), "na");
}

// ---- Threads --------------------------------------------------------------------

TEST(presets_give_the_same_results_on_eight_threads) {
    const std::vector<std::string> texts = random_texts(2000, 99);
    auto all_results = [&] {
        std::vector<std::string> out;
        for (const std::string& t : texts) {
            for (const Variant& v : kVariants) out.push_back(preset_result(v, t));
            out.push_back(presets::sort_key(t, "ru", presets::DigitPolicy::Tr39).value_or("<error>"));
            out.push_back(presets::catalog_key(t, "auto", true).value_or("<error>"));
        }
        return out;
    };
    const std::vector<std::string> single = all_results();
    std::vector<std::vector<std::string>> results(8);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back([&r, &all_results] { r = all_results(); });
    for (auto& t : threads) t.join();
    for (const auto& r : results) CHECK(r == single);
}
