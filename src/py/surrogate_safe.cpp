// SurrogateSafe: a callable that retries a call refused for surrogates.
//
// The module's functions take str arguments as UTF-8, which a str holding a
// surrogate code point has not, so they raise UnicodeEncodeError. The package
// wraps them in SurrogateSafe(inner, retry): a call goes to `inner` with its
// arguments unchanged, and only a UnicodeEncodeError hands the whole call to
// `retry(inner, args, kwargs)`, which scrubs the surrogates and calls again.
// The wrapper holds no policy of its own.
#include "py/ref.hpp"

#include <structmember.h>

#include <cstddef>

#include "py/bind.hpp"
#include "py/callback.hpp"
#include "py/transliterate.hpp"

namespace kelrad::py {
namespace {

struct SurrogateSafe {
    PyObject ob_base;
    PyObject* inner;   // never replaced
    PyObject* retry;   // never replaced
    PyObject* dict;    // the instance __dict__, made on first use
};

SurrogateSafe* as_wrapper(PyObject* self) noexcept { return reinterpret_cast<SurrogateSafe*>(self); }

PyObject* wrapper_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"inner", Param::Required}, {"retry", Param::Required}};
        Args in({"__new__", params, "SurrogateSafe"}, args, kwargs);
        PyObject* inner = in.object(0);
        PyObject* retry = in.object(1);
        if (!in) return nullptr;
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
        PyObject* self = alloc(type, 0);
        if (self == nullptr) return nullptr;
        as_wrapper(self)->inner = Py_NewRef(inner);
        as_wrapper(self)->retry = Py_NewRef(retry);
        as_wrapper(self)->dict = nullptr;
        return self;
    });
}

int wrapper_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_wrapper(self)->inner);
    Py_VISIT(as_wrapper(self)->retry);
    Py_VISIT(as_wrapper(self)->dict);
    return 0;
}

int wrapper_clear(PyObject* self) {
    Py_CLEAR(as_wrapper(self)->inner);
    Py_CLEAR(as_wrapper(self)->retry);
    Py_CLEAR(as_wrapper(self)->dict);
    return 0;
}

void wrapper_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    wrapper_clear(self);
    auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_fn(self);
    Py_DECREF(type);
}

PyObject* wrapper_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        // The retry receives the very tuple `inner` received, and a copy of
        // the keywords (None when there were none).
        Ref keywords;
        if (kwargs != nullptr && PyDict_Size(kwargs) > 0) {
            keywords = Ref::steal(PyDict_Copy(kwargs));
            if (!keywords) return nullptr;
        }
        PyObject* inner = as_wrapper(self)->inner;
        Ref result = call_python(inner, args, keywords.get());
        if (result || !PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return result.release();
        PyErr_Clear();
        Ref retry_args = Ref::steal(PyTuple_Pack(3, inner, args, keywords ? keywords.get() : Py_None));
        if (!retry_args) return nullptr;
        return call_python(as_wrapper(self)->retry, retry_args.get()).release();
    });
}

// types.MethodType, looked up once; the limited API has no bound-method
// constructor of its own.
PyObject* method_type() {
    static PyObject* cell = nullptr;
    if (cell == nullptr) {
        Ref types = Ref::steal(PyImport_ImportModule("types"));
        if (!types) return nullptr;
        PyObject* found = PyObject_GetAttrString(types.get(), "MethodType");
        if (found == nullptr) return nullptr;
        // The import may have let another thread fill the cell meanwhile.
        if (cell == nullptr) {
            cell = found;
        } else {
            Py_DECREF(found);
        }
    }
    return cell;
}

// Binds like a Python function, so that an instance stored on a class
// serves as a method.
PyObject* wrapper_get(PyObject* self, PyObject* obj, PyObject*) {
    return guarded([&]() -> PyObject* {
        if (obj == nullptr || obj == Py_None) return Py_NewRef(self);
        PyObject* method = method_type();
        if (method == nullptr) return nullptr;
        return PyObject_CallFunctionObjArgs(method, self, obj, nullptr);
    });
}

PyMemberDef kMembers[] = {
    {"__dictoffset__", T_PYSSIZET, offsetof(SurrogateSafe, dict), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef kGetSet[] = {
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char kDoc[] =
    "SurrogateSafe(inner, retry)\n--\n\n"
    "A _core function guarded by the scrub-and-retry: a call goes to `inner` with its\n"
    "arguments unchanged; only when it raises UnicodeEncodeError (a str argument holds\n"
    "surrogates) is the call handed to `retry(inner, args, kwargs)`, kwargs None when\n"
    "there were no keyword arguments.\n\n"
    "Instances have a __dict__, so that functools.update_wrapper can set __name__,\n"
    "__doc__ and __wrapped__ on them.\n\n"
    "__get__ binds an instance as a method, as a Python function binds, because the\n"
    "package guards the __call__ of its stateful classes with it.";

PyObject* create_type() {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(kDoc)},
        {Py_tp_new, reinterpret_cast<void*>(wrapper_new)},
        {Py_tp_dealloc, reinterpret_cast<void*>(wrapper_dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(wrapper_traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(wrapper_clear)},
        {Py_tp_call, reinterpret_cast<void*>(wrapper_call)},
        {Py_tp_descr_get, reinterpret_cast<void*>(wrapper_get)},
        {Py_tp_members, kMembers},
        {Py_tp_getset, kGetSet},
        {0, nullptr},
    };
    // No BASETYPE: not subclassable. No __weaklistoffset__: no weak references.
    PyType_Spec spec = {
        "kelrad._core.SurrogateSafe",
        static_cast<int>(sizeof(SurrogateSafe)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    return PyType_FromSpec(&spec);
}

}  // namespace

PyObject* surrogate_safe_type() {
    static PyObject* type = create_type();
    return type;
}

}  // namespace kelrad::py
