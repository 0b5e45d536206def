#include "text/utils.hpp"

#include <algorithm>
#include <vector>

#include "util/utf8.hpp"

namespace kelrad::utils {

std::uint64_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<char32_t> bs;
    bs.reserve(b.size());
    for (auto [cp, len] : utf8::chars(b)) bs.push_back(cp);
    const std::size_t n = bs.size();

    std::vector<std::uint64_t> prev(n + 1), cur(n + 1);
    for (std::size_t j = 0; j <= n; ++j) prev[j] = j;
    std::uint64_t i = 0;
    for (auto [x, len] : utf8::chars(a)) {
        cur[0] = ++i;
        for (std::size_t j = 1; j <= n; ++j) {
            std::uint64_t substitute = prev[j - 1] + (x == bs[j - 1] ? 0 : 1);
            cur[j] = std::min({substitute, cur[j - 1] + 1, prev[j] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[n];
}

}  // namespace kelrad::utils
