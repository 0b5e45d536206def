// Python functions of byte-encoding detection and decoding.
#include "py/registry.hpp"

namespace kelrad::py {

Area encoding_area() { return {}; }

}  // namespace kelrad::py
