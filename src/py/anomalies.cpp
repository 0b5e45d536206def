// Python functions of token anomalies and smuggled payloads.
#include "py/registry.hpp"

namespace kelrad::py {

Area anomalies_area() { return {}; }

}  // namespace kelrad::py
