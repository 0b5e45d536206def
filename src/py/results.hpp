// Result classes: small read-only heap types that each hold one native record.
//
// A result class is created once per process, on first use (module import at
// the latest), under the dotted name "builtins.<Name>". It has no constructor
// (instantiating it is the interpreter's TypeError), cannot be subclassed,
// has no instance dictionary and no weak-reference slot, and exposes its
// record through read-only properties that build a new Python object on every
// read. The record never changes after creation, so reads need no lock.
//
//     struct NearestMatchRecord { std::string value; std::uint64_t distance; };
//
//     PyObject* get_value(const NearestMatchRecord& r) { return to_py(r.value); }
//     const PyGetSetDef kGetters[] = {
//         {"value", getter<NearestMatchRecord, get_value>, nullptr, "The candidate ...", nullptr},
//         {nullptr, nullptr, nullptr, nullptr, nullptr}};
//
//     PyObject* nearest_match_type() {
//         static PyObject* type = result_type<NearestMatchRecord>({.name = "builtins.NearestMatch", ...});
//         return type;
//     }
//
//     return new_result(nearest_match_type(), NearestMatchRecord{...});
#pragma once

#include "py/ref.hpp"

#include <cstddef>
#include <cstdint>
#include <new>
#include <ranges>
#include <span>
#include <string>
#include <utility>

#include "py/bind.hpp"

namespace kelrad::py {

template <class T>
struct Boxed {
    PyObject ob_base;
    T value;
};

template <class T>
T& record_of(PyObject* self) noexcept {
    return reinterpret_cast<Boxed<T>*>(self)->value;
}

// What a result class shows: its dotted name, docstring, the null-terminated
// getter table and the optional slots.
struct ResultClassSpec {
    const char* name;
    const char* doc;
    const PyGetSetDef* getters;
    reprfunc repr = nullptr;  // nullptr: the interpreter's default representation
    lenfunc len = nullptr;    // nullptr: no len()
};

// Creates the heap type (new reference), or returns nullptr with the exception set.
PyObject* create_result_type(const ResultClassSpec& spec, std::size_t basicsize, destructor dealloc);

template <class T>
void dealloc_record(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    record_of<T>(self).~T();
    auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_fn(self);
    Py_DECREF(type);
}

template <class T>
PyObject* result_type(const ResultClassSpec& spec) {
    return create_result_type(spec, sizeof(Boxed<T>), dealloc_record<T>);
}

// A new object of the result class holding `value`.
template <class T>
PyObject* new_result(PyObject* type, T value) {
    if (!type) return nullptr;
    PyObject* self = PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(type), 0);
    if (!self) return nullptr;
    new (&record_of<T>(self)) T(std::move(value));
    return self;
}

// The read-only property getter reading the record through `Get`.
template <class T, PyObject* (*Get)(const T&)>
PyObject* getter(PyObject* self, void*) noexcept {
    return guarded([&] { return Get(record_of<T>(self)); });
}

// The __repr__ slot built from `Repr`, which returns UTF-8 text.
template <class T, std::string (*Repr)(const T&)>
PyObject* repr_slot(PyObject* self) noexcept {
    return guarded([&] { return to_py(std::string_view(Repr(record_of<T>(self)))); });
}

// A new list of the objects `convert` makes of the items, in order (each
// item by reference, so that `convert` may move from it); nullptr with the
// exception set when one of them cannot be made.
template <class Range, class Convert>
PyObject* list_to_py(Range&& items, Convert&& convert) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::ranges::size(items))));
    if (!list) return nullptr;
    Py_ssize_t i = 0;
    for (auto&& item : items) {
        PyObject* object = convert(item);
        if (!object) return nullptr;  // the list frees the items set so far
        PyList_SetItem(list.get(), i++, object);  // steals the object
    }
    return list.release();
}

// "[a, b]" for a representation: each item as `render` writes it.
template <class Range, class Render>
std::string repr_list(const Range& items, Render&& render) {
    std::string out = "[";
    for (const auto& item : items) {
        if (out.size() > 1) out += ", ";
        out += render(item);
    }
    return out + "]";
}

// A new list of new ints.
PyObject* to_py(std::span<const std::uint64_t> items) noexcept;
// A new list of the interpreter's True and False (any range of bool,
// std::vector<bool> included).
template <class Range>
PyObject* bool_list_to_py(const Range& items) noexcept {
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return nullptr;
    for (bool b : items) {
        if (PyList_Append(list.get(), b ? Py_True : Py_False) < 0) return nullptr;
    }
    return list.release();
}

}  // namespace kelrad::py
