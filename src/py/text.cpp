// Python functions of the text primitives.
#include <limits>

#include "py/bind.hpp"
#include "py/registry.hpp"
#include "py/results.hpp"
#include "text/case_fold.hpp"
#include "text/escape.hpp"
#include "text/grapheme.hpp"
#include "text/percent.hpp"
#include "text/punctuation.hpp"
#include "text/scripts.hpp"
#include "text/strip.hpp"
#include "text/utils.hpp"
#include "text/width.hpp"
#include "text/white_space.hpp"
#include "text/zalgo.hpp"
#include "util/utf8.hpp"

namespace kelrad::py {
namespace {

// A distance of this many table cells runs with the interpreter lock
// released; below it, releasing costs more than it gives.
constexpr std::uint64_t kReleaseCells = std::uint64_t{1} << 16;

PyObject* edit_distance(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"a", Param::Required}, {"b", Param::Required}};
        Args in({"_edit_distance", params}, args, nargs, kwnames);
        std::string_view a = in.str(0);
        std::string_view b = in.str(1);
        if (!in) return nullptr;
        const auto m = static_cast<std::size_t>(PyUnicode_GetLength(in.object(0)));
        const auto n = static_cast<std::size_t>(PyUnicode_GetLength(in.object(1)));
        std::uint64_t distance;
        if (utils::distance_cost(m, n, std::numeric_limits<std::uint64_t>::max()) >= kReleaseCells) {
            // The views stay valid: the caller holds both str objects.
            ReleasedGil released;
            distance = utils::edit_distance(a, b);
        } else {
            distance = utils::edit_distance(a, b);
        }
        return to_py(distance);
    });
}

PyObject* fold_punctuation(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_fold_punctuation", args, nargs, kwnames, [](std::string_view text) {
        std::string out;
        return to_py(punctuation::fold_punctuation(text, out) ? std::string_view(out) : text);
    });
}

PyObject* fold_case(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_fold_case", args, nargs, kwnames, [](std::string_view text) {
        // Same result as fold_case into a fresh buffer, minus the copy when
        // nothing folds; the str is built anew either way.
        std::optional<std::string> folded = case_fold::fold_case_cow(text);
        return to_py(folded ? std::string_view(*folded) : text);
    });
}

PyObject* is_case_fold_stable(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_is_case_fold_stable", args, nargs, kwnames,
                      [](std::string_view text) { return to_py(case_fold::is_case_fold_stable(text)); });
}

PyObject* detect_scripts(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_detect_scripts", args, nargs, kwnames,
                      [](std::string_view text) { return to_py(scripts::detect_scripts(text)); });
}

// Asks `test` of the whole text, or with per_word of each word until one
// answers true.
template <class Test>
bool test_text_or_words(std::string_view text, bool per_word, Test test) {
    return per_word ? any_word(text, test) : test(text);
}

constexpr Param kPerWordParams[] = {{"text", Param::Required}, {"per_word", Param::KeywordOnly}};

PyObject* is_mixed_script(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_is_mixed_script", kPerWordParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        bool per_word = in.boolean(1, false);
        if (!in) return nullptr;
        return to_py(test_text_or_words(text, per_word, scripts::is_mixed_script));
    });
}

PyObject* has_bidi_conflict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_has_bidi_conflict", kPerWordParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        bool per_word = in.boolean(1, false);
        if (!in) return nullptr;
        return to_py(
            test_text_or_words(text, per_word, [](std::string_view w) { return scripts::has_bidi_conflict(w, false); }));
    });
}

PyObject* has_bidi_control(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_has_bidi_control", args, nargs, kwnames,
                      [](std::string_view text) { return to_py(scripts::has_bidi_control(text)); });
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

PyObject* grapheme_len(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_grapheme_len", args, nargs, kwnames,
                      [](std::string_view text) { return to_py(std::uint64_t{grapheme::count(text)}); });
}

