// Owned Python references.
//
// The only code of the module that includes Python.h lives under src/py/.
// Every file there includes this header first, so that the limited API
// version is fixed in one place.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

namespace kelrad::py {

// A strong reference, released when the Ref goes out of scope.
class Ref {
public:
    Ref() noexcept = default;
    static Ref steal(PyObject* o) noexcept { return Ref(o); }
    static Ref borrow(PyObject* o) noexcept {
        Py_XINCREF(o);
        return Ref(o);
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            Py_XDECREF(p_);
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit Ref(PyObject* o) noexcept : p_(o) {}
    PyObject* p_ = nullptr;
};

// A new str from UTF-8 bytes the core produced (always valid UTF-8).
Ref new_str(std::string_view s) noexcept;

// The currently raised exception, taken out of the error indicator and
// normalized; put back with `restore_exception`.
struct RaisedException {
    Ref type, value, traceback;
};

inline RaisedException fetch_exception() noexcept {
    PyObject *t = nullptr, *v = nullptr, *tb = nullptr;
    PyErr_Fetch(&t, &v, &tb);
    PyErr_NormalizeException(&t, &v, &tb);
    if (tb && v) PyException_SetTraceback(v, tb);
    return {Ref::steal(t), Ref::steal(v), Ref::steal(tb)};
}

inline void restore_exception(RaisedException e) noexcept {
    PyErr_Restore(e.type.release(), e.value.release(), e.traceback.release());
}

}  // namespace kelrad::py
