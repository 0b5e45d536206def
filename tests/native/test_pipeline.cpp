#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "presets/pipeline.hpp"
#include "presets/profiles.hpp"
#include "testing.hpp"

using namespace kelrad;
using namespace kelrad::pipeline;
using testing::u8;

TEST(pipeline_step_table) {
    std::set<std::string_view> names;
    std::uint64_t bits = 0;
    for (const PipelineStep& step : PIPELINE_STEPS) {
        CHECK((bits & step.bit) == 0);
        bits |= step.bit;
        names.insert(step.name);
    }
    CHECK_EQ(PIPELINE_STEPS.size(), std::size_t{16});
    CHECK_EQ(names.size(), std::size_t{14});
    CHECK_EQ(bits, std::uint64_t{0xFFFF});
}

// A text that no step changes comes back as the input itself, on every run
// of a profile: nothing is copied on the clean path.
TEST(pipeline_clean_text_is_not_copied) {
    PipelineWorkspace workspace;
    const std::string ascii = "already clean text, lower case and single spaces";
    const std::string latin = u8(U"\u00f8resund \u0142odz \u2192 strasse");  // ø and ł do not decompose
    for (const std::string& name : profiles::profile_names()) {
        auto profile = profiles::build_profile(name);
        CHECK(profile.has_value() && profile->has_value());
        for (const std::string& text : {ascii, std::string()}) {
            auto out = (*profile)->process(text, workspace);
            CHECK(out.has_value() && out->data() == text.data());
        }
    }
    auto ml = profiles::build_profile("ml_corpus_normalize");
    auto out = (**ml).process(latin, workspace);
    CHECK(out.has_value() && out->data() == latin.data());
}

// One workspace kept across calls gives what a fresh one gives: no step reads
// what an earlier text left in the buffers.
TEST(pipeline_workspace_reuse) {
    const std::u32string alphabet = U"aZ1 \t\b\u00e9\u0301\u00c4\u00df\u0130\ufb01\u00a0\u200b\u202e\ue000"
                                    U"\U000E0041\U0001F600\u0416\u0430\u4e2d|";
    std::mt19937 rng(16);
    PipelineWorkspace kept;
    for (int i = 0; i < 2000; ++i) {
        std::u32string text;
        for (std::size_t n = rng() % 24; n > 0; --n) text += alphabet[rng() % alphabet.size()];
        const std::string utf8 = u8(text);
        const std::string name = profiles::profile_names()[rng() % 8];
        auto pipeline = profiles::build_profile(name);
        auto reused = (**pipeline).process(utf8, kept);
        CHECK(reused.has_value());
        const std::string first(*reused);
        auto fresh = (**pipeline).process(utf8);
        CHECK(fresh.has_value());
        if (fresh && first != *fresh) std::cerr << name << " case " << i << "\n";
        CHECK_EQ(first, fresh.value_or(""));
        if (i % 97 == 0) kept.shrink();
    }
}
