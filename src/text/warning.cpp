#include "text/warning.hpp"

namespace kelrad {

std::expected<ErrorMode, CoreError> parse_error_mode(std::string_view value) {
    if (value == "replace") return ErrorMode::Replace;
    if (value == "ignore") return ErrorMode::Ignore;
    if (value == "preserve") return ErrorMode::Preserve;
    return fail(error::InvalidErrorMode{std::string(value)});
}

namespace warning {
namespace {
thread_local std::vector<std::string> t_deferred;
}  // namespace

std::atomic<std::size_t> detail::g_queued{0};

bool detail::has_deferred_here() noexcept { return !t_deferred.empty(); }

void defer(std::string message) {
    t_deferred.push_back(std::move(message));
    detail::g_queued.fetch_add(1, std::memory_order_relaxed);
}

std::vector<std::string> take_deferred() {
    std::vector<std::string> taken = std::exchange(t_deferred, {});
    detail::g_queued.fetch_sub(taken.size(), std::memory_order_relaxed);
    return taken;
}

std::string poisoned_lock_message(std::string_view lock_name) {
    std::string m = "kelrad: lock for ";
    m += lock_name;
    m += " poisoned (a thread panicked while holding the lock). Recovering from poisoned state \u2014 data may be "
         "inconsistent. This is a bug; please report it.";
    return m;
}

}  // namespace warning
}  // namespace kelrad
