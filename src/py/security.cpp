#include "py/registry.hpp"

namespace kelrad::py {

Area security_area() { return {}; }

}  // namespace kelrad::py
