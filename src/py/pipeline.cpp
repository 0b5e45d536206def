// Python functions of configurable pipelines and named profiles.
#include "py/registry.hpp"

namespace kelrad::py {

Area pipeline_area() { return {}; }

}  // namespace kelrad::py
