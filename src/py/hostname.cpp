// Python functions of host-name homoglyph analysis.
#include "py/registry.hpp"

namespace kelrad::py {

Area hostname_area() { return {}; }

}  // namespace kelrad::py
