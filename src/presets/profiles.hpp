// Named profiles: fixed pipeline options chosen for one kind of text, each
// with a sentence saying what it is for. The eight are compiled in; a
// profile's pipeline carries its purpose and runs to a fixed point.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presets/pipeline.hpp"
#include "text/error.hpp"

namespace kelrad::profiles {

// Nothing for a name that is not exactly (bytes, case) a profile's; else the
// profile's pipeline with the numeric digit policy.
std::optional<std::expected<pipeline::TextPipeline, CoreError>> build_profile(std::string_view name);

// The eight names, sorted by their bytes.
std::vector<std::string> profile_names();

// The same names joined by ", ", as the unknown-profile messages list them.
std::string joined_profile_names();

// Whether the profile `name` leaves `text` as it is (its pipeline run to the
// fixed point, compared byte for byte); `UnknownProfile`, listing the eight
// names, for any other name.
std::expected<bool, CoreError> is_canonical(std::string_view text, std::string_view name);

}  // namespace kelrad::profiles
