// Python functions of the registries: languages, replacements and the seal.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "translit/langs.hpp"
#include "translit/replacements.hpp"
#include "translit/seal.hpp"

namespace kelrad::py {
namespace {

PyObject* none_or_raise(const std::expected<void, CoreError>& r) {
    if (!r) return raise(r.error());
    return Py_NewRef(Py_None);
}

PyObject* register_lang(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"code", Param::Required}, {"mappings", Param::Required}};
        Args in({"_register_lang", params}, args, nargs, kwnames);
        std::string_view code = in.str(0);
        auto mappings = in.str_map(1);
        if (!in) return nullptr;
        return none_or_raise(transliterate::register_lang(code, mappings));
    });
}

PyObject* register_replacements(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"replacements", Param::Required}};
        Args in({"_register_replacements", params}, args, nargs, kwnames);
        auto entries = in.str_map(0);
        if (!in) return nullptr;
        return none_or_raise(transliterate::register_replacements(entries));
    });
}

PyObject* remove_replacement(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"key", Param::Required}};
        Args in({"_remove_replacement", params}, args, nargs, kwnames);
        std::string_view key = in.str(0);
        if (!in) return nullptr;
        auto removed = transliterate::remove_replacement(key);
        if (!removed) return raise(removed.error());
        return to_py(*removed);
    });
}

PyObject* clear_replacements(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { return none_or_raise(transliterate::clear_replacements()); });
}

PyObject* seal_registrations(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        tables::seal_registrations();
        return Py_NewRef(Py_None);
    });
}

PyObject* registrations_sealed(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { return to_py(tables::registrations_sealed()); });
}

PyObject* list_langs(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { return to_py(transliterate::list_langs()); });
}

const PyMethodDef kFunctions[] = {
    noargs<list_langs>("_list_langs",
                       "_list_langs()\n--\n\n"
                       "Sorted language codes: the built-in ones and every registered one."),
    fastcall<register_lang>("_register_lang",
                            "_register_lang(code, mappings)\n--\n\n"
                            "Register (or replace) a language's mapping of single characters to text."),
    fastcall<register_replacements>("_register_replacements",
                                    "_register_replacements(replacements)\n--\n\n"
                                    "Register global pre-transliteration replacements."),
    fastcall<remove_replacement>("_remove_replacement",
                                 "_remove_replacement(key)\n--\n\n"
                                 "Remove a single global pre-transliteration replacement by key.\n"
                                 "Returns True if the key was present, False otherwise."),
    noargs<clear_replacements>("_clear_replacements",
                               "_clear_replacements()\n--\n\n"
                               "Clear all global pre-transliteration replacements."),
    noargs<seal_registrations>("_seal_registrations",
                               "_seal_registrations()\n--\n\n"
                               "Seal the registries: every later register, remove or clear call fails."),
    noargs<registrations_sealed>("_registrations_sealed",
                                 "_registrations_sealed()\n--\n\n"
                                 "True if `seal_registrations()` has been called."),
};

}  // namespace

Area registration_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
