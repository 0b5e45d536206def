// Python functions of transliteration, accent stripping, automatic language
// choice and reverse transliteration, with their batch forms.
#include "py/transliterate.hpp"

#include <expected>
#include <string>
#include <vector>

#include "py/batch.hpp"
#include "py/bind.hpp"
#include "py/callback.hpp"
#include "py/errors.hpp"
#include "py/registry.hpp"
#include "py/results.hpp"
#include "text/lock.hpp"
#include "translit/accents.hpp"
#include "translit/args.hpp"
#include "translit/autolang.hpp"
#include "translit/context.hpp"
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

        return list_to_py(*hits, [](const transliterate::UntranslatableHit& hit) {
            return Py_BuildValue("(NN)", PyUnicode_FromOrdinal(static_cast<int>(hit.ch)), to_py(hit.byte_offset));
        });
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

PyObject* validate_transliterate_args(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"lang", Param::KeywordOnly},        {"target", Param::KeywordOnly},   {"errors", Param::KeywordOnly},
            {"replace_with", Param::KeywordOnly}, {"strict_iso9", Param::KeywordOnly}, {"gost7034", Param::KeywordOnly},
            {"tones", Param::KeywordOnly},       {"context", Param::KeywordOnly},
        };
        Args in({"_validate_transliterate_args", params}, args, nargs, kwnames);
        auto lang = in.optional_str(0);
        auto target = in.optional_str(1);
        std::string_view errors = in.str(2, "replace");
        std::string_view replace_with = in.str(3, "[?]");
        bool strict_iso9 = in.boolean(4, false);
        bool gost7034 = in.boolean(5, false);
        bool tones = in.boolean(6, false);
        bool context = in.boolean(7, false);
        if (!in) return nullptr;
        auto r = transliterate::validate_transliterate_args(lang, target, errors, replace_with, strict_iso9, gost7034,
                                                            tones, context);
        if (!r) return raise(r.error());
        return Py_NewRef(Py_None);
    });
}

// Runs a first dictionary load, or the wait for another thread's, with the
// interpreter lock released.
void run_without_gil(void (*work)(void*), void* arg) {
    ReleasedGil released;
    work(arg);
}

PyObject* transliterate_context(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"text", Param::Required},           {"lang", Param::KeywordOnly},
            {"errors", Param::KeywordOnly},      {"replace_with", Param::KeywordOnly},
            {"strict_iso9", Param::KeywordOnly}, {"gost7034", Param::KeywordOnly},
        };
        Args in({"_transliterate_context", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        auto lang = in.optional_str(1);
        std::string_view errors = in.str(2, "replace");
        std::string_view replace_with = in.str(3, "[?]");
        bool strict_iso9 = in.boolean(4, false);
        bool gost7034 = in.boolean(5, false);
        if (!in) return nullptr;
        std::string out;
        auto r = transliterate::transliterate_context(text, lang, errors, replace_with, strict_iso9, gost7034, out,
                                                      run_without_gil);
        if (!r) return raise(r.error());
        return to_py(std::string_view(out));
    });
}

// ---- The public transliteration entry ------------------------------------------

// The text of a str as the interpreter's "utf-16-le"/"surrogatepass" encode
// and "replace" decode leave it: a high and a low surrogate become the
// character they encode, every other surrogate U+FFFD. nullopt with the
// exception set.
std::optional<std::string> scrub_surrogates(PyObject* obj) {
    Ref encoded = Ref::steal(PyObject_CallMethod(obj, "encode", "ss", "utf-16-le", "surrogatepass"));
    if (!encoded) return std::nullopt;
    Ref decoded = Ref::steal(PyObject_CallMethod(encoded.get(), "decode", "ss", "utf-16-le", "replace"));
    if (!decoded) return std::nullopt;
    if (!PyUnicode_Check(decoded.get())) {
        raise_type_mismatch(decoded.get(), "str");
        return std::nullopt;
    }
    auto view = utf8_view(decoded.get());
    if (!view) return std::nullopt;
    return std::string(*view);
}

