#include <algorithm>
#include <bit>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "security/confusables.hpp"
#include "security/fixed_point.hpp"
#include "tables/confusables.hpp"
#include "testing.hpp"
#include "text/compose.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using testing::cp_name;
using testing::u8;

namespace {

struct NamedMap {
    const char* name;
    const tables::ConfusableMap& map;
    std::size_t entries;
    std::size_t above_bmp;
};

const NamedMap kMaps[] = {
    {"latin", tables::CONFUSABLES_LATIN, 2101, 1159},
    {"cyrillic", tables::CONFUSABLES_CYRILLIC, 1341, 824},
    {"arabic", tables::CONFUSABLES_ARABIC, 372, 250},
    {"hebrew", tables::CONFUSABLES_HEBREW, 261, 100},
};

}  // namespace

// Every key is found through its pre-filter and the hash, the pre-filter has
// exactly the BMP keys, and no prototype is empty or holds a key of its own map.
TEST(confusable_maps_agree_with_their_prefilters) {
    for (const NamedMap& m : kMaps) {
        std::size_t above = 0, bmp_keys = 0;
        for (const auto& e : m.map.entries.entries) {
            CHECK(!m.map.prototype(e.key).empty());
            if (m.map.prototype(e.key).empty()) std::cerr << m.name << " " << cp_name(e.key) << "\n";
            for (auto [c, len] : utf8::chars(m.map.prototype(e.key))) CHECK(m.map.prototype(c).empty());
            above += e.key > 0xFFFF;
            bmp_keys += e.key <= 0xFFFF;
        }
        std::size_t bits = 0;
        for (std::size_t w = 0; w < 1024; ++w) bits += static_cast<std::size_t>(std::popcount(m.map.bmp[w]));
        CHECK_EQ(m.map.size(), m.entries);
        CHECK_EQ(above, m.above_bmp);
        CHECK_EQ(bits, bmp_keys);
    }
}

// ---- The fixed-point engine --------------------------------------------------

namespace {

using confusables::NeedsFoldPredicate;
using confusables::RewriteCallback;

// A rewrite that logs every text it is given and hands it to `step`.
struct Probe {
    mutable std::vector<std::string> seen = {};
    std::string (*step)(std::string_view) = nullptr;
    std::string_view fail_on = {};  // a text holding this fails with InvalidNormForm
};

std::expected<std::string, CoreError> probe_rewrite(const void* context, std::string_view text) {
    const auto& probe = *static_cast<const Probe*>(context);
    probe.seen.emplace_back(text);
    if (!probe.fail_on.empty() && text.find(probe.fail_on) != std::string_view::npos) {
        return fail(error::InvalidNormForm{"probe"});
    }
    return probe.step ? probe.step(text) : std::string(text);
}

bool never(const void*, char32_t) { return false; }

// Removes three copies of U+0301 from every run of at least eight.
std::string trim_acute_runs(std::string_view text) {
    std::vector<confusables::CharRun> runs = confusables::char_runs(text);
    for (auto& r : runs) {
        if (r.ch == 0x301 && r.count >= 8) r.count -= 3;
    }
    return confusables::string_from_runs(runs);
}

std::string swap_a_b(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = c == 'a' ? 'b' : c == 'b' ? 'a' : c;
    return out;
}

std::expected<std::string, CoreError> run_engine(Probe& probe, std::string text) {
    return confusables::fold_to_fixed_point(std::move(text), RewriteCallback{&probe, probe_rewrite},
                                            NeedsFoldPredicate{nullptr, never});
}

std::string acutes(std::size_t n) {
    std::string s;
    confusables::push_repeated(s, 0x301, n);
    return s;
}

}  // namespace

TEST(engine_splits_at_characters_that_start_a_cluster) {
    struct Case {
        const char* name;
        std::u32string text;
        std::vector<std::u32string> segments;
    };
    const Case cases[] = {
        {"empty text is one empty segment", U"", {U""}},
        {"marks and jamo continue", U"e\u0301x\u1100\u1161\u11A8\uAC00\u11A8",
         {U"e\u0301", U"x", U"\u1100\u1161\u11A8", U"\uAC00\u11A8"}},
        {"mark at the start", U"\u0301a", {U"\u0301", U"a"}},
        {"Hangul filler continues, its compatibility form does not", U"a\u1160\u3164", {U"a\u1160", U"\u3164"}},
        {"decomposes to a mark", U"a\u0344\u0374", {U"a\u0344", U"\u0374"}},
    };
    for (const Case& c : cases) {
        Probe probe;
        CHECK_EQ(run_engine(probe, u8(c.text)).value_or("error"), u8(c.text));
        std::vector<std::string> want;
        for (const auto& seg : c.segments) want.push_back(u8(seg));
        want.push_back(u8(c.text));  // the whole-text confirmation
        CHECK_FOR(c.name, probe.seen == want);
    }
}

