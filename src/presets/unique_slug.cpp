#include "presets/unique_slug.hpp"

namespace kelrad::slugify {

std::expected<std::string, UniqueSlugError> UniqueSlugifier::slugify(std::string_view text,
                                                                     CandidateCheck* check) {
    const std::string base(slugify::slugify(text, options_, &stopwords_, workspace_));
    workspace_.shrink();
    if (base.empty()) return base;
    auto exceeded = [&] {
        return std::unexpected(UniqueSlugError(error::UniqueSlugAttemptsExceeded{MAX_UNIQUE_ATTEMPTS, std::string(text)}));
    };

    std::uint64_t counter = 0;
    if (check == nullptr) {
        if (auto it = next_counters_.find(base); it != next_counters_.end()) counter = it->second;
        if (counter > MAX_UNIQUE_ATTEMPTS) return exceeded();
    }
    for (; counter <= MAX_UNIQUE_ATTEMPTS; ++counter) {
        auto candidate = unique_slug_candidate(base, counter, options_.separator, options_.max_length,
                                               options_.allow_unicode);
        if (!candidate) return std::unexpected(UniqueSlugError(std::move(candidate.error())));
        // The caller's store is asked only about slugs this object has not issued.
        if (issued_slugs_.contains(*candidate)) continue;
        if (check != nullptr) {
            const CandidateCheck::Answer answer = check->check(*candidate);
            if (answer == CandidateCheck::Answer::Failed) return std::unexpected(UniqueSlugError(CheckFailed{}));
            if (answer == CandidateCheck::Answer::Taken) continue;
        }
        issued_slugs_.insert(*candidate);
        if (check == nullptr) next_counters_.insert_or_assign(base, counter + 1);
        return std::move(*candidate);
    }
    return exceeded();
}

void UniqueSlugifier::reset() noexcept {
    issued_slugs_.clear();
    next_counters_.clear();
}

}  // namespace kelrad::slugify