// Converts parameter i as Args::str does, except that a str holding
// surrogates is repaired by scrub_surrogates instead of refused; `storage`
// keeps a repaired text.
std::string_view surrogate_safe_str(Args& in, std::size_t i, std::string& storage) {
    PyObject* obj = in.raw(i);
    if (!in || obj == nullptr || !PyUnicode_Check(obj)) return in.str(i);
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(obj, &size)) {
        return std::string_view(data, static_cast<std::size_t>(size));
    }
    if (PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) {
        PyErr_Clear();
        if (std::optional<std::string> repaired = scrub_surrogates(obj)) {
            storage = std::move(*repaired);
            return storage;
        }
    }
    in.fail_conversion(i);
    return {};
}

std::optional<std::string_view> surrogate_safe_optional_str(Args& in, std::size_t i, std::string& storage) {
    if (!in || in.raw(i) == nullptr || in.raw(i) == Py_None) return std::nullopt;
    std::string_view v = surrogate_safe_str(in, i, storage);
    if (!in) return std::nullopt;
    return v;
}

// The fast path of the entry: the text transliterated as `_transliterate`
// does, and a text refused for surrogates repaired and tried once more.
PyObject* transliterate_str_surrogate_safe(PyObject* text, const ForwardArgs& a) {
    PyObject* result =
        transliterate_object(text, a.lang, a.errors, a.replace_with, a.strict_iso9, a.gost7034, a.tones);
    if (result != nullptr || !PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return result;
    PyErr_Clear();
    std::optional<std::string> repaired = scrub_surrogates(text);
    if (!repaired) return nullptr;
    Ref fixed = new_str(*repaired);
    if (!fixed) return nullptr;
    return transliterate_object(fixed.get(), a.lang, a.errors, a.replace_with, a.strict_iso9, a.gost7034, a.tones);
}

// TRANSLITERATE_FALLBACK: the package's dispatcher, which serves every call
// of the entry that is not a plain str forward transliteration. The lock is
// never held while Python code runs: a reader takes its own reference first.
sync::RwLock<PyObject*>& transliterate_fallback() {
    static sync::RwLock<PyObject*> fallback("TRANSLITERATE_FALLBACK");
    return fallback;
}

enum EntryParam : std::size_t { kEntryText, kEntryLang, kEntryTarget, kEntryErrors, kEntryReplaceWith,
                                kEntryStrictIso9, kEntryGost7034, kEntryTones, kEntryContext };

constexpr Param kEntryParams[] = {
    {"text", Param::Required},           {"lang", Param::KeywordOnly},         {"target", Param::KeywordOnly},
    {"errors", Param::KeywordOnly},      {"replace_with", Param::KeywordOnly}, {"strict_iso9", Param::KeywordOnly},
    {"gost7034", Param::KeywordOnly},    {"tones", Param::KeywordOnly},        {"context", Param::KeywordOnly},
};

PyObject* call_dispatcher(PyObject* text, const ForwardArgs& a, std::optional<std::string_view> target, bool context) {
    Ref dispatcher;
    {
        auto slot = transliterate_fallback().read();
        dispatcher = Ref::borrow(*slot);
    }
    if (!dispatcher) {
        PyErr_SetString(PyExc_RuntimeError,
                        "kelrad internal error: transliterate dispatcher not registered \u2014 import the `kelrad` "
                        "package rather than `kelrad._core` directly");
        return nullptr;
    }
    Ref kwargs = Ref::steal(PyDict_New());
    if (!kwargs) return nullptr;
    // In this order: the dispatcher sees the keywords as the entry declares them.
    if (!set_item(kwargs.get(), "lang", optional_to_py(a.lang)) ||
        !set_item(kwargs.get(), "target", optional_to_py(target)) ||
        !set_item(kwargs.get(), "errors", to_py(a.errors)) ||
        !set_item(kwargs.get(), "replace_with", to_py(a.replace_with)) ||
        !set_item(kwargs.get(), "strict_iso9", to_py(a.strict_iso9)) ||
        !set_item(kwargs.get(), "gost7034", to_py(a.gost7034)) || !set_item(kwargs.get(), "tones", to_py(a.tones)) ||
        !set_item(kwargs.get(), "context", to_py(context))) {
        return nullptr;
    }
    Ref positional = Ref::steal(PyTuple_Pack(1, text));
    if (!positional) return nullptr;
    return call_python(dispatcher.get(), positional.get(), kwargs.get()).release();
}

PyObject* transliterate_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        ForwardArgs a{std::nullopt, "replace", "[?]", false, false, false};
        // The package's transliterate(text) with no options.
        if (nargs == 1 && kwnames == nullptr && Py_IS_TYPE(args[0], &PyUnicode_Type)) {
            return transliterate_str_surrogate_safe(args[0], a);
        }
        Args in({"_transliterate_entry", kEntryParams}, args, nargs, kwnames);
        std::string lang_storage, target_storage, errors_storage, replace_with_storage;
        PyObject* text = in.object(kEntryText);
        a.lang = surrogate_safe_optional_str(in, kEntryLang, lang_storage);
        std::optional<std::string_view> target = surrogate_safe_optional_str(in, kEntryTarget, target_storage);
        if (in.raw(kEntryErrors) != nullptr) a.errors = surrogate_safe_str(in, kEntryErrors, errors_storage);
        if (in.raw(kEntryReplaceWith) != nullptr) {
            a.replace_with = surrogate_safe_str(in, kEntryReplaceWith, replace_with_storage);
        }
        a.strict_iso9 = in.boolean(kEntryStrictIso9, false);
        a.gost7034 = in.boolean(kEntryGost7034, false);
        a.tones = in.boolean(kEntryTones, false);
        const bool context = in.boolean(kEntryContext, false);
        if (!in) return nullptr;
        if (!target && !context && Py_IS_TYPE(text, &PyUnicode_Type)) return transliterate_str_surrogate_safe(text, a);
        return call_dispatcher(text, a, target, context);
    });
}

