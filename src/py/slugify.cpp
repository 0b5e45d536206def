// Python functions and classes of slugs: `_slugify`, `_slugify_batch`,
// `_Slugifier` and `_UniqueSlugifier`.
#include "py/ref.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "presets/slugify.hpp"
#include "presets/unique_slug.hpp"
#include "py/batch.hpp"
#include "py/bind.hpp"
#include "py/callback.hpp"
#include "py/configured.hpp"
#include "py/errors.hpp"
#include "py/registry.hpp"

namespace kelrad::py {
namespace {

using slugify::SlugifyOptions;
using slugify::SlugOptionValues;
using slugify::StopwordSet;

// A batch converts its items, and slugifies them with the interpreter lock
// released, a chunk at a time: consecutive items up to 1024 of them or 256 KiB
// of text, whichever comes first (one item at least). Each chunk costs two
// changes of the lock, which under contention from other threads take
// microseconds each; short titles need a thousand to a chunk for the lock-free
// work to outweigh them, while the byte bound keeps the time the lock is held
// to convert and build the items of a chunk short.
constexpr std::size_t kBatchChunkItems = 1024;
constexpr std::size_t kBatchChunkBytes = 256 * 1024;

// ---- Parameters -------------------------------------------------------------------------

// The slug options in declaration order; the module functions take all but
// the last.
enum Option : std::size_t {
    kSeparator,
    kLowercase,
    kMaxLength,
    kWordBoundary,
    kSaveOrder,
    kStopwords,
    kRegexPattern,
    kReplacements,
    kAllowUnicode,
    kLang,
    kEntities,
    kDecimal,
    kHexadecimal,
    kSafeChars,
    kOptionCount,
};
constexpr std::array<std::string_view, kOptionCount> kOptionOrder = {
    "separator",     "lowercase", "max_length", "word_boundary", "save_order", "stopwords",   "regex_pattern",
    "replacements",  "allow_unicode", "lang",   "entities",      "decimal",    "hexadecimal", "safe_chars"};

// `leading`, then the options (without `safe_chars` for the module functions)
// as keyword-only parameters.
template <std::size_t Leading, bool SafeChars>
constexpr auto slug_params(std::array<Param, Leading> leading) {
    constexpr std::size_t options = SafeChars ? kOptionCount : kOptionCount - 1;
    std::array<Param, Leading + options> params{};
    for (std::size_t i = 0; i < Leading; ++i) params[i] = leading[i];
    for (std::size_t i = 0; i < options; ++i) params[Leading + i] = {kOptionOrder[i], Param::KeywordOnly};
    return params;
}

constexpr auto kSlugifyParams = slug_params<1, false>({Param{"text", Param::Required}});
constexpr auto kBatchParams = slug_params<1, false>({Param{"texts", Param::Required}});
constexpr auto kSlugifierParams = slug_params<0, true>({});
constexpr auto kUniqueSlugifierParams = slug_params<1, true>({Param{"check", Param::KeywordOnly}});
constexpr Param kTextParam[] = {{"text", Param::Required}};

// Converts the options that follow parameter `first - 1`, in declaration order.
SlugOptionValues convert_options(Args& in, std::size_t first, bool safe_chars) {
    SlugOptionValues v;
    v.separator = in.str(first + kSeparator, "-");
    v.lowercase = in.boolean(first + kLowercase, true);
    v.max_length = in.i64(first + kMaxLength, 0);
    v.word_boundary = in.boolean(first + kWordBoundary, false);
    v.save_order = in.boolean(first + kSaveOrder, false);
    v.stopwords = in.str_list(first + kStopwords);
    v.regex_pattern = in.optional_str(first + kRegexPattern);
    v.replacements = in.str_pair_list(first + kReplacements);
    v.allow_unicode = in.boolean(first + kAllowUnicode, false);
    v.lang = in.optional_str(first + kLang);
    v.entities = in.boolean(first + kEntities, true);
    v.decimal = in.boolean(first + kDecimal, true);
    v.hexadecimal = in.boolean(first + kHexadecimal, true);
    if (safe_chars) v.safe_chars = in.str(first + kSafeChars, "");
    return v;
}

// The slug of `text` as a new str. Each thread keeps its buffers between
// calls, so a call allocates only the str it returns.
PyObject* slug_to_py(std::string_view text, const SlugifyOptions& options, const StopwordSet* stopwords) {
    thread_local slugify::SlugWorkspace workspace;
    PyObject* result = to_py(slugify::slugify(text, options, stopwords, workspace));
    workspace.shrink();
    return result;
}

// ---- _slugify, _slugify_batch ---------------------------------------------------------

PyObject* slugify_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        // The common call, one str and every option at its default. A text
        // that cannot be viewed takes the full road, which adds the note.
        if (nargs == 1 && kwnames == nullptr && PyUnicode_Check(args[0])) {
            static const SlugifyOptions defaults;
            if (auto text = utf8_view(args[0])) return slug_to_py(*text, defaults, nullptr);
            PyErr_Clear();
        }
        Args in({"_slugify", kSlugifyParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        SlugOptionValues values = convert_options(in, 1, false);
        if (!in) return nullptr;
        auto options = slugify::build_options(std::move(values));
        if (!options) return raise(options.error());
        return slug_to_py(text, *options, nullptr);
    });
}

PyObject* slugify_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_slugify_batch", kBatchParams}, args, nargs, kwnames);
        PyObject* texts = in.instance(0, &PyList_Type, "list");
        SlugOptionValues values = convert_options(in, 1, false);
        if (!in) return nullptr;
        // Other threads may change the list while the lock is released; the
        // batch reads a snapshot of its items.
        Ref snapshot = Ref::steal(PyList_AsTuple(texts));
        if (!snapshot) return nullptr;
        const auto count = static_cast<std::size_t>(PyTuple_Size(snapshot.get()));
        if (!check_batch_size(count)) return nullptr;
        auto options = slugify::build_options(std::move(values));
        if (!options) return raise(options.error());
        const StopwordSet stopwords = slugify::build_stopword_set(options->stopwords);

