#include "py/configured.hpp"

#include <vector>

namespace kelrad::py {

PyObject* create_configured_type(const ConfiguredClassSpec& spec, std::size_t basicsize, destructor dealloc,
                                 traverseproc traverse, inquiry clear) {
    std::vector<PyType_Slot> slots = {
        {Py_tp_doc, const_cast<char*>(spec.doc)},
        {Py_tp_new, reinterpret_cast<void*>(spec.constructor)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    };
    if (spec.methods) slots.push_back({Py_tp_methods, const_cast<PyMethodDef*>(spec.methods)});
    if (spec.getters) slots.push_back({Py_tp_getset, const_cast<PyGetSetDef*>(spec.getters)});
    if (spec.repr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(spec.repr)});
    unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    if (traverse) {
        slots.push_back({Py_tp_traverse, reinterpret_cast<void*>(traverse)});
        slots.push_back({Py_tp_clear, reinterpret_cast<void*>(clear)});
        flags |= Py_TPFLAGS_HAVE_GC;
    }
    slots.push_back({0, nullptr});
    // As for the result classes: no BASETYPE, no weak-reference or dictionary slot.
    PyType_Spec type_spec = {spec.name, static_cast<int>(basicsize), 0, flags, slots.data()};
    return PyType_FromSpec(&type_spec);
}

}  // namespace kelrad::py