PyObject* set_transliterate_fallback(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"f", Param::Required}};
        Args in({"_set_transliterate_fallback", params}, args, nargs, kwnames);
        PyObject* f = in.object(0);
        if (!in) return nullptr;
        if (!PyCallable_Check(f)) {
            PyErr_SetString(PyExc_RuntimeError, "transliterate fallback must be callable");
            return nullptr;
        }
        Ref replaced;
        {
            auto slot = transliterate_fallback().write();
            replaced = Ref::steal(std::exchange(*slot, Py_NewRef(f)));
        }
        return Py_NewRef(Py_None);  // `replaced` is released after the lock
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
    fastcall<transliterate_entry>(
        "_transliterate_entry",
        "_transliterate_entry(text, *, lang=None, target=None, errors='replace', replace_with='[?]', "
        "strict_iso9=False, gost7034=False, tones=False, context=False)\n--\n\n"
        "The package's transliterate(): the same semantics as its dispatcher, whose signature\n"
        "is the reference for type checkers. A plain str without target or context is\n"
        "transliterated here (surrogates read as U+FFFD, pairs as their character); every\n"
        "other call goes to the dispatcher registered with _set_transliterate_fallback."),
    fastcall<set_transliterate_fallback>(
        "_set_transliterate_fallback",
        "_set_transliterate_fallback(f)\n--\n\n"
        "Register the dispatcher of _transliterate_entry, replacing any earlier one."),
    fastcall<validate_transliterate_args>(
        "_validate_transliterate_args",
        "_validate_transliterate_args(*, lang=None, target=None, errors=\"replace\", replace_with=\"[?]\", "
        "strict_iso9=False, gost7034=False, tones=False, context=False)\n--\n\n"
        "Refuse contradictory combinations of the transliterate() options; each value on\n"
        "its own is checked by the operation that uses it."),
    fastcall<transliterate_context>(
        "_transliterate_context",
        "_transliterate_context(text, *, lang=None, errors=\"replace\", replace_with=\"[?]\", strict_iso9=False, "
        "gost7034=False)\n--\n\n"
        "Context-aware transliteration using dictionary-based vowel restoration.\n"
        "Returns an error if no context dictionary is loaded for the language.\n\n"
        "Arabic, Persian and Hebrew words are looked up without their vowel marks, after\n"
        "the word before them, then alone, and transliterated in their vowelled form."),
};

const ModuleClass kClasses[] = {{"SurrogateSafe", surrogate_safe_type}};

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

Area transliterate_area() { return {kFunctions, kClasses}; }

}  // namespace kelrad::py