        Ref results = Ref::steal(PyList_New(static_cast<Py_ssize_t>(count)));
        if (!results) return nullptr;
        slugify::SlugWorkspace workspace;
        std::vector<std::string_view> inputs;
        std::vector<std::string> slugs;
        for (std::size_t first = 0; first < count; first += inputs.size()) {
            inputs.clear();
            for (std::size_t bytes = 0; first + inputs.size() < count && inputs.size() < kBatchChunkItems &&
                                        bytes < kBatchChunkBytes;) {
                // The snapshot keeps each item, and so its UTF-8 form, alive
                // for the whole call.
                PyObject* item = PyTuple_GetItem(snapshot.get(), static_cast<Py_ssize_t>(first + inputs.size()));
                auto view = utf8_view(item);
                if (!view) return nullptr;
                inputs.push_back(*view);
                bytes += view->size();
            }
            if (slugs.size() < inputs.size()) slugs.resize(inputs.size());
            {
                ReleasedGil released;
                for (std::size_t k = 0; k < inputs.size(); ++k) {
                    slugs[k].assign(slugify::slugify(inputs[k], *options, &stopwords, workspace));
                }
                workspace.shrink();
            }
            for (std::size_t k = 0; k < inputs.size(); ++k) {
                PyObject* slug = to_py(std::string_view(slugs[k]));
                if (!slug) return nullptr;
                PyList_SetItem(results.get(), static_cast<Py_ssize_t>(first + k), slug);
            }
        }
        return results.release();
    });
}

// ---- _Slugifier --------------------------------------------------------------------------

struct SlugifierState {
    SlugifyOptions options;
    StopwordSet stopwords;
};

PyObject* slugifier_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        Args in({"__new__", kSlugifierParams, "_Slugifier"}, args, kwargs);
        SlugOptionValues values = convert_options(in, 0, true);
        if (!in) return nullptr;
        auto options = slugify::build_options(std::move(values));
        if (!options) return raise(options.error());
        StopwordSet stopwords = slugify::build_stopword_set(options->stopwords);
        return new_configured(type, SlugifierState{std::move(*options), std::move(stopwords)});
    });
}

