#include "py/errors.hpp"

#include "util/panic.hpp"

namespace kelrad::py {
namespace {

constexpr const char* kKelradErrorDoc =
    "Base exception for every error kelrad raises.\n"
    "Subclass of ``ValueError`` (so existing ``except ValueError`` code keeps\n"
    "working); catch ``KelradError`` to handle any kelrad failure. The\n"
    "subclasses below categorise the failure.";
constexpr const char* kInvalidArgumentDoc =
    "An argument had an invalid value or a combination of arguments was\n"
    "contradictory (e.g. an unknown ``errors``/``form``/``lang`` value, or two\n"
    "mutually-exclusive flags). Subclass of ``kelrad.KelradError``.";
constexpr const char* kResourceLimitDoc =
    "A configured resource limit was exceeded (batch size, registration cap,\n"
    "regex length, unique-slug attempts). Subclass of ``kelrad.KelradError``.";
constexpr const char* kUnsupportedDoc =
    "A requested operation is not supported (e.g. reverse transliteration for a\n"
    "language, or auto-detecting an encoding). Subclass of ``kelrad.KelradError``.";
constexpr const char* kPanicDoc =
    "Raised when kelrad's native code fails an internal check.\n\n"
    "Like SystemExit, this exception derives from BaseException so that it\n"
    "typically propagates all the way up the stack and ends the interpreter.";

// Cells are read and filled with the interpreter lock held; once filled they
// are never cleared, so later reads need no lock of their own.
PyObject* exception_cell(PyObject*& cell, const char* qualified_name, const char* doc, PyObject* base) {
    if (cell) return cell;
    PyObject* cls = PyErr_NewExceptionWithDoc(qualified_name, doc, base, nullptr);
    if (!cls) {
        PyErr_Clear();
        panic("Failed to initialize new exception type.");
    }
    // Creating a class can run Python code (a garbage collection, say) that
    // lets another thread fill the cell meanwhile: the first class stored wins,
    // so every caller sees the same one.
    if (cell) {
        Py_DECREF(cls);
        return cell;
    }
    cell = cls;
    return cell;
}

PyObject* class_for(error::FailureClass c) {
    switch (c) {
        case error::FailureClass::InvalidArgument: return invalid_argument_error();
        case error::FailureClass::ResourceLimit: return resource_limit_error();
        case error::FailureClass::Unsupported: return unsupported_error();
        case error::FailureClass::Base: break;
    }
    return kelrad_error();
}

}  // namespace

PyObject* kelrad_error() {
    static PyObject* cell = nullptr;
    return exception_cell(cell, "kelrad.KelradError", kKelradErrorDoc, PyExc_ValueError);
}
PyObject* invalid_argument_error() {
    static PyObject* cell = nullptr;
    return exception_cell(cell, "kelrad.InvalidArgumentError", kInvalidArgumentDoc, kelrad_error());
}
PyObject* resource_limit_error() {
    static PyObject* cell = nullptr;
    return exception_cell(cell, "kelrad.ResourceLimitError", kResourceLimitDoc, kelrad_error());
}
PyObject* unsupported_error() {
    static PyObject* cell = nullptr;
    return exception_cell(cell, "kelrad.UnsupportedError", kUnsupportedDoc, kelrad_error());
}
PyObject* panic_exception() {
    static PyObject* cell = nullptr;
    return exception_cell(cell, "pyo3_runtime.PanicException", kPanicDoc, PyExc_BaseException);
}

PendingError into_py_err(const CoreError& e) {
    PendingError p{error::failure_class(e), error::message(e), std::nullopt};
    if (const auto* corrupt = std::get_if<error::ContextDictCorrupt>(&e)) {
        p.cause = corrupt->reason;
    } else if (const auto* regex = std::get_if<error::RegexCompile>(&e)) {
        p.cause = error::regex_error_text(regex->source);
    }
    return p;
}

std::nullptr_t raise(const PendingError& e) {
    PyObject* cls = class_for(e.cls);
    Ref message = new_str(e.message);
    if (!message) return nullptr;
    Ref exc = Ref::steal(PyObject_CallFunctionObjArgs(cls, message.get(), nullptr));
    if (!exc) return nullptr;
    if (e.cause) {
        Ref cause_text = new_str(*e.cause);
        if (!cause_text) return nullptr;
        PyObject* cause = PyObject_CallFunctionObjArgs(PyExc_ValueError, cause_text.get(), nullptr);
        if (!cause) return nullptr;
        PyException_SetCause(exc.get(), cause);  // steals the cause
    }
    PyErr_SetObject(cls, exc.get());
    return nullptr;
}

std::nullptr_t raise(const CoreError& e) { return raise(into_py_err(e)); }

std::nullptr_t raise_invalid_argument(std::string_view message) {
    return raise(PendingError{error::FailureClass::InvalidArgument, std::string(message), std::nullopt});
}

std::nullptr_t raise_panic(std::string_view message) {
    PyErr_Clear();  // the internal failure replaces whatever was pending
    if (message.empty()) message = "kelrad's native code failed an internal check";
    PyObject* cls = PyExc_SystemError;  // if even the class cannot be made
    try {
        cls = panic_exception();
    } catch (const Panic&) {
    }
    // A foreign exception's text (a file path, say) need not be UTF-8; it must
    // not turn the failure into a UnicodeDecodeError.
    Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(cls, text.get());
    return nullptr;
}

std::nullptr_t raise_type_error(std::string_view message) {
    Ref text = new_str(message);
    if (text) PyErr_SetObject(PyExc_TypeError, text.get());
    return nullptr;
}

}  // namespace kelrad::py
