#include "py/results.hpp"

#include <vector>

namespace kelrad::py {

PyObject* create_result_type(const ResultClassSpec& spec, std::size_t basicsize, destructor dealloc) {
    std::vector<PyType_Slot> slots = {
        {Py_tp_doc, const_cast<char*>(spec.doc)},
        {Py_tp_getset, const_cast<PyGetSetDef*>(spec.getters)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    };
    if (spec.repr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(spec.repr)});
    if (spec.len) {
        slots.push_back({Py_sq_length, reinterpret_cast<void*>(spec.len)});
        slots.push_back({Py_mp_length, reinterpret_cast<void*>(spec.len)});
    }
    slots.push_back({0, nullptr});
    // No BASETYPE: not subclassable. No __weaklistoffset__ or __dictoffset__
    // member: no weak references and no instance dictionary.
    PyType_Spec type_spec = {
        spec.name,
        static_cast<int>(basicsize),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots.data(),
    };
    return PyType_FromSpec(&type_spec);
}

PyObject* to_py(std::span<const std::uint64_t> items) noexcept {
    return list_to_py(items, [](std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); });
}

}  // namespace kelrad::py
