// Python functions of the confusable folds, tests and reports.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "py/results.hpp"
#include "security/confusable_reports.hpp"
#include "security/confusables.hpp"

namespace kelrad::py {
namespace {

constexpr std::string_view kDefaultTarget = "latin";

PyObject* char_to_py(char32_t c) noexcept { return PyUnicode_FromOrdinal(static_cast<int>(c)); }

PyObject* is_confusable(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"target_script", Param::KeywordOnly}};
        Args in({"_is_confusable", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view target = in.str(1, kDefaultTarget);
        if (!in) return nullptr;
        auto hit = confusables::is_confusable(text, target);
        if (!hit) return raise(hit.error());
        return to_py(*hit);
    });
}

PyObject* normalize_confusables(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"text", Param::Required}, {"target_script", Param::KeywordOnly}, {"digit_policy", Param::KeywordOnly}};
        Args in({"_normalize_confusables", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view target = in.str(1, kDefaultTarget);
        std::string_view policy = in.str(2, "numeric");
        if (!in) return nullptr;
        std::string out;
        auto changed = confusables::normalize_confusables(text, target, policy, out);
        if (!changed) return raise(changed.error());
        return to_py(*changed ? std::string_view(out) : text);  // a new str either way
    });
}

PyObject* find_confusables(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required},
                                           {"target_script", Param::KeywordOnly},
                                           {"allowed_scripts", Param::KeywordOnly}};
        Args in({"_find_confusables", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view target = in.str(1, kDefaultTarget);
        std::vector<std::string> allowed;
        if (in.raw(2) != Py_None) allowed = in.str_list(2);
        if (!in) return nullptr;
        auto found = confusables::find_confusables(text, target, allowed);
        if (!found) return raise(found.error());
        return list_to_py(*found, [](const confusables::ConfusableFinding& f) {
            return Py_BuildValue("(NNN)", char_to_py(f.ch), to_py(f.offset), to_py(f.prototype));
        });
    });
}

PyObject* confusable_coverage(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"script", Param::Required}};
        Args in({"_confusable_coverage", params}, args, nargs, kwnames);
        std::string_view script = in.str(0);
        if (!in) return nullptr;
        auto row = confusables::confusable_coverage(script);
        if (!row) return raise(row.error());
        return Py_BuildValue("(NNN)", to_py(row->script), to_py(std::uint64_t{row->sources}),
                             to_py(std::uint64_t{row->folded}));
    });
}

PyObject* unmapped_confusables(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"target_script", Param::KeywordOnly}};
        Args in({"_unmapped_confusables", params}, args, nargs, kwnames);
        std::string_view target = in.str(0, kDefaultTarget);
        if (!in) return nullptr;
        auto unmapped = confusables::unmapped_confusables(target);
        if (!unmapped) return raise(unmapped.error());
        return list_to_py(*unmapped, char_to_py);
    });
}

PyObject* find_unmapped_confusables(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"target_script", Param::KeywordOnly}};
        Args in({"_find_unmapped_confusables", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view target = in.str(1, kDefaultTarget);
        if (!in) return nullptr;
        auto found = confusables::find_unmapped_confusables(text, target);
        if (!found) return raise(found.error());
        return list_to_py(*found, [](const confusables::UnmappedFinding& f) {
            return Py_BuildValue("(NN)", char_to_py(f.ch), to_py(f.offset));
        });
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<normalize_confusables>(
        "_normalize_confusables",
        "_normalize_confusables(text, *, target_script=\"latin\", digit_policy=\"numeric\")\n--\n\n"
        "Replace every confusable character by its look-alike in the target script\n"
        "('latin', 'cyrillic', 'arabic' or 'hebrew'), composing marks first, until the\n"
        "text stops changing. digit_policy 'numeric' folds styled and foreign digits to\n"
        "ASCII digits, 'tr39' (with 'latin') to their letter look-alikes, 'preserve'\n"
        "keeps them."),
    fastcall<is_confusable>("_is_confusable",
                            "_is_confusable(text, *, target_script=\"latin\")\n--\n\n"
                            "True when the text holds a character, other than printable ASCII, that\n"
                            "folds to a look-alike in the target script."),
    fastcall<unmapped_confusables>("_unmapped_confusables",
                                   "_unmapped_confusables(*, target_script=\"latin\")\n--\n\n"
                                   "The UTS #39 confusable sources that the target's map does not fold,\n"
                                   "one-character strings in code point order."),
    fastcall<confusable_coverage>("_confusable_coverage",
                                  "_confusable_coverage(script)\n--\n\n"
                                  "(script, sources, folded): how many UTS #39 sources have a prototype in\n"
                                  "the script, and how many of them the maps fold."),
    fastcall<find_confusables>(
        "_find_confusables",
        "_find_confusables(text, *, target_script=\"latin\", allowed_scripts=None)\n--\n\n"
        "(character, byte offset, look-alike) for every confusable character of the\n"
        "text, in order, leaving out characters of the allowed scripts (Common and\n"
        "Inherited characters are always reported)."),
    fastcall<find_unmapped_confusables>("_find_unmapped_confusables",
                                        "_find_unmapped_confusables(text, *, target_script=\"latin\")\n--\n\n"
                                        "(character, byte offset) for every UTS #39 confusable source of the\n"
                                        "text that the target's map does not fold, in order."),
};

}  // namespace

Area security_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
