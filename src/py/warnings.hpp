// Issuing the core's warnings as Python warnings.
#pragma once

#include "py/ref.hpp"

#include <string_view>

namespace kelrad::py {

// `warnings.warn(message)` with the interpreter's defaults (UserWarning,
// stack level 1). If that raises (warnings configured as errors, say), the
// exception is discarded and the message goes to standard error instead.
// The caller holds the interpreter lock and no native lock.
void emit_warning(std::string_view message) noexcept;

// Issues every warning the core queued on this thread, keeping any exception
// that is already set.
void flush_deferred_warnings() noexcept;

}  // namespace kelrad::py
