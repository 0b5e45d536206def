// Python functions of transliteration, accent stripping, automatic language
// choice and reverse transliteration, with their batch forms.
#include "py/transliterate.hpp"

#include <expected>
#include <string>
#include <vector>

#include "py/batch.hpp"
#include "py/bind.hpp"
#include "py/errors.hpp"
#include "py/registry.hpp"
#include "translit/accents.hpp"
#include "translit/autolang.hpp"
#include "translit/langs.hpp"
#include "translit/reverse.hpp"
#include "translit/transliterate.hpp"
#include "util/utf8.hpp"

namespace kelrad::py {

namespace {

using transliterate::TransliterateOptions;

// The items a list-snapshot batch converts, and transliterates with the
// interpreter lock released, at a time.
constexpr std::size_t kBatchChunkSize = 64;

// "strict" (exactly) or one of the error modes.
std::expected<ErrorMode, CoreError> parse_forward_errors(std::string_view errors) {
    if (errors == "strict") return transliterate::ERRORS_STRICT;
    return parse_error_mode(errors);
}

std::expected<void, CoreError> check_schemes(bool strict_iso9, bool gost7034) {
    if (strict_iso9 && gost7034) return fail(error::MutuallyExclusiveBare{});
    return {};
}

// The seven parameters of the single and batch forward calls.
enum ForwardParam : std::size_t { kText, kLang, kErrors, kReplaceWith, kStrictIso9, kGost7034, kTones };

constexpr Param kTransliterateParams[] = {
    {"text", Param::Required},       {"lang", Param::Optional},     {"errors", Param::Optional},
    {"replace_with", Param::Optional}, {"strict_iso9", Param::Optional}, {"gost7034", Param::Optional},
    {"tones", Param::Optional},
};

constexpr Param kBatchParams[] = {
    {"texts", Param::Required},      {"lang", Param::Optional},     {"errors", Param::Optional},
    {"replace_with", Param::Optional}, {"strict_iso9", Param::Optional}, {"gost7034", Param::Optional},
    {"tones", Param::Optional},
};

struct ForwardArgs {
    std::optional<std::string_view> lang;
    std::string_view errors;
    std::string_view replace_with;
    bool strict_iso9, gost7034, tones;
};

// Converts the six options in parameter order (after the first parameter).
ForwardArgs forward_args(Args& in) {
    ForwardArgs a{};
    a.lang = in.optional_str(kLang);
    a.errors = in.str(kErrors, "replace");
    a.replace_with = in.str(kReplaceWith, "[?]");
    a.strict_iso9 = in.boolean(kStrictIso9, false);
    a.gost7034 = in.boolean(kGost7034, false);
    a.tones = in.boolean(kTones, false);
    return a;
}

PyObject* transliterate_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        // The common call, one str and every option at its default, binds
        // to exactly this; the binder has nothing else to check.
        if (nargs == 1 && kwnames == nullptr && PyUnicode_Check(args[0])) {
            return transliterate_object(args[0], std::nullopt, "replace", "[?]", false, false, false);
        }
        Args in({"_transliterate", kTransliterateParams}, args, nargs, kwnames);
        // The text object is passed on as is: its UTF-8 form is taken only
        // after the scheme and language checks.
        PyObject* text = in.instance(kText, &PyUnicode_Type, "str");
        ForwardArgs a = forward_args(in);
        if (!in) return nullptr;
        return transliterate_object(text, a.lang, a.errors, a.replace_with, a.strict_iso9, a.gost7034, a.tones);
    });
}

PyObject* find_untranslatable(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required},
                                           {"lang", Param::KeywordOnly},
                                           {"strict_iso9", Param::KeywordOnly},
                                           {"gost7034", Param::KeywordOnly},
                                           {"tones", Param::KeywordOnly}};
        Args in({"_find_untranslatable", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        TransliterateOptions options;
        options.lang = in.optional_str(1);
        options.strict_iso9 = in.boolean(2, false);
        options.gost7034 = in.boolean(3, false);
        options.tones = in.boolean(4, false);
        if (!in) return nullptr;
        if (auto r = check_schemes(options.strict_iso9, options.gost7034); !r) return raise(r.error());
        if (auto r = transliterate::resolve_lang(options.lang); !r) return raise(r.error());
        auto hits = transliterate::find_untranslatable(text, options);
        if (!hits) return raise(hits.error());

        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(hits->size())));
        if (!list) return nullptr;
        std::string ch;
        for (std::size_t i = 0; i < hits->size(); ++i) {
            ch.clear();
            utf8::append(ch, (*hits)[i].ch);
            Ref pair = Ref::steal(Py_BuildValue("(NN)", to_py(std::string_view(ch)), to_py((*hits)[i].byte_offset)));
            if (!pair) return nullptr;
            PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), pair.release());
        }
        return list.release();
    });
}

