#include "text/compose.hpp"

namespace kelrad::compose {

bool is_mark_like(char32_t) noexcept { return false; }
std::optional<Composed> Composer::next() { return std::nullopt; }
bool compose_if_marks(std::string_view, std::string&) { return false; }

}  // namespace kelrad::compose
