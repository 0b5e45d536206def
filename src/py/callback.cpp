#include "py/callback.hpp"

#include <string>

#include "py/bind.hpp"
#include "py/errors.hpp"
#include "util/panic.hpp"

namespace kelrad::py {
namespace {

std::string message_of(PyObject* exception) {
    if (exception) {
        Ref text = Ref::steal(PyObject_Str(exception));
        if (text) {
            if (auto view = utf8_view(text.get())) return std::string(*view);
        }
    }
    PyErr_Clear();
    return "Unwrapped panic from Python code";
}

}  // namespace

Ref call_python(PyObject* callable, PyObject* args, PyObject* kwargs) {
    Ref result;
    try {
        result = Ref::steal(PyObject_Call(callable, args, kwargs));
    } catch (const abi::__forced_unwind&) {
        park_exiting_thread();  // the callable waited for the lock while the interpreter finalized
    }
    if (result) return result;
    // Taken out first: the class may be made now, which needs a clear indicator.
    RaisedException raised = fetch_exception();
    if (!PyErr_GivenExceptionMatches(raised.type.get(), panic_exception())) {
        restore_exception(std::move(raised));
        return result;
    }
    std::string message = message_of(raised.value.get());
    PySys_WriteStderr("kelrad: resuming an internal failure raised as PanicException inside a Python callback\n");
    PySys_WriteStderr("Python stack trace below:\n");
    restore_exception(std::move(raised));
    PyErr_PrintEx(0);
    panic(message);
}

}  // namespace kelrad::py
