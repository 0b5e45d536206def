// Python functions of emoji names and replacement, and the emoji-name
// provider: the process-wide default (GLOBAL_PROVIDER) and the adapter that
// lets demojize ask a Python object for names.
#include "py/bind.hpp"

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "py/callback.hpp"
#include "py/registry.hpp"
#include "text/emoji.hpp"
#include "text/lock.hpp"
#include "text/warning.hpp"
#include "translit/seal.hpp"

namespace kelrad::py {
namespace {

// GLOBAL_PROVIDER: the default provider, or an empty Ref. Created on first
// use and never destroyed, so that no reference is dropped after the
// interpreter is gone. Every access holds the interpreter lock; the lock is
// held only to copy or swap the reference, never while Python code runs.
sync::RwLock<Ref>& global_provider() {
    static auto* slot = new sync::RwLock<Ref>("GLOBAL_PROVIDER");
    return *slot;
}

// "TypeError: 'int' object is not an instance of 'str'": the exception just
// raised, taken out of the error indicator.
std::string describe_raised_exception() {
    RaisedException e = fetch_exception();
    std::string text = "Exception";
    if (e.value) {
        if (Ref name = Ref::steal(PyType_GetName(Py_TYPE(e.value.get())))) {
            if (auto v = utf8_view(name.get())) text = *v;
        }
        PyErr_Clear();
        text += ": ";
        if (Ref str = Ref::steal(PyObject_Str(e.value.get()))) {
            if (auto v = utf8_view(str.get())) text += *v;
        }
        PyErr_Clear();
    }
    return text;
}

// A Python object with a `lookup(sequence)` method: a list of code points in,
// a str or None out. Whatever else it does costs one warning and leaves the
// position to the built-in names; only the module's own internal failure,
// raised inside the call, goes on as one (see callback.hpp).
class PythonProvider final : public emoji::NameProvider {
public:
    explicit PythonProvider(PyObject* provider) noexcept : provider_(provider) {}

    Answer lookup(std::span<const char32_t> sequence, std::string& name) override {
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(sequence.size())));
        if (!list) throw std::bad_alloc();
        for (std::size_t i = 0; i < sequence.size(); ++i) {
            PyObject* item = PyLong_FromUnsignedLong(sequence[i]);
            if (!item) throw std::bad_alloc();
            PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        Ref result;
        if (Ref lookup = Ref::steal(PyObject_GetAttrString(provider_, "lookup"))) {
            Ref call_args = Ref::steal(PyTuple_Pack(1, list.get()));
            if (!call_args) throw std::bad_alloc();
            result = call_python(lookup.get(), call_args.get());
        }
        if (!result) {
            warn("kelrad: EmojiProvider.lookup() raised an exception and will be ignored: ");
            return Answer::Failed;
        }
        if (result.get() == Py_None) return Answer::Unnamed;
        std::optional<std::string_view> text = utf8_view(result.get());
        if (!text) {
            warn("kelrad: EmojiProvider.lookup() returned a non-string value and will be ignored: ");
            return Answer::Failed;
        }
        name.assign(*text);
        return Answer::Named;
    }

private:
    static void warn(std::string message) {
        message += describe_raised_exception();
        emit_warning(message);
    }

    PyObject* provider_;
};

PyObject* demojize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"text", Param::Required},          {"replacement", Param::KeywordOnly},
            {"strip_modifiers", Param::KeywordOnly}, {"errors", Param::KeywordOnly},
            {"replace_with", Param::KeywordOnly}, {"provider", Param::KeywordOnly},
        };
        Args in({"_demojize", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::optional<std::string_view> replacement = in.optional_str(1);
        bool strip_modifiers = in.boolean(2, false);
        std::string_view errors = in.str(3, "replace");
        std::string_view replace_with = in.str(4, "[?]");
        PyObject* provider_arg = in.object(5);
        if (!in) return nullptr;

        std::string out;
        if (replacement) {
            emoji::replace_emoji(text, *replacement, out);
            return to_py(std::string_view(out));
        }
        auto mode = parse_error_mode(errors);
        if (!mode) return raise(mode.error());
        Ref provider;
        if (provider_arg != nullptr && provider_arg != Py_None) {
            provider = Ref::borrow(provider_arg);
        } else {
            provider = Ref::borrow(global_provider().read()->get());
        }
        if (!provider) {
            return to_py(std::string_view(emoji::demojize_with_mode(text, strip_modifiers, *mode, replace_with)));
        }
        PythonProvider names(provider.get());
        emoji::demojize_with_provider(text, strip_modifiers, emoji::UnnamedEmojiPolicy::from_mode(*mode, replace_with),
                                      names, out);
        return to_py(std::string_view(out));
    });
}

PyObject* replace_emoji(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"text", Param::Required}, {"replacement", Param::Required}};
        Args in({"_replace_emoji", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view replacement = in.str(1);
        if (!in) return nullptr;
        std::string out;
        emoji::replace_emoji(text, replacement, out);
        return to_py(std::string_view(out));
    });
}

PyObject* set_emoji_provider(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"provider", Param::Optional}};
        Args in({"_set_emoji_provider", params}, args, nargs, kwnames);
        PyObject* arg = in.object(0);
        if (!in) return nullptr;
        Ref next = arg != nullptr && arg != Py_None ? Ref::borrow(arg) : Ref();
        Ref previous;  // released after both locks
        {
            auto registration = tables::registration_guard("set_emoji_provider");
            if (!registration) return raise(registration.error());
            auto slot = global_provider().write();
            previous = std::exchange(*slot, std::move(next));
        }
        return Py_NewRef(Py_None);
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<demojize>(
        "_demojize",
        "_demojize(text, *, replacement=None, strip_modifiers=False, errors=\"replace\", replace_with=\"[?]\", "
        "provider=None)\n--\n\n"
        "Expand emoji sequences to their CLDR short-name text descriptions.\n"
        "Output is always the bare CLDR short name as plain text.\n\n"
        "With `replacement`, every emoji sequence becomes that text instead. With\n"
        "`strip_modifiers`, names lose their qualifiers ('thumbs up: light skin tone'\n"
        "becomes 'thumbs up'). `errors` ('replace', 'ignore' or 'preserve') decides\n"
        "what an emoji without a name becomes; 'replace' writes `replace_with`.\n"
        "`provider` (or the one set with _set_emoji_provider) is asked first: its\n"
        "`lookup(sequence)` takes a list of code points and returns a name or None."),
    fastcall<replace_emoji>("_replace_emoji",
                            "_replace_emoji(text, replacement)\n--\n\n"
                            "Replace every emoji sequence with `replacement`, verbatim."),
    fastcall<set_emoji_provider>("_set_emoji_provider",
                                 "_set_emoji_provider(provider=None)\n--\n\n"
                                 "Install the default emoji-name provider for _demojize, or remove it with None.\n"
                                 "Refused once the registrations are sealed."),
};

}  // namespace

Area emoji_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