PyObject* slugifier_slugify(SlugifierState& state, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Args in({"slugify", kTextParam, "_Slugifier"}, args, nargs, kwnames);
    std::string_view text = in.str(0);
    if (!in) return nullptr;
    return slug_to_py(text, state.options, &state.stopwords);
}

PyObject* get_lang(const SlugifierState& state) {
    return state.options.lang ? to_py(std::string_view(*state.options.lang)) : Py_NewRef(Py_None);
}

PyObject* get_separator(const SlugifierState& state) { return to_py(std::string_view(state.options.separator)); }

#define KELRAD_SLUG_OPTIONS                                                                                     \
    "separator=\"-\", lowercase=True, max_length=0, word_boundary=False, save_order=False, stopwords=..., "    \
    "regex_pattern=None, replacements=..., allow_unicode=False, lang=None, entities=True, decimal=True, "      \
    "hexadecimal=True"

#define KELRAD_REGEX_NOTE                                                                                       \
    "Matches of regex_pattern are deleted before the words are joined. In the pattern,\n"                      \
    "\\w, \\d and \\s (and their negations) have their Unicode meaning; \\b and \\B are\n"                    \
    "ASCII word boundaries. Look-around and backreferences are not supported."

const PyMethodDef kSlugifierMethods[] = {
    {"slugify", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                    fast_method<SlugifierState, Use::Shared, slugifier_slugify>)),
     METH_FASTCALL | METH_KEYWORDS,
     "slugify($self, text)\n--\n\n"
     "The slug of text under this object's options."},
    {nullptr, nullptr, 0, nullptr},
};

const PyGetSetDef kSlugifierGetters[] = {
    {"lang", shared_getter<SlugifierState, get_lang>, nullptr, "The language code given at construction, or None.",
     nullptr},
    {"separator", shared_getter<SlugifierState, get_separator>, nullptr, "The text put between words.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* slugifier_type() {
    static PyObject* type = configured_type<SlugifierState>({
        .name = "builtins._Slugifier",
        .doc = "_Slugifier(*, " KELRAD_SLUG_OPTIONS ", safe_chars=\"\")\n--\n\n"
               "A slug generator whose options are validated once, at construction.\n\n"
               "safe_chars are kept verbatim where they would otherwise become separators.\n" KELRAD_REGEX_NOTE,
        .constructor = slugifier_new,
        .methods = kSlugifierMethods,
        .getters = kSlugifierGetters,
    });
    return type;
}

// ---- _UniqueSlugifier -----------------------------------------------------------------

struct UniqueSlugifierState {
    slugify::UniqueSlugifier core;
    Ref check;  // absent when none was given

    int traverse(visitproc visit, void* arg) {
        Py_VISIT(check.get());
        return 0;
    }
    void clear() { check = Ref(); }
};

// Asks the caller's `check(candidate)`, which must answer with a bool.
class PythonCheck final : public slugify::CandidateCheck {
public:
    explicit PythonCheck(PyObject* callable) : callable_(Ref::borrow(callable)) {}

    Answer check(std::string_view candidate) override {
        Ref args = Ref::steal(PyTuple_New(1));
        PyObject* text = args ? to_py(candidate) : nullptr;
        if (!text) return Answer::Failed;
        PyTuple_SetItem(args.get(), 0, text);
        Ref answer = call_python(callable_.get(), args.get());
        if (!answer) return Answer::Failed;
        if (!PyBool_Check(answer.get())) {
            raise_type_mismatch(answer.get(), "bool");
            return Answer::Failed;
        }
        return answer.get() == Py_True ? Answer::Taken : Answer::Free;
    }

private:
    Ref callable_;  // held for the call, whatever becomes of the object's reference
};

PyObject* unique_slugifier_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        Args in({"__new__", kUniqueSlugifierParams, "_UniqueSlugifier"}, args, kwargs);
        PyObject* check = in.object(0);
        SlugOptionValues values = convert_options(in, 1, true);
        if (!in) return nullptr;
        auto options = slugify::build_options(std::move(values));
        if (!options) return raise(options.error());
        StopwordSet stopwords = slugify::build_stopword_set(options->stopwords);
        Ref held = check && check != Py_None ? Ref::borrow(check) : Ref();
        return new_configured(type, UniqueSlugifierState{
                                        slugify::UniqueSlugifier(std::move(*options), std::move(stopwords)),
                                        std::move(held)});
    });
}