// 40 copies lose 3 per application; the probe on 41 confirms the pattern and
// the run jumps to 37 - 3 * (29 / 3 + 1) = 7, where the rewrite stops.
TEST(engine_long_run_shortcut) {
    Probe probe{.step = trim_acute_runs};
    CHECK_EQ(run_engine(probe, "a" + acutes(40)).value_or("error"), "a" + acutes(7));
    const std::vector<std::string> want = {"a" + acutes(40), "a" + acutes(41), "a" + acutes(7), "a" + acutes(7)};
    CHECK(probe.seen == want);

    // A predicate that says the rewrite would change U+0301 turns the
    // shortcut off: 40, 37, ..., 7, one application each.
    probe = Probe{.step = trim_acute_runs};
    auto engine = confusables::fold_to_fixed_point(
        "a" + acutes(40), RewriteCallback{&probe, probe_rewrite},
        NeedsFoldPredicate{nullptr, [](const void*, char32_t c) { return c == 0x301; }});
    CHECK_EQ(engine.value_or("error"), "a" + acutes(7));
    CHECK_EQ(probe.seen.size(), 13u);  // 40 ... 7 is eleven texts, then the whole text
}

// A rewrite that never settles: each segment of n characters gets n + 9
// applications, each of the 8 cycles one whole-text application more.
TEST(engine_cycle_limits) {
    Probe probe{.step = swap_a_b};
    CHECK_EQ(run_engine(probe, "a").value_or("error"), "a");
    CHECK_EQ(probe.seen.size(), 8u * (10 + 1));

    probe = Probe{.step = swap_a_b};
    CHECK_EQ(run_engine(probe, "ab").value_or("error"), "ab");
    CHECK_EQ(probe.seen.size(), 8u * (10 + 10 + 1));
}

TEST(engine_returns_the_first_callback_error) {
    struct Case {
        const char* name;
        std::string text;
        std::string fail_on;
    };
    const Case cases[] = {
        {"a segment", "ab!c", "!"},
        {"the whole text", "ab", "ab"},
        {"the long-run probe", "a" + acutes(40), acutes(41)},
    };
    for (const Case& c : cases) {
        Probe probe{.step = trim_acute_runs, .fail_on = c.fail_on};
        auto r = run_engine(probe, c.text);
        CHECK_FOR(c.name, !r && std::holds_alternative<error::InvalidNormForm>(r.error()));
    }
}

// The owned fold checks nothing itself: a bad target or form is the first
// rewrite's error.
TEST(normalize_confusables_owned_folds_and_normalizes_each_segment) {
    using confusables::DigitPolicy;
    auto owned = [](std::string_view target, DigitPolicy policy, std::string_view form) {
        return confusables::normalize_confusables_owned(u8(U"\u0430\u0301x\U0001D7CE"), target, policy, form);
    };
    CHECK_EQ(owned("latin", DigitPolicy::Numeric, "NFC").value_or("error"), "\u00E1x0");
    CHECK_EQ(owned("latin", DigitPolicy::Tr39, "NFD").value_or("error"), "a\u0301xO");
    auto bad_target = owned("Latin", DigitPolicy::Numeric, "NFC");
    CHECK(!bad_target && std::holds_alternative<error::InvalidTargetScript>(bad_target.error()));
    auto bad_form = owned("latin", DigitPolicy::Numeric, "nfc");
    CHECK(!bad_form && std::holds_alternative<error::InvalidNormForm>(bad_form.error()));
}

// ---- Folds against a plain reference ------------------------------------------

namespace {

// fold_pass as written: compose the whole text, fold each character.
std::string reference_pass(std::string_view text, const tables::ConfusableMap& map, bool tr39_latin,
                           bool preserve) {
    std::string out;
    compose::Composer composer(text);
    while (auto x = composer.next()) {
        std::string_view p = tr39_latin ? tables::digit_prototype(x->ch) : std::string_view{};
        if (p.empty()) p = map.prototype(x->ch);
        if (preserve && p.size() == 1 && p[0] >= '0' && p[0] <= '9') p = {};
        if (p.empty()) {
            utf8::append(out, x->ch);
        } else {
            out += p;
        }
    }
    return out;
}

}  // namespace

// The ASCII word-at-a-time skips, the plain walk and the late switch to the
// composer against the reference, on random text of ASCII (keys of some maps
// among it), folding and non-folding characters, marks and jamo.
TEST(confusable_fast_paths_match_reference) {
    const char32_t pool[] = {'a', 'x', 'l', '|', '"', '`', '(', '.', ' ', 'I', '0', 0xE9, 0x430, 0x435, 0x3BF,
                             0x1D7CE, 0x0660, 0x0668, 0x2160, 0xFB01, 0x05D9, 0x0627, 0x0301, 0x0308, 0x05BC,
                             0x093C, 0x1100, 0x1161, 0x11A8, 0xAC00, 0x65E5, 0x1F600, 0x212A};
    const std::string_view targets[] = {"latin", "cyrillic", "arabic", "hebrew"};
    const std::string_view policies[] = {"numeric", "tr39", "preserve"};
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        std::size_t n = rng() % 30;
        for (std::size_t i = 0; i < n; ++i) utf8::append(text, pool[rng() % std::size(pool)]);
        std::string_view target = targets[rng() % 4];
        std::string_view policy = policies[rng() % 3];
        const auto& map = confusables::target_map(*confusables::validate_target_script(target));
        std::string want = reference_pass(text, map, target == "latin" && policy == "tr39", policy == "preserve");

        std::string out = "untouched";
        auto changed = confusables::fold_pass(text, target, policy, out);
        CHECK(changed.has_value());
        CHECK_EQ(*changed ? out : text, want);
        if (!*changed) CHECK_EQ(out, "untouched");

        bool hit = false;
        for (compose::Composer c(text); auto x = c.next();) {
            hit = hit || (x->ch >= 0x80 && !map.prototype(x->ch).empty());
        }
        CHECK_EQ(confusables::is_confusable(text, target).value_or(!hit), hit);
    }
}
