#include "py/registry.hpp"

namespace kelrad::py {

Area normalize_area() { return {}; }

}  // namespace kelrad::py