PyObject* unique_slugify(UniqueSlugifierState& state, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Args in({"slugify", kTextParam, "_UniqueSlugifier"}, args, nargs, kwnames);
    std::string_view text = in.str(0);
    if (!in) return nullptr;
    std::optional<PythonCheck> check;
    if (state.check) check.emplace(state.check.get());
    auto slug = state.core.slugify(text, check ? &*check : nullptr);
    if (slug) return to_py(std::string_view(*slug));
    if (const auto* e = std::get_if<CoreError>(&slug.error())) return raise(*e);
    return nullptr;  // the check's own exception is set
}

PyObject* unique_reset(UniqueSlugifierState& state) {
    state.core.reset();
    return Py_NewRef(Py_None);
}

const PyMethodDef kUniqueSlugifierMethods[] = {
    {"slugify", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                    fast_method<UniqueSlugifierState, Use::Exclusive, unique_slugify>)),
     METH_FASTCALL | METH_KEYWORDS,
     "slugify($self, text)\n--\n\n"
     "Generate a unique slug, appending numeric suffixes as needed.\n\n"
     "The search is bounded to MAX_UNIQUE_ATTEMPTS (10000) iterations to prevent infinite\n"
     "loops when a `check` callback always rejects candidates; the candidates are built\n"
     "by the core (`slugify::unique_slug_candidate`)."},
    {"reset", noargs_method<UniqueSlugifierState, Use::Exclusive, unique_reset>, METH_NOARGS,
     "reset($self)\n--\n\n"
     "Forget every slug issued so far."},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* unique_slugifier_type() {
    static PyObject* type = configured_type<UniqueSlugifierState>({
        .name = "builtins._UniqueSlugifier",
        .doc = "_UniqueSlugifier(*, check=None, " KELRAD_SLUG_OPTIONS ", safe_chars=\"\")\n--\n\n"
               "A slug generator that never hands out the same slug twice: a slug already\n"
               "issued, or one that check(candidate) reports as taken (True), gets the\n"
               "separator and a counter appended ('hello', 'hello-1', 'hello-2', ...).\n"
               "reset() forgets what was issued.\n\n" KELRAD_REGEX_NOTE,
        .constructor = unique_slugifier_new,
        .methods = kUniqueSlugifierMethods,
    });
    return type;
}

const PyMethodDef kFunctions[] = {
    fastcall<slugify_text>("_slugify",
                           "_slugify(text, *, " KELRAD_SLUG_OPTIONS ")\n--\n\n"
                           "Generate a URL-safe slug from Unicode text.\n\n" KELRAD_REGEX_NOTE),
    fastcall<slugify_batch>(
        "_slugify_batch",
        "_slugify_batch(texts, *, " KELRAD_SLUG_OPTIONS ")\n--\n\n"
        "Batch slugification: processes a list of strings in a single crossing into the\n"
        "module, with the interpreter lock released while the slugs are made; at most\n"
        "_MAX_BATCH_SIZE texts. Each slug equals what _slugify returns for its text."),
};

#undef KELRAD_REGEX_NOTE
#undef KELRAD_SLUG_OPTIONS

const ModuleClass kClasses[] = {
    {"_Slugifier", slugifier_type},
    {"_UniqueSlugifier", unique_slugifier_type},
};

}  // namespace

Area slugify_area() { return {kFunctions, kClasses}; }

}  // namespace kelrad::py