PyObject* strip_accents(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}};
        Args in({"_strip_accents", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::string out;
        transliterate::strip_accents_into(text, out);
        return to_py(std::string_view(out));
    });
}

PyObject* optional_to_py(std::optional<std::string_view> s) {
    return s ? to_py(*s) : Py_NewRef(Py_None);
}

// Sets `key` in `dict` to `value`, stealing the value.
bool set_item(PyObject* dict, const char* key, PyObject* value) {
    Ref owned = Ref::steal(value);
    return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyObject* inspect_auto_lang(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}};
        Args in({"_inspect_auto_lang", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        autolang::AutoLang choice = autolang::inspect_auto_lang(text);

        Ref hits = Ref::steal(PyList_New(0));
        if (!hits) return nullptr;
        if (choice.discriminator) {
            Ref ch = new_str(utf8::encode(*choice.discriminator));
            if (!ch || PyList_Append(hits.get(), ch.get()) < 0) return nullptr;
        }
        Ref dict = Ref::steal(PyDict_New());
        if (!dict || !set_item(dict.get(), "script", optional_to_py(choice.script)) ||
            !set_item(dict.get(), "chosen_lang", optional_to_py(choice.chosen_lang)) ||
            !set_item(dict.get(), "reason", to_py(autolang::reason_name(choice.reason))) ||
            !set_item(dict.get(), "discriminators_hit", hits.release())) {
            return nullptr;
        }
        return dict.release();
    });
}

PyObject* reverse_transliterate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"lang", Param::KeywordOnlyRequired}};
        Args in({"_reverse_transliterate", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view lang = in.str(1);
        if (!in) return nullptr;
        auto out = reverse::reverse_transliterate(text, lang);
        if (!out) return raise(out.error());
        return to_py(std::string_view(*out));
    });
}

PyObject* reverse_langs(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        const auto& langs = reverse::reverse_langs();
        std::vector<std::string> out(langs.begin(), langs.end());
        return to_py(std::span<const std::string>(out));
    });
}

// One chunk of a transliteration batch: the items' UTF-8 views (taken with
// the interpreter lock held) and, per item, whether its result was written.
struct BatchChunk {
    std::vector<std::string_view> texts;
    std::vector<std::string> outputs;
    std::vector<char> changed;

    BatchChunk() : outputs(kBatchChunkSize), changed(kBatchChunkSize) { texts.reserve(kBatchChunkSize); }
};

PyObject* transliterate_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_transliterate_batch", kBatchParams}, args, nargs, kwnames);
        PyObject* texts = in.instance(kText, &PyList_Type, "list");
        ForwardArgs a = forward_args(in);
        if (!in) return nullptr;
        if (auto r = check_schemes(a.strict_iso9, a.gost7034); !r) return raise(r.error());

        // Other threads may change the list while the lock is released; the
        // batch reads a snapshot of its items.
        Ref snapshot = Ref::steal(PyList_AsTuple(texts));
        if (!snapshot) return nullptr;
        const auto count = static_cast<std::size_t>(PyTuple_Size(snapshot.get()));
        if (!check_batch_size(count)) return nullptr;
        if (auto r = transliterate::resolve_lang(a.lang); !r) return raise(r.error());
        auto errors = parse_forward_errors(a.errors);
        if (!errors) return raise(errors.error());

        // The option views point into argument objects that stay alive for the
        // call; private copies keep the lock-free loop off Python memory.
        const std::optional<std::string> lang = a.lang ? std::optional<std::string>(*a.lang) : std::nullopt;
        const std::string replace_with(a.replace_with);
        TransliterateOptions options;
        options.lang = lang ? std::optional<std::string_view>(*lang) : std::nullopt;
        options.errors = *errors;
        options.replace_with = replace_with;
        options.strict_iso9 = a.strict_iso9;
        options.gost7034 = a.gost7034;
        options.tones = a.tones;

        Ref results = Ref::steal(PyList_New(static_cast<Py_ssize_t>(count)));
        if (!results) return nullptr;
        BatchChunk chunk;
        for (std::size_t first = 0; first < count; first += kBatchChunkSize) {
            const std::size_t n = std::min(kBatchChunkSize, count - first);
            chunk.texts.clear();
            for (std::size_t k = 0; k < n; ++k) {
                // Borrowed from the snapshot, which holds the items for the call.
                PyObject* item = PyTuple_GetItem(snapshot.get(), static_cast<Py_ssize_t>(first + k));
                if (!PyUnicode_Check(item)) return raise_type_mismatch(item, "str");
                auto view = utf8_view(item);
                if (!view) return nullptr;
                chunk.texts.push_back(*view);
            }

            std::optional<CoreError> failure;
            {
                ReleasedGil released;
                for (std::size_t k = 0; k < n && !failure; ++k) {
                    auto r = transliterate::transliterate(chunk.texts[k], options, chunk.outputs[k]);
                    if (r) {
                        chunk.changed[k] = *r;
                    } else {
                        failure = std::move(r.error());
                    }
                }
            }
            if (failure) return raise(*failure);

            for (std::size_t k = 0; k < n; ++k) {
                PyObject* result = chunk.changed[k]
                                       ? to_py(std::string_view(chunk.outputs[k]))
                                       : Py_NewRef(PyTuple_GetItem(snapshot.get(), static_cast<Py_ssize_t>(first + k)));
                if (result == nullptr) return nullptr;
                PyList_SetItem(results.get(), static_cast<Py_ssize_t>(first + k), result);
            }
        }
        return results.release();
    });
}

