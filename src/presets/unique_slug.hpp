// Slugs that are unique among those one object has issued, and optionally
// free in the caller's own store.
//
// When the plain slug of a text is taken, the separator and a counter are
// appended ("hello", "hello-1", "hello-2", ...), the base cut short when
// `max_length` demands it. Counter 0 stands for the bare slug; counters go up
// to MAX_UNIQUE_ATTEMPTS, so that a check that never answers "free" ends.
//
// The caller's store is asked through `CandidateCheck`. The binding layer
// supplies one that calls back into Python; the object holds no lock while it
// runs (the binding's borrow flag keeps other calls out), and a failed check
// leaves the object as it was.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>

#include "presets/slugify.hpp"
#include "text/error.hpp"

namespace kelrad::slugify {

inline constexpr std::uint64_t MAX_UNIQUE_ATTEMPTS = 10000;

// Whether a candidate is taken in the caller's store.
class CandidateCheck {
public:
    enum class Answer : std::uint8_t { Taken, Free, Failed };
    virtual Answer check(std::string_view candidate) = 0;

protected:
    ~CandidateCheck() = default;
};

// The check failed; its own error is the caller's to report.
struct CheckFailed {};

using UniqueSlugError = std::variant<CoreError, CheckFailed>;

class UniqueSlugifier {
public:
    UniqueSlugifier(SlugifyOptions options, StopwordSet stopwords) noexcept
        : options_(std::move(options)), stopwords_(std::move(stopwords)) {}

    // The next unique slug of `text` ("" for a text whose slug is empty, never
    // numbered); `check` may be null. `issued_slugs` and `next_counters`
    // change only when a slug is returned.
    std::expected<std::string, UniqueSlugError> slugify(std::string_view text, CandidateCheck* check);

    // Forgets every slug issued.
    void reset() noexcept;

    const SlugifyOptions& options() const noexcept { return options_; }

private:
    SlugifyOptions options_;
    StopwordSet stopwords_;
    SlugWorkspace workspace_;
    StringSet issued_slugs_;
    // Without a check: where the search for each base resumes.
    StringMap<std::uint64_t> next_counters_;
};

}  // namespace kelrad::slugify
