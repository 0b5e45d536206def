// Internal failures.
//
// Errors that a caller can provoke are values (`CoreError`). A violated
// internal invariant is different: the operation cannot continue, so it stops
// at once by throwing `Panic`, which the binding layer catches at every entry
// and turns into the internal-failure exception. A write guard unwound by a
// Panic marks its lock poisoned (see lock.hpp).
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace kelrad {

class Panic : public std::exception {
public:
    explicit Panic(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

[[noreturn]] inline void panic(std::string_view message) { throw Panic(std::string(message)); }

}  // namespace kelrad

// Asserts an invariant with a fixed message.
#define KELRAD_ASSERT(cond, message)              \
    do {                                          \
        if (!(cond)) [[unlikely]] {               \
            ::kelrad::panic(message);             \
        }                                         \
    } while (0)
