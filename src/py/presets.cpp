// Python functions of the presets and the canonical check.
#include "presets/presets.hpp"
#include "presets/profiles.hpp"
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "security/confusables.hpp"

namespace kelrad::py {
namespace {

using presets::DigitPolicy;

constexpr std::string_view kDefaultDigitPolicy = "numeric";

// A new str of the text. CPython decodes UTF-8 into an ASCII buffer that it
// widens and copies at the first other character, which costs as much as a
// whole preset on a short clean name; a short text whose characters are all
// below U+0100 is handed over as Latin-1 instead, measured and copied once.
PyObject* new_text_str(std::string_view text) noexcept {
    constexpr std::size_t kMaxLatin1 = 256;
    char latin1[kMaxLatin1];
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size() && text.size() <= kMaxLatin1; ++i, ++n) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            latin1[n] = static_cast<char>(b);
        } else if (b == 0xC2 || b == 0xC3) {  // U+0080..U+00FF
            latin1[n] = static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F));
        } else {
            return to_py(text);
        }
    }
    if (text.size() > kMaxLatin1) return to_py(text);
    return PyUnicode_DecodeLatin1(latin1, static_cast<Py_ssize_t>(n), nullptr);
}

// The preset's text as a new str: its result, or its input copied.
PyObject* preset_result(std::string_view text, const std::expected<bool, CoreError>& changed, const std::string& out) {
    if (!changed) return raise(changed.error());
    return new_text_str(*changed ? std::string_view(out) : text);
}

// The entry of a preset whose only option is the digit policy:
// `name(text, *, digit_policy="numeric")`.
template <std::expected<bool, CoreError> (*Preset)(std::string_view, DigitPolicy, std::string&)>
PyObject* policy_preset(std::string_view function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"digit_policy", Param::KeywordOnly}};
        Args in({function, params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view policy_name = in.str(1, kDefaultDigitPolicy);
        if (!in) return nullptr;
        auto policy = confusables::parse_digit_policy(policy_name);
        if (!policy) return raise(policy.error());
        std::string out;
        return preset_result(text, Preset(text, *policy, out), out);
    });
}

PyObject* canonicalize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return policy_preset<presets::canonicalize>("_canonicalize", args, nargs, kwnames);
}

PyObject* canonicalize_strict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return policy_preset<presets::canonicalize_strict>("_canonicalize_strict", args, nargs, kwnames);
}

PyObject* strip_obfuscation(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return policy_preset<presets::strip_obfuscation>("_strip_obfuscation", args, nargs, kwnames);
}

PyObject* strip_format(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_strip_format", args, nargs, kwnames, [](std::string_view text) {
        std::string out;
        return new_text_str(presets::strip_format(text, out) ? std::string_view(out) : text);
    });
}

PyObject* skeleton_key(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"digit_policy", Param::KeywordOnly}};
        Args in({"_skeleton_key", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view policy = in.str(1, kDefaultDigitPolicy);  // parsed by the preset
        if (!in) return nullptr;
        std::string out;
        return preset_result(text, presets::skeleton_key(text, policy, out), out);
    });
}

// `name(text, *, lang=None, digit_policy="numeric")`.
template <std::expected<bool, CoreError> (*Preset)(std::string_view, std::optional<std::string_view>, DigitPolicy,
                                                   std::string&)>
PyObject* key_preset(std::string_view function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"text", Param::Required}, {"lang", Param::KeywordOnly}, {"digit_policy", Param::KeywordOnly}};
        Args in({function, params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::optional<std::string_view> lang = in.optional_str(1);
        std::string_view policy_name = in.str(2, kDefaultDigitPolicy);
        if (!in) return nullptr;
        auto policy = confusables::parse_digit_policy(policy_name);
        if (!policy) return raise(policy.error());
        std::string out;
        return preset_result(text, Preset(text, lang, *policy, out), out);
    });
}

PyObject* sort_key(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return key_preset<presets::sort_key>("_sort_key", args, nargs, kwnames);
}

PyObject* search_key(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return key_preset<presets::search_key>("_search_key", args, nargs, kwnames);
}

PyObject* catalog_key(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required},
                                           {"lang", Param::KeywordOnly},
                                           {"strict_iso9", Param::KeywordOnly},
                                           {"digit_policy", Param::KeywordOnly}};
        Args in({"_catalog_key", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::optional<std::string_view> lang = in.optional_str(1);
        bool strict_iso9 = in.boolean(2, false);
        std::string_view policy_name = in.str(3, kDefaultDigitPolicy);
        if (!in) return nullptr;
        auto policy = confusables::parse_digit_policy(policy_name);
        if (!policy) return raise(policy.error());
        std::string out;
        return preset_result(text, presets::catalog_key(text, lang, strict_iso9, *policy, out), out);
    });
}

