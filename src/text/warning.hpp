// The warning channel and the error mode.
//
// The core never calls Python. A condition worth a warning (a poisoned lock, a
// misbehaving provider) is queued on the current thread with `defer`; the
// binding layer drains the queue and issues each message through Python's
// `warnings.warn` once the operation has returned, so that no warning is ever
// issued while a native lock is held. A batch that runs with the interpreter
// lock released therefore reports its warnings after it takes the lock back.
#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "text/error.hpp"

namespace kelrad {

// What to do with a character an operation cannot handle.
enum class ErrorMode : std::uint8_t { Replace = 0, Ignore = 1, Preserve = 2 };

// Exact, case-sensitive "replace", "ignore" or "preserve".
std::expected<ErrorMode, CoreError> parse_error_mode(std::string_view value);

namespace warning {

// Queues a warning for the binding layer to issue on this thread.
void defer(std::string message);

namespace detail {
// Warnings queued on all threads and not yet taken. Every call of the binding
// asks `has_deferred`; this one relaxed load spares it the thread-local
// lookup, a call into the dynamic linker from a shared library.
extern std::atomic<std::size_t> g_queued;
bool has_deferred_here() noexcept;
}  // namespace detail

// True when this thread has queued warnings.
inline bool has_deferred() noexcept {
    return detail::g_queued.load(std::memory_order_relaxed) != 0 && detail::has_deferred_here();
}

// Hands over (and clears) this thread's queued warnings, oldest first.
std::vector<std::string> take_deferred();

// The text issued when a lock is found poisoned.
std::string poisoned_lock_message(std::string_view lock_name);

}  // namespace warning
}  // namespace kelrad
