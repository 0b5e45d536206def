#include "py/registry.hpp"

namespace kelrad::py {

Area presets_area() { return {}; }

}  // namespace kelrad::py