PyObject* ml_normalize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required},
                                           {"lang", Param::KeywordOnly},
                                           {"emoji_style", Param::KeywordOnly},
                                           {"fold_case", Param::KeywordOnly}};
        Args in({"_ml_normalize", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::optional<std::string_view> lang = in.optional_str(1);
        std::string_view emoji_style = in.str(2, "cldr");
        bool fold_case = in.boolean(3, true);
        if (!in) return nullptr;
        std::string out;
        return preset_result(text, presets::ml_normalize(text, lang, emoji_style, fold_case, out), out);
    });
}

PyObject* is_canonical(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"preset", Param::KeywordOnly}};
        Args in({"_is_canonical", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view name = in.str(1, "canonicalize");
        if (!in) return nullptr;
        // A name that is not a preset's is a profile's.
        std::optional<presets::Preset> preset = presets::preset_named(name);
        auto canonical = preset ? presets::is_canonical(text, *preset) : profiles::is_canonical(text, name);
        if (!canonical) return raise(canonical.error());
        return to_py(*canonical);
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<canonicalize>(
        "_canonicalize",
        "_canonicalize(text, *, digit_policy=\"numeric\")\n--\n\n"
        "The canonical form of untrusted text: editing controls replayed, NFKC,\n"
        "direction, format, control and zero-width characters removed, whitespace\n"
        "collapsed, at most 3 marks per base, confusable characters folded to Latin,\n"
        "NFC. digit_policy 'tr39' or 'preserve' first folds the whole text to Latin\n"
        "look-alikes with that treatment of digits."),
    fastcall<is_canonical>(
        "_is_canonical",
        "_is_canonical(text, *, preset=\"canonicalize\")\n--\n\n"
        "True when the preset (or alias: security_clean, normalize_user_input,\n"
        "display_clean) would return the text unchanged. Any other name is that of\n"
        "a named profile (_list_profiles), whose pipeline is run to compare."),
    fastcall<skeleton_key>(
        "_skeleton_key",
        "_skeleton_key(text, *, digit_policy=\"numeric\")\n--\n\n"
        "A key under which look-alike texts agree (after UTS #39 skeletons): NFKC,\n"
        "confusables folded to Latin, case folded, 'I' as 'l' (and under 'tr39' '0'\n"
        "as 'O', '1' as 'l'), repeated until it settles, whitespace collapsed."),
    fastcall<ml_normalize>(
        "_ml_normalize",
        "_ml_normalize(text, *, lang=None, emoji_style=\"cldr\", fold_case=True)\n--\n\n"
        "Text prepared for machine learning: NFKC, emoji as their CLDR names\n"
        "(emoji_style 'none' keeps them), transliterated when lang is given, accents\n"
        "stripped, case folded unless fold_case is False, controls and zero-width\n"
        "characters removed, whitespace collapsed."),
    fastcall<catalog_key>(
        "_catalog_key",
        "_catalog_key(text, *, lang=None, strict_iso9=False, digit_policy=\"numeric\")\n--\n\n"
        "A key for library catalogues: NFKC, case folded, transliterated to ASCII\n"
        "(strict_iso9 selects ISO 9 for Cyrillic), confusables folded to Latin,\n"
        "accents stripped, whitespace collapsed."),
    fastcall<strip_format>("_strip_format",
                           "_strip_format(text)\n--\n\n"
                           "The text without direction, format, control and zero-width characters\n"
                           "and with whitespace collapsed; private-use characters and emoji\n"
                           "presentation selectors stay."),
    fastcall<search_key>(
        "_search_key",
        "_search_key(text, *, lang=None, digit_policy=\"numeric\")\n--\n\n"
        "A key for search: NFKC, case folded, transliterated to ASCII, accents\n"
        "stripped, whitespace collapsed."),
    fastcall<sort_key>(
        "_sort_key",
        "_sort_key(text, *, lang=None, digit_policy=\"numeric\")\n--\n\n"
        "A key for sorting: NFKC, case folded, runs of non-Latin letters\n"
        "transliterated (Latin accents and Bopomofo kept), at most 3 marks per base,\n"
        "whitespace collapsed."),
    fastcall<canonicalize_strict>(
        "_canonicalize_strict",
        "_canonicalize_strict(text, *, digit_policy=\"numeric\")\n--\n\n"
        "canonicalize with marks of a script foreign to their base removed."),
    fastcall<strip_obfuscation>(
        "_strip_obfuscation",
        "_strip_obfuscation(text, *, digit_policy=\"numeric\")\n--\n\n"
        "The text with every disguise removed: NFKC, all combining marks but\n"
        "negation overlays, direction, format, control and zero-width characters,\n"
        "confusables folded to Latin, whitespace collapsed."),
};

}  // namespace

Area presets_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
