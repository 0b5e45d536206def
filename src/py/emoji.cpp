// Python functions of emoji names and replacement.
#include "py/registry.hpp"

namespace kelrad::py {

Area emoji_area() { return {}; }

}  // namespace kelrad::py
