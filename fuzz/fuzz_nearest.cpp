// Edit distance and nearest match on arbitrary words: the bounded distance
// agrees with the full one at every bound, the distance is a metric within its
// length bounds, and the nearest match is the first candidate at the smallest
// distance within the limit. The input is a limit byte, then words separated
// by line feeds: the value, then the candidates.
#include "fuzz_input.hpp"
#include "presets/collisions.hpp"
#include "text/utils.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const auto max_distance = in.number<std::uint64_t>(0, 12);
    const std::string words = in.rest();
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        std::size_t end = words.find('\n', start);
        parts.push_back(std::string_view(words).substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const std::string_view value = parts.front();
    std::vector<collisions::Candidate> candidates;
    std::vector<std::uint64_t> distances;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view c = parts[i];
        const std::uint64_t d = utils::edit_distance(value, c);
        const std::size_t lv = fuzz::char_count(value), lc = fuzz::char_count(c);
        FUZZ_CHECK(d == utils::edit_distance(c, value));
        FUZZ_CHECK(d >= (lv > lc ? lv - lc : lc - lv) && d <= std::max(lv, lc));
        FUZZ_CHECK((d == 0) == (value == c));
        for (std::uint64_t bound : {std::uint64_t{0}, std::uint64_t{1}, max_distance, d, d + 1}) {
            auto within = utils::edit_distance_within(value, c, bound);
            FUZZ_CHECK(within.has_value() == (d <= bound));
            if (within) FUZZ_CHECK(*within == d);
        }
        candidates.push_back({c, lc});
        distances.push_back(d);
    }

    auto match = collisions::nearest_match(value, candidates, max_distance);
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < distances.size(); ++i) {
        if (distances[i] <= max_distance && (!best || distances[i] < distances[*best])) best = i;
    }
    FUZZ_CHECK(match.has_value() == best.has_value());
    if (match) FUZZ_CHECK(match->index == *best && match->distance == distances[*best]);
    return 0;
}
