#include "py/registry.hpp"

namespace kelrad::py {

Area transliterate_area() { return {}; }

}  // namespace kelrad::py