PyObject* grapheme_split(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_grapheme_split", args, nargs, kwnames, [](std::string_view text) -> PyObject* {
        // Every cluster becomes its str first, then the list is made at its
        // final size. Most clusters are one code point, whose str is made
        // directly (ASCII and Latin-1 ones are shared) rather than decoded.
        std::vector<Ref> parts;
        parts.reserve(text.size());  // pages are touched only as clusters come
        for (std::string_view cluster : grapheme::clusters(text)) {
            utf8::Decoded first = utf8::decode(cluster, 0);
            parts.push_back(first.len == cluster.size() ? Ref::steal(PyUnicode_FromOrdinal(static_cast<int>(first.cp)))
                                                        : new_str(cluster));
            if (!parts.back()) return nullptr;
        }
        return list_to_py(parts, [](Ref& part) { return part.release(); });
    });
}

PyObject* grapheme_truncate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"max_graphemes", Param::Required}};
        Args in({"_grapheme_truncate", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::int64_t max_graphemes = in.i64(1, 0);
        if (!in) return nullptr;
        if (max_graphemes < 0) return raise(CoreError(error::NegativeMaxGraphemes{max_graphemes}));
        std::size_t end = 0;
        for (auto left = static_cast<std::uint64_t>(max_graphemes); left > 0 && end < text.size(); --left) {
            end = grapheme::next_boundary(text, end);
        }
        return to_py(text.substr(0, end));
    });
}

PyObject* terminal_width(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"ambiguous_wide", Param::KeywordOnly}};
        Args in({"_terminal_width", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        bool ambiguous_wide = in.boolean(1, false);
        if (!in) return nullptr;
        return to_py(width::text_width(text, ambiguous_wide));
    });
}

PyObject* grapheme_width(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"cluster", Param::Required}, {"ambiguous_wide", Param::KeywordOnly}};
        Args in({"_grapheme_width", params}, args, nargs, kwnames);
        std::string_view cluster = in.str(0);
        bool ambiguous_wide = in.boolean(1, false);
        if (!in) return nullptr;
        return to_py(width::grapheme_width(cluster, ambiguous_wide));
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
    return text_entry(F.name, args, nargs, kwnames, [](std::string_view text) {
        std::string out;
        out.reserve(text.size());
        F.run(text, out);
        return to_py(std::string_view(out));
    });
}

PyObject* strip_tags(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_strip_tags", args, nargs, kwnames,
                      [](std::string_view text) { return to_py(std::string_view(strip::strip_tags(text))); });
}

PyObject* is_ascii(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_is_ascii", args, nargs, kwnames,
                      [](std::string_view text) { return to_py(utf8::is_ascii(text)); });
}

// Hands back the text object itself when there is nothing to escape.
PyObject* escape_html(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}};
        Args in({"_escape_html", params}, args, nargs, kwnames);
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
    fastcall<grapheme_len>("_grapheme_len",
                           "_grapheme_len(text)\n--\n\n"
                           "Number of extended grapheme clusters (user-perceived characters, UAX #29)."),
    fastcall<grapheme_split>("_grapheme_split",
                             "_grapheme_split(text)\n--\n\n"
                             "The extended grapheme clusters of the text, in order."),
    fastcall<grapheme_truncate>("_grapheme_truncate",
                                "_grapheme_truncate(text, max_graphemes)\n--\n\n"
                                "The first `max_graphemes` extended grapheme clusters of the text."),
    fastcall<terminal_width>("_terminal_width",
                             "_terminal_width(text, *, ambiguous_wide=False)\n--\n\n"
                             "Monospace terminal columns of the text: the sum of the widths of its\n"
                             "extended grapheme clusters. East Asian ambiguous characters take two\n"
                             "columns with ambiguous_wide, else one."),
    fastcall<grapheme_width>("_grapheme_width",
                             "_grapheme_width(cluster, *, ambiguous_wide=False)\n--\n\n"
                             "Terminal columns (0, 1 or 2) of the string taken as one grapheme cluster."),
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
