#include "py/warnings.hpp"

#include <cstdio>

#include "text/warning.hpp"

namespace kelrad::py {

void emit_warning(std::string_view message) noexcept {
    bool issued = false;
    if (Ref module = Ref::steal(PyImport_ImportModule("warnings"))) {
        if (Ref warn = Ref::steal(PyObject_GetAttrString(module.get(), "warn"))) {
            if (Ref text = new_str(message)) {
                issued = static_cast<bool>(Ref::steal(PyObject_CallFunctionObjArgs(warn.get(), text.get(), nullptr)));
            }
        }
    }
    if (!issued) {
        PyErr_Clear();
        std::fwrite(message.data(), 1, message.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

void flush_deferred_warnings() noexcept {
    if (!warning::has_deferred()) return;
    std::vector<std::string> messages;
    try {
        messages = warning::take_deferred();
    } catch (...) {
        return;
    }
    bool had_error = PyErr_Occurred() != nullptr;
    RaisedException saved;
    if (had_error) saved = fetch_exception();
    for (const auto& m : messages) emit_warning(m);
    if (had_error) restore_exception(std::move(saved));
}

}  // namespace kelrad::py
