// Python functions of key collisions, nearest match and file names.
#include "py/registry.hpp"

namespace kelrad::py {

Area collisions_area() { return {}; }

}  // namespace kelrad::py