PyObject* strip_accents_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"texts", Param::Required}};
        Args in({"_strip_accents_batch", params}, args, nargs, kwnames);
        std::vector<std::string> texts = in.str_list(0);
        if (!in) return nullptr;
        std::string out;
        return run_copy_all_batch(texts, [&](std::string& item) {
            if (utf8::is_ascii(item)) return;
            transliterate::strip_accents_into(item, out);
            item.swap(out);
        });
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<transliterate_text>(
        "_transliterate",
        "_transliterate(text, lang=None, errors=\"replace\", replace_with=\"[?]\", strict_iso9=False, "
        "gost7034=False, tones=False)\n--\n\n"
        "Transliterate text to ASCII, after the registered global replacements.\n"
        "Returns the very object passed in when nothing changes."),
    fastcall<find_untranslatable>(
        "_find_untranslatable",
        "_find_untranslatable(text, *, lang=None, strict_iso9=False, gost7034=False, tones=False)\n--\n\n"
        "The characters that transliteration leaves without a value, as (character, byte offset)\n"
        "pairs in text order; offsets count UTF-8 bytes of the text after the global replacements."),
    fastcall<strip_accents>("_strip_accents",
                            "_strip_accents(text)\n--\n\n"
                            "Remove combining marks, keeping letters and negation overlays; the result is NFC."),
    fastcall<inspect_auto_lang>("_inspect_auto_lang",
                                "_inspect_auto_lang(text)\n--\n\n"
                                "The language that lang=\"auto\" picks for text, with the script, the reason\n"
                                "and the deciding character."),
    fastcall<transliterate_batch>(
        "_transliterate_batch",
        "_transliterate_batch(texts, lang=None, errors=\"replace\", replace_with=\"[?]\", strict_iso9=False, "
        "gost7034=False, tones=False)\n--\n\n"
        "Transliterate every text of a list, with the interpreter lock released;\n"
        "at most _MAX_BATCH_SIZE texts. Unchanged items come back as the same objects."),
    fastcall<strip_accents_batch>("_strip_accents_batch",
                                  "_strip_accents_batch(texts)\n--\n\n"
                                  "Strip the accents of every text of a sequence, with the interpreter lock\n"
                                  "released; at most _MAX_BATCH_SIZE texts."),
    fastcall<reverse_transliterate>("_reverse_transliterate",
                                    "_reverse_transliterate(text, *, lang)\n--\n\n"
                                    "Transliterate Latin text into Greek ('el'), Russian ('ru') or Ukrainian ('uk')."),
    noargs<reverse_langs>("_reverse_langs",
                          "_reverse_langs()\n--\n\n"
                          "The languages of reverse transliteration: 'el', 'ru', 'uk'."),
};

}  // namespace

PyObject* transliterate_object(PyObject* text, std::optional<std::string_view> lang, std::string_view errors,
                               std::string_view replace_with, bool strict_iso9, bool gost7034, bool tones) {
    if (auto r = check_schemes(strict_iso9, gost7034); !r) return raise(r.error());
    if (auto r = transliterate::resolve_lang(lang); !r) return raise(r.error());
    auto view = utf8_view(text);
    if (!view) return nullptr;
    auto mode = parse_forward_errors(errors);
    if (!mode) return raise(mode.error());

    TransliterateOptions options;
    options.lang = lang;
    options.errors = *mode;
    options.replace_with = replace_with;
    options.strict_iso9 = strict_iso9;
    options.gost7034 = gost7034;
    options.tones = tones;
    std::string out;
    auto changed = transliterate::transliterate(*view, options, out);
    if (!changed) return raise(changed.error());
    return *changed ? to_py(std::string_view(out)) : Py_NewRef(text);
}

Area transliterate_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
