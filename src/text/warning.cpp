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

void defer(std::string message) { t_deferred.push_back(std::move(message)); }

bool has_deferred() noexcept { return !t_deferred.empty(); }

std::vector<std::string> take_deferred() { return std::exchange(t_deferred, {}); }

std::string poisoned_lock_message(std::string_view lock_name) {
    std::string m = "kelrad: lock for ";
    m += lock_name;
    m += " poisoned (a thread panicked while holding the lock). Recovering from poisoned state \u2014 data may be "
         "inconsistent. This is a bug; please report it.";
    return m;
}

}  // namespace warning
}  // namespace kelrad
