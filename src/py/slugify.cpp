// Python functions of slugs.
#include "py/registry.hpp"

namespace kelrad::py {

Area slugify_area() { return {}; }

}  // namespace kelrad::py
