// Python functions of normalization.
#include "py/batch.hpp"
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "text/normalize.hpp"

namespace kelrad::py {
namespace {

constexpr Param kTextFormParams[] = {{"text", Param::Required}, {"form", Param::KeywordOnly}};

// A str whose UTF-8 form has one byte per character is ASCII: a test in
// constant time, where scanning would read the whole text.
bool is_ascii_str(PyObject* obj, std::string_view utf8) {
    return static_cast<Py_ssize_t>(utf8.size()) == PyUnicode_GetLength(obj);
}

// A new str equal to `obj`, which came out unchanged: an ASCII one from its
// UTF-8 (one copy), any other in the interpreter's own form.
PyObject* new_copy(PyObject* obj, std::string_view utf8) { return is_ascii_str(obj, utf8) ? to_py(utf8) : copy_str(obj); }

// The form option, absent meaning NFC; nullopt with the exception set.
std::optional<normalize::Form> form_option(Args& in, std::size_t i) {
    if (in && in.raw(i) == nullptr) return normalize::Form::NFC;
    std::string_view name = in.str(i);
    if (!in) return std::nullopt;
    auto form = normalize::validate_form(name);
    if (!form) {
        raise(form.error());
        return std::nullopt;
    }
    return *form;
}

PyObject* normalize_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_normalize", kTextFormParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        auto form = form_option(in, 1);
        if (!form) return nullptr;
        std::string out;
        if (!is_ascii_str(in.raw(0), text) && normalize::normalize_cow(text, *form, out)) return to_py(out);
        return new_copy(in.raw(0), text);
    });
}

PyObject* is_normalized(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_is_normalized", kTextFormParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        auto form = form_option(in, 1);
        if (!form) return nullptr;
        return to_py(is_ascii_str(in.raw(0), text) || normalize::is_normalized(text, *form));
    });
}

PyObject* stream_safe(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}};
        Args in({"_stream_safe", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::string out;
        if (normalize::stream_safe(text, out)) return to_py(out);
        return new_copy(in.raw(0), text);
    });
}

PyObject* is_normalized_stream_safe(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_is_normalized_stream_safe", kTextFormParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        auto form = form_option(in, 1);
        if (!form) return nullptr;
        return to_py(is_ascii_str(in.raw(0), text) || normalize::is_normalized_stream_safe(text, *form));
    });
}

PyObject* normalize_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"texts", Param::Required}, {"form", Param::KeywordOnly}};
        Args in({"_normalize_batch", params}, args, nargs, kwnames);
        std::vector<std::string> texts = in.str_list(0);
        auto form = form_option(in, 1);
        if (!form) return nullptr;
        std::string out;
        return run_copy_all_batch(texts, [&](std::string& item) {
            if (normalize::normalize_cow(item, *form, out)) item.swap(out);
        });
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<normalize_text>("_normalize",
                             "_normalize(text, *, form=\"NFC\")\n--\n\n"
                             "Unicode normalization of text to NFC, NFD, NFKC or NFKD (Unicode 17.0.0)."),
    fastcall<is_normalized>("_is_normalized",
                            "_is_normalized(text, *, form=\"NFC\")\n--\n\n"
                            "True if text is already in the normalization form."),
    fastcall<stream_safe>("_stream_safe",
                          "_stream_safe(text)\n--\n\n"
                          "The Stream-Safe Text Process of UAX #15: insert U+034F COMBINING GRAPHEME JOINER\n"
                          "so that no more than 30 non-starters follow each other."),
    fastcall<is_normalized_stream_safe>("_is_normalized_stream_safe",
                                        "_is_normalized_stream_safe(text, *, form=\"NFC\")\n--\n\n"
                                        "True if text is in the normalization form and in the Stream-Safe Text\n"
                                        "Format of UAX #15."),
    fastcall<normalize_batch>("_normalize_batch",
                              "_normalize_batch(texts, *, form=\"NFC\")\n--\n\n"
                              "Normalize every text of a sequence, with the interpreter lock released;\n"
                              "at most _MAX_BATCH_SIZE texts."),
};

}  // namespace

Area normalize_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
