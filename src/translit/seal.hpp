// The registration seal.
//
// Every operation that changes process-wide transliteration state (registered
// languages, global replacements, the emoji provider) runs under
// REGISTRATION_LOCK, taken first and released last, and is refused once the
// registries are sealed. Sealing is irreversible.
#pragma once

#include <expected>
#include <string_view>

#include "text/error.hpp"
#include "text/lock.hpp"

namespace kelrad::tables {

using RegistrationGuard = sync::Mutex::Guard;

// Locks REGISTRATION_LOCK and returns its guard, or `Sealed{op}` (with the
// lock released) once the registries are sealed. The flag is tested under
// the lock, so a registration that passed the test completes before a
// concurrent seal takes effect.
std::expected<RegistrationGuard, CoreError> registration_guard(std::string_view op);

// Sets REGISTRATIONS_SEALED under the lock; calling it again is harmless.
void seal_registrations();

// One acquire load of REGISTRATIONS_SEALED; takes no lock.
bool registrations_sealed() noexcept;

}  // namespace kelrad::tables
