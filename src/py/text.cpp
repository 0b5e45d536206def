// Python functions of the text primitives.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "text/punctuation.hpp"
#include "text/utils.hpp"

namespace kelrad::py {
namespace {

constexpr Param kTextParam[] = {{"text", Param::Required}};

PyObject* edit_distance(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"a", Param::Required}, {"b", Param::Required}};
        Args in({"_edit_distance", params}, args, nargs, kwnames);
        std::string_view a = in.str(0);
        std::string_view b = in.str(1);
        if (!in) return nullptr;
        return to_py(utils::edit_distance(a, b));
    });
}

PyObject* fold_punctuation(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_fold_punctuation", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::string out;
        return to_py(punctuation::fold_punctuation(text, out) ? std::string_view(out) : text);
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<edit_distance>("_edit_distance",
                            "_edit_distance(a, b)\n--\n\n"
                            "Levenshtein distance between two strings, counted in code points."),
    fastcall<fold_punctuation>("_fold_punctuation",
                               "_fold_punctuation(text)\n--\n\n"
                               "Fold typographic dashes, quotes, primes, the ellipsis, the minus sign and\n"
                               "Unicode spaces to their ASCII forms."),
};

}  // namespace

Area text_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
