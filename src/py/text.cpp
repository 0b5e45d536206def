// Python functions of the text primitives.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "text/case_fold.hpp"
#include "text/punctuation.hpp"
#include "text/scripts.hpp"
#include "text/utils.hpp"
#include "text/zalgo.hpp"
#include "util/utf8.hpp"

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

PyObject* fold_case(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_fold_case", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        // Same result as fold_case into a fresh buffer, minus the copy when
        // nothing folds; the str is built anew either way.
        std::optional<std::string> folded = case_fold::fold_case_cow(text);
        return to_py(folded ? std::string_view(*folded) : text);
    });
}

PyObject* is_case_fold_stable(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_is_case_fold_stable", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        return to_py(case_fold::is_case_fold_stable(text));
    });
}

PyObject* detect_scripts(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_detect_scripts", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::vector<scripts::Script> found = scripts::detect_scripts(text);
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(found.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < found.size(); ++i) {
            PyObject* name = to_py(found[i]);
            if (name == nullptr) return nullptr;
            PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), name);
        }
        return list.release();
    });
}

// Unicode White_Space (PropList.txt), the separator of per-word tests.
bool is_white_space(char32_t cp) noexcept {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

// Asks `test` of the whole text, or with per_word of each run of characters
// between runs of White_Space (empty words skipped) until one answers true.
template <class Test>
bool any_word(std::string_view text, bool per_word, Test test) {
    if (!per_word) return test(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        if (is_white_space(cp)) {
            if (i > start && test(text.substr(start, i - start))) return true;
            start = i + len;
        }
        i += len;
    }
    return start < text.size() && test(text.substr(start));
}

constexpr Param kPerWordParams[] = {{"text", Param::Required}, {"per_word", Param::KeywordOnly}};

PyObject* is_mixed_script(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_is_mixed_script", kPerWordParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        bool per_word = in.boolean(1, false);
        if (!in) return nullptr;
        return to_py(any_word(text, per_word, scripts::is_mixed_script));
    });
}

PyObject* has_bidi_conflict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_has_bidi_conflict", kPerWordParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        bool per_word = in.boolean(1, false);
        if (!in) return nullptr;
        return to_py(
            any_word(text, per_word, [](std::string_view w) { return scripts::has_bidi_conflict(w, false); }));
    });
}

PyObject* has_bidi_control(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_has_bidi_control", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        return to_py(scripts::has_bidi_control(text));
    });
}

// The default of `threshold` and `max_marks` (the module constants
// _DEFAULT_ZALGO_THRESHOLD and _DEFAULT_ZALGO_MAX_MARKS).
constexpr std::uint64_t kDefaultZalgoLimit = 3;

PyObject* is_zalgo(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"threshold", Param::KeywordOnly}};
        Args in({"_is_zalgo", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::uint64_t threshold = in.u64(1, kDefaultZalgoLimit);
        if (!in) return nullptr;
        return to_py(!utf8::is_ascii(text) && zalgo::is_zalgo(text, threshold));
    });
}

PyObject* strip_zalgo(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"max_marks", Param::KeywordOnly}};
        Args in({"_strip_zalgo", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::uint64_t max_marks = in.u64(1, kDefaultZalgoLimit);
        if (!in) return nullptr;
        std::string out;
        zalgo::strip_zalgo(text, max_marks, out);
        return to_py(std::string_view(out));
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
    fastcall<fold_case>("_fold_case",
                        "_fold_case(text)\n--\n\n"
                        "Full Unicode case folding (CaseFolding.txt statuses C and F) for caseless\n"
                        "comparison: 'Stra\u00dfe' folds to 'strasse'."),
    fastcall<is_case_fold_stable>("_is_case_fold_stable",
                                  "_is_case_fold_stable(text)\n--\n\n"
                                  "True when case folding the text gives the same string as lower-casing it."),
    fastcall<detect_scripts>("_detect_scripts",
                             "_detect_scripts(text)\n--\n\n"
                             "Distinct scripts of the text in order of first appearance, without\n"
                             "'Common' and 'Inherited'."),
    fastcall<is_mixed_script>("_is_mixed_script",
                              "_is_mixed_script(text, *, per_word=False)\n--\n\n"
                              "True when the text mixes scripts in a way that suggests spoofing; Han may\n"
                              "combine with Hiragana, Katakana, Hangul or Bopomofo. With per_word, each\n"
                              "whitespace-separated word is tested on its own."),
    fastcall<has_bidi_conflict>("_has_bidi_conflict",
                                "_has_bidi_conflict(text, *, per_word=False)\n--\n\n"
                                "True when the text holds both strong left-to-right and strong right-to-left\n"
                                "characters. With per_word, each whitespace-separated word is tested on its own."),
    fastcall<has_bidi_control>("_has_bidi_control",
                               "_has_bidi_control(text)\n--\n\n"
                               "True when the text holds a bidirectional control character (UAX #9)."),
    fastcall<is_zalgo>("_is_zalgo",
                       "_is_zalgo(text, *, threshold=...)\n--\n\n"
                       "True when some character carries more than `threshold` combining marks of one\n"
                       "combining class (default 3). One negation overlay on a symbol, as in '=\u0338',\n"
                       "is not counted."),
    fastcall<strip_zalgo>("_strip_zalgo",
                          "_strip_zalgo(text, *, max_marks=...)\n--\n\n"
                          "Keep at most `max_marks` combining marks of each class per character\n"
                          "(default 3) and return the NFC form of the result."),
};

}  // namespace

Area text_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
