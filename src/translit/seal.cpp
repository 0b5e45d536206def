#include "translit/seal.hpp"

#include <atomic>
#include <string>

namespace kelrad::tables {
namespace {

// A poisoned registration lock is used silently: the lock guards no data,
// only the order of registrations.
sync::Mutex& registration_lock() {
    static auto& REGISTRATION_LOCK = *new sync::Mutex("");
    return REGISTRATION_LOCK;
}

std::atomic<bool> REGISTRATIONS_SEALED{false};

}  // namespace

std::expected<RegistrationGuard, CoreError> registration_guard(std::string_view op) {
    RegistrationGuard guard = registration_lock().lock();
    if (REGISTRATIONS_SEALED.load(std::memory_order_acquire)) return fail(error::Sealed{std::string(op)});
    return guard;
}

void seal_registrations() {
    RegistrationGuard guard = registration_lock().lock();
    REGISTRATIONS_SEALED.store(true, std::memory_order_seq_cst);
}

bool registrations_sealed() noexcept { return REGISTRATIONS_SEALED.load(std::memory_order_acquire); }

}  // namespace kelrad::tables
