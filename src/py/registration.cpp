#include "py/registry.hpp"

namespace kelrad::py {

Area registration_area() { return {}; }

}  // namespace kelrad::py
