// Python functions of the text primitives.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "text/escape.hpp"
#include "text/percent.hpp"
#include "text/punctuation.hpp"
#include "text/strip.hpp"
#include "text/utils.hpp"
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

// A filter of the strip family under its Python name.
struct Filter {
    std::string_view name;
    void (*run)(std::string_view, std::string&);
};

constexpr Filter kCollapseWhitespace{"_collapse_whitespace", strip::collapse_whitespace};
constexpr Filter kStripControlChars{"_strip_control_chars", strip::strip_control_chars};
constexpr Filter kStripZeroWidthChars{"_strip_zero_width_chars", strip::strip_zero_width_chars};
constexpr Filter kStripBidi{"_strip_bidi", strip::strip_bidi};
constexpr Filter kStripPua{"_strip_pua", strip::strip_pua};
constexpr Filter kStripNoncharacters{"_strip_noncharacters", strip::strip_noncharacters};
constexpr Filter kStripVariationSelectors{"_strip_variation_selectors", strip::strip_variation_selectors};

// One text in, a new str out, also when nothing was removed.
template <const Filter& F>
PyObject* filter_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({F.name, kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::string out;
        out.reserve(text.size());
        F.run(text, out);
        return to_py(std::string_view(out));
    });
}

PyObject* strip_tags(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_strip_tags", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        return to_py(std::string_view(strip::strip_tags(text)));
    });
}

PyObject* is_ascii(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_is_ascii", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        return to_py(utf8::is_ascii(text));
    });
}

// Hands back the text object itself when there is nothing to escape.
PyObject* escape_html(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_escape_html", kTextParam}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::string out;
        if (!escape::escape_html(text, out)) return Py_NewRef(in.object(0));
        return to_py(std::string_view(out));
    });
}

PyObject* percent_encode(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"component", Param::KeywordOnlyRequired}};
        Args in({"_percent_encode", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view component = in.str(1);
        if (!in) return nullptr;
        auto parsed = percent::parse_url_component(component);
        if (!parsed) return raise_invalid_argument(percent::unknown_component_message(component));
        std::string out;
        percent::percent_encode(text, *parsed, out);
        return to_py(std::string_view(out));
    });
}

// Hands back the text object itself when nothing is neutralized.
PyObject* strip_log_injection(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required},
                                           {"replacement", Param::KeywordOnlyRequired},
                                           {"keep_tab", Param::KeywordOnlyRequired}};
        Args in({"_strip_log_injection", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view replacement = in.str(1);
        bool keep_tab = in.boolean(2, false);
        if (!in) return nullptr;
        std::string out;
        auto changed = escape::strip_log_injection(text, replacement, keep_tab, out);
        if (!changed) return raise(changed.error());
        if (!*changed) return Py_NewRef(in.object(0));
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
    fastcall<is_ascii>("_is_ascii",
                       "_is_ascii(text)\n--\n\n"
                       "True when every character of the text is below U+0080."),
    fastcall<strip_log_injection>(
        "_strip_log_injection",
        "_strip_log_injection(text, *, replacement, keep_tab)\n--\n\n"
        "Replace the characters that can split or forge a log line (C0 and C1\n"
        "controls, DEL, U+2028, U+2029; TAB too unless keep_tab) with replacement.\n"
        "Returns the text itself when it holds none of them."),
    fastcall<escape_html>("_escape_html",
                          "_escape_html(text)\n--\n\n"
                          "Escape & < > \" ' for HTML text and attribute values.\n"
                          "Returns the text itself when it holds none of them."),
    fastcall<percent_encode>("_percent_encode",
                             "_percent_encode(text, *, component)\n--\n\n"
                             "Percent-encode the UTF-8 bytes of text for one URL component:\n"
                             "'path', 'segment', 'query' or 'form' (space as '+')."),
    fastcall<filter_text<kCollapseWhitespace>>(
        "_collapse_whitespace",
        "_collapse_whitespace(text)\n--\n\n"
        "Fold every run of whitespace into one space and trim both ends."),
    fastcall<filter_text<kStripControlChars>>(
        "_strip_control_chars",
        "_strip_control_chars(text)\n--\n\n"
        "Remove C0 and C1 control characters, keeping the whitespace controls."),
    fastcall<filter_text<kStripZeroWidthChars>>("_strip_zero_width_chars",
                                                         "_strip_zero_width_chars(text)\n--\n\n"
                                                         "Remove zero-width characters."),
    fastcall<filter_text<kStripBidi>>(
        "_strip_bidi",
        "_strip_bidi(text)\n--\n\n"
        "Remove bidirectional controls and invisible format characters, keeping\n"
        "the stored order of the rest."),
    fastcall<strip_tags>("_strip_tags",
                         "_strip_tags(text)\n--\n\n"
                         "Remove Unicode tag characters, keeping emoji flag tag sequences."),
    fastcall<filter_text<kStripVariationSelectors>>("_strip_variation_selectors",
                                                            "_strip_variation_selectors(text)\n--\n\n"
                                                            "Remove variation selectors VS1-VS256."),
    fastcall<filter_text<kStripNoncharacters>>("_strip_noncharacters",
                                                      "_strip_noncharacters(text)\n--\n\n"
                                                      "Remove the 66 noncharacter code points."),
    fastcall<filter_text<kStripPua>>("_strip_pua",
                                            "_strip_pua(text)\n--\n\n"
                                            "Remove private-use code points."),
};

}  // namespace

Area text_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
