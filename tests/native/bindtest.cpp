// kelrad_bindtest: a test-only module, never installed, that exercises the
// binding layer with signatures the real functions do not all have yet.
#include "py/bind.hpp"
#include "py/errors.hpp"
#include "text/lock.hpp"

#include <stdexcept>

namespace kelrad::py {
namespace {

using P = Param;

PyObject* none() { return Py_NewRef(Py_None); }

PyObject* three(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"a", P::Required}, {"b", P::Required}, {"c", P::Required}};
        Args in({"three", params}, args, nargs, kwnames);
        return in ? none() : nullptr;
    });
}

PyObject* keyword_three(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"x", P::KeywordOnlyRequired}, {"y", P::KeywordOnlyRequired}, {"z", P::KeywordOnlyRequired}};
        Args in({"keyword_three", params}, args, nargs, kwnames);
        return in ? none() : nullptr;
    });
}

// Converts each parameter and returns the converted values as a tuple.
PyObject* convert(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", P::Required},   {"flag", P::KeywordOnly},
                                           {"count", P::KeywordOnly}, {"signed", P::KeywordOnly},
                                           {"ratio", P::KeywordOnly}, {"data", P::KeywordOnly},
                                           {"texts", P::KeywordOnly}, {"lang", P::KeywordOnly},
                                           {"form", P::KeywordOnly}, {"mapping", P::KeywordOnly},
                                           {"handle", P::KeywordOnly}};
        Args in({"convert", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        bool flag = in.boolean(1, false);
        std::uint64_t count = in.u64(2, 3);
        std::int64_t sgn = in.i64(3, -1);
        double ratio = in.f64(4, 0.5);
        std::string_view data = in.raw(5) ? in.bytes(5) : std::string_view("-");
        std::vector<std::string> texts = in.str_list(6);
        std::optional<std::string_view> lang = in.optional_str(7);
        std::string_view form = in.str(8, "NFC");
        auto mapping = in.str_map(9);
        PyObject* handle = in.raw(10) ? in.instance(10, &PyDict_Type, "Lexicon") : nullptr;
        if (!in) return nullptr;
        if (handle) return Py_NewRef(handle);
        if (in.raw(9)) {
            std::vector<std::string> flat;
            for (auto& [k, v] : mapping) flat.push_back(k + "=" + v);
            return to_py(flat);
        }
        // "N" takes each new reference; a null one (a failed conversion) makes the call fail.
        return Py_BuildValue("(NNNNNNNNN)", to_py(text), to_py(flag), to_py(count), to_py(sgn), to_py(ratio),
                             bytes_to_py(data), to_py(texts), lang ? to_py(*lang) : Py_NewRef(Py_None), to_py(form));
    });
}

// The constructor form: a tuple and a dict, bound by the same rules.
PyObject* constructor_form(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"words", P::Required}, {"limit", P::KeywordOnly}};
        Args in({"__new__", params, "Lexicon"}, args, kwargs);
        std::vector<std::string> words = in.str_list(0);
        std::uint64_t limit = in.u64(1, 0);
        if (!in) return nullptr;
        return Py_BuildValue("(NN)", to_py(words), to_py(limit));
    });
}

// Poisons a named lock through an internal failure under its write guard,
// then reads it: the read succeeds and the warning is issued afterwards, also
// when the call then fails.
PyObject* poisoned_read(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"times", P::Required}, {"fail", P::KeywordOnly}};
        Args in({"poisoned_read", params}, args, nargs, kwnames);
        std::uint64_t times = in.u64(0, 0);
        bool fail = in.boolean(1, false);
        if (!in) return nullptr;
        static sync::RwLock<std::uint64_t> lock("TEST_REGISTRY");
        if (!lock.is_poisoned()) {
            try {
                auto g = lock.write();
                *g = 42;
                panic("poisoning on purpose");
            } catch (const Panic&) {
            }
        }
        std::uint64_t sum = 0;
        for (std::uint64_t i = 0; i < times; ++i) sum += *lock.read();
        if (fail) return raise(error::BatchTooLarge{sum, 0});
        return to_py(sum);
    });
}

PyObject* internal_failure(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { panic("an invariant failed"); });
}

// A C++ exception of another kind, whose text is not UTF-8.
PyObject* foreign_exception(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { throw std::runtime_error("cannot open /tmp/\xff"); });
}

PyObject* allocation_failure(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { throw std::bad_alloc(); });
}

PyObject* core_error(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"which", P::Required}};
        Args in({"core_error", params}, args, nargs, kwnames);
        std::string_view which = in.str(0);
        if (!in) return nullptr;
        if (which == "corrupt") return raise(error::ContextDictCorrupt{"arabic", "bad magic"});
        if (which == "regex") {
            return raise(error::RegexCompile{"(", {error::RegexError::Kind::Syntax, "missing ): (", 0}});
        }
        if (which == "batch") return raise(error::BatchTooLarge{100001, 100000});
        if (which == "sealed") return raise(error::Sealed{"register_lang"});
        if (which == "untranslatable") return raise(error::Untranslatable{U'\u3001', 0});
        return raise(error::InvalidErrorMode{std::string(which)});
    });
}

PyMethodDef kMethods[] = {
    fastcall<three>("three", "three(a, b, c)\n--\n\n"),
    fastcall<keyword_three>("keyword_three", "keyword_three(*, x, y, z)\n--\n\n"),
    fastcall<convert>("convert", nullptr),
    {"constructor_form", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(constructor_form)),
     METH_VARARGS | METH_KEYWORDS, nullptr},
    fastcall<poisoned_read>("poisoned_read", nullptr),
    noargs<internal_failure>("internal_failure", nullptr),
    noargs<foreign_exception>("foreign_exception", nullptr),
    noargs<allocation_failure>("allocation_failure", nullptr),
    fastcall<core_error>("core_error", nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "kelrad_bindtest", nullptr, 0, kMethods,
                       nullptr,               nullptr,           nullptr, nullptr};

}  // namespace
}  // namespace kelrad::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_kelrad_bindtest() {
    return PyModule_Create(&kelrad::py::kModule);
}
