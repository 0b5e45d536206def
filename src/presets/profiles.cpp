#include "presets/profiles.hpp"

#include <algorithm>
#include <array>

namespace kelrad::profiles {
namespace {

struct Profile {
    std::string_view name;
    pipeline::PipelineOptions options;
    std::string_view purpose;
};

// Sorted by name, which is the order `profile_names` lists them in. Options
// left out keep their defaults, which GCC 12 would report member by member.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
constexpr std::array<Profile, 8> kProfiles = {{
    {"code_context",
     {.strip_control = true, .strip_zero_width = true, .strip_bidi = true},
     "Screening source code without rewriting it: the homoglyph class is reported rather than folded, because "
     "line structure, indentation and case are the contract."},
    {"library_catalog_key_eu",
     {.normalize = "NFKC",
      .transliterate = true,
      .confusables = true,
      .strip_accents = true,
      .fold_case = true,
      .collapse_whitespace = true,
      .strip_pua = true,
      .strip_plane14 = true},
     "European public library catalog deduplication, bibliographic key generation."},
    {"llm_guardrail",
     {.normalize = "NFKC",
      .confusables = true,
      .strip_accents = true,
      .fold_case = true,
      .collapse_whitespace = true,
      .strip_control = true,
      .strip_zero_width = true,
      .strip_bidi = true,
      .strip_zalgo = 0,
      .strip_pua = true,
      .strip_plane14 = true,
      .resolve_deletions = true},
     "Screening untrusted text before it reaches a model prompt, folding homoglyphs onto the term they imitate."},
    {"ml_corpus_normalize",
     {.normalize = "NFKC",
      .strip_accents = true,
      .fold_case = true,
      .collapse_whitespace = true,
      .demojize = true,
      .strip_pua = true,
      .strip_plane14 = true},
     "NLP/ML text preprocessing, corpus normalization, embedding preparation."},
    {"normalize_web_input",
     {.normalize = "NFKC", .confusables = true, .collapse_whitespace = true, .strip_pua = true},
     "Lightweight Unicode normalization of web form input (NFKC + confusable-folding)."},
    {"rag_ingest",
     {.normalize = "NFKC",
      .transliterate = true,
      .strip_accents = true,
      .collapse_whitespace = true,
      .strip_control = true,
      .strip_zero_width = true,
      .strip_bidi = true,
      .strip_pua = true,
      .strip_plane14 = true,
      .resolve_deletions = true},
     "Normalizing retrieved documents for a RAG index, romanizing legitimate non-Latin text rather than folding "
     "homoglyphs onto Latin."},
    {"scholarly_cyrillic_iso9",
     {.normalize = "NFKC",
      .transliterate = true,
      .strict_iso9 = true,
      .fold_case = true,
      .collapse_whitespace = true,
      .strip_pua = true,
      .strip_plane14 = true},
     "Academic publishing, linguistic research, library cataloging of Cyrillic texts."},
    {"search_index",
     {.normalize = "NFKC",
      .transliterate = true,
      .strip_accents = true,
      .fold_case = true,
      .collapse_whitespace = true,
      .strip_pua = true,
      .strip_plane14 = true},
     "Full-text search index generation, cross-language search keys."},
}};
#pragma GCC diagnostic pop

static_assert(std::ranges::is_sorted(kProfiles, {}, &Profile::name));

}  // namespace

std::optional<std::expected<pipeline::TextPipeline, CoreError>> build_profile(std::string_view name) {
    // Exact bytes: the lengths are compared first, then the bytes.
    const auto it = std::ranges::find_if(kProfiles, [name](const Profile& p) {
        return p.name.size() == name.size() && p.name == name;
    });
    if (it == kProfiles.end()) return std::nullopt;
    auto built = pipeline::TextPipeline::create(it->options);
    if (!built) return built;
    return std::move(*built).into_profile(it->purpose);
}

std::vector<std::string> profile_names() {
    std::vector<std::string> names;
    names.reserve(kProfiles.size());
    for (const Profile& p : kProfiles) names.emplace_back(p.name);
    return names;
}

std::string joined_profile_names() {
    std::string out;
    for (const Profile& p : kProfiles) {
        if (!out.empty()) out += ", ";
        out += p.name;
    }
    return out;
}

std::expected<bool, CoreError> is_canonical(std::string_view text, std::string_view name) {
    auto built = build_profile(name);
    if (!built) return fail(error::UnknownProfile{std::string(name), joined_profile_names()});
    if (!*built) return std::unexpected(std::move(built->error()));
    pipeline::PipelineWorkspace workspace;
    auto out = (**built).process(text, workspace);
    if (!out) return std::unexpected(std::move(out.error()));
    return *out == text;
}

}  // namespace kelrad::profiles
