// Exception classes and error delivery.
//
// The four exception classes live in process-wide cells, filled at import
// (base class first) or on first use. A `CoreError` becomes a `PendingError`
// without touching Python, so a batch can convert it with the interpreter lock
// released; `raise` then sets it as the current exception.
#pragma once

#include "py/ref.hpp"

#include <optional>
#include <string>

#include "text/error.hpp"

namespace kelrad::py {

PyObject* kelrad_error();            // kelrad.KelradError, a ValueError
PyObject* invalid_argument_error();  // kelrad.InvalidArgumentError
PyObject* resource_limit_error();    // kelrad.ResourceLimitError
PyObject* unsupported_error();       // kelrad.UnsupportedError
PyObject* panic_exception();         // the internal-failure class, a BaseException

// An exception ready to be raised: its class, its one argument, and for the
// variants that carry one the text of the ValueError set as `__cause__`.
struct PendingError {
    error::FailureClass cls;
    std::string message;
    std::optional<std::string> cause;
};

PendingError into_py_err(const CoreError& e);

// Sets the exception; always returns nullptr so entries can `return raise(...)`.
std::nullptr_t raise(const PendingError& e);
std::nullptr_t raise(const CoreError& e);

// Raises InvalidArgumentError with a message of the caller's own.
std::nullptr_t raise_invalid_argument(std::string_view message);

// Raises the internal-failure exception with the failure's message.
std::nullptr_t raise_panic(std::string_view message);

// Raises TypeError with the given message.
std::nullptr_t raise_type_error(std::string_view message);

}  // namespace kelrad::py
