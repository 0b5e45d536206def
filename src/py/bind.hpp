// Argument binding, conversion and the entry guard.
//
// Every module function is a fast call with keywords. Its entry binds the raw
// arguments to the function's `Signature` (producing the interpreter-style
// TypeError texts for too many, duplicate, unknown and missing arguments),
// then converts each parameter in declaration order:
//
//     constexpr Param kParams[] = {{"text", Param::Required}, {"form", Param::KeywordOnly}};
//     constexpr Signature kSig{"_normalize", kParams};
//
//     Args in(kSig, args, nargs, kwnames);
//     std::string_view text = in.str(0);
//     std::string_view form = in.str(1, "NFC");
//     if (!in) return nullptr;
//
// The first failure sets the Python exception (with the note "while
// processing '<param>'" for conversion failures) and turns every later
// conversion into a no-op, so an entry checks once after the last one.
#pragma once

#include "py/ref.hpp"

#include <cstdint>
#include <cxxabi.h>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "py/errors.hpp"
#include "py/warnings.hpp"
#include "text/warning.hpp"
#include "util/panic.hpp"

namespace kelrad::py {

struct Param {
    enum Kind : std::uint8_t {
        Optional,             // positional-or-keyword with a default
        Required,             // positional-or-keyword without a default
        KeywordOnly,          // after `*`, with a default
        KeywordOnlyRequired,  // after `*`, without a default
    };
    std::string_view name;
    Kind kind = Optional;

    constexpr bool keyword_only() const noexcept { return kind == KeywordOnly || kind == KeywordOnlyRequired; }
    constexpr bool required() const noexcept { return kind == Required || kind == KeywordOnlyRequired; }
};

// Positional-or-keyword parameters come first, then the keyword-only ones.
// The counts are worked out once, at compile time for the usual constant
// parameter tables, so that binding a call mostly compares numbers.
struct Signature {
    std::string_view function;
    std::span<const Param> params;
    std::string_view cls = {};  // set for methods and constructors
    std::uint8_t n_positional = 0;
    std::uint8_t n_required_positional = 0;
    // Whether enough positional values can still leave a required parameter
    // unbound: a keyword-only one, or a positional one after an optional one.
    bool may_miss_beyond_positional = false;

    constexpr Signature(std::string_view function_name, std::span<const Param> parameters,
                        std::string_view class_name = {}) noexcept
        : function(function_name), params(parameters), cls(class_name) {
        for (const Param& p : params) {
            if (p.keyword_only()) {
                may_miss_beyond_positional = may_miss_beyond_positional || p.required();
                continue;
            }
            ++n_positional;
            if (p.required()) {
                ++n_required_positional;
                may_miss_beyond_positional = may_miss_beyond_positional || n_required_positional < n_positional;
            }
        }
    }
};

class Args {
public:
    static constexpr std::size_t kMaxParams = 24;

    // The fast-call form: positional values, then the values named by kwnames.
    // Inline, so that the constant signature is stored straight into the
    // object rather than built on the caller's stack and copied, and so that
    // the usual call, positional values alone, binds in a few stores.
    Args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) : sig_(sig) {
        const auto given = static_cast<std::size_t>(nargs);
        if (sig.params.size() <= kMaxParams && kwnames == nullptr && given >= sig.n_required_positional &&
            given <= sig.n_positional && !sig.may_miss_beyond_positional) {
            for (std::size_t k = 0; k < sig.params.size(); ++k) slots_[k] = k < given ? args[k] : nullptr;
        } else {
            bind(args, nargs, kwnames);
        }
    }
    // The constructor form: a tuple and an optional dict.
    Args(const Signature& sig, PyObject* args, PyObject* kwargs);
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;

    explicit operator bool() const noexcept { return ok_; }

    // The bound object, or nullptr when the caller left the parameter out.
    PyObject* raw(std::size_t i) const noexcept { return slots_[i]; }

    // A str argument as UTF-8, viewed in the form the interpreter caches in
    // the str (an ASCII str's own data).
    std::string_view str(std::size_t i);
    std::string_view str(std::size_t i, std::string_view fallback);
    std::optional<std::string_view> optional_str(std::size_t i);  // absent or None
    bool boolean(std::size_t i, bool fallback);
    std::uint64_t u64(std::size_t i, std::uint64_t fallback);
    std::int64_t i64(std::size_t i, std::int64_t fallback);
    double f64(std::size_t i, double fallback);
    std::string_view bytes(std::size_t i);
    std::vector<std::string> str_list(std::size_t i);
    // The same conversion without copying the texts: returns a tuple of the
    // items (the argument itself when it is a tuple) that keeps each alive,
    // after `each(item, utf8, count)` has seen every item in order, `count`
    // being the number of items. The views stay valid while the tuple lives.
    // Null when the parameter was left out or the conversion failed.
    template <class Each>
    Ref str_tuple(std::size_t i, Each&& each);
    // A dict (or subclass) whose keys and values are all str, as owned pairs
    // in the dict's iteration order.
    std::vector<std::pair<std::string, std::string>> str_map(std::size_t i);
    // A sequence (not a str) of tuples of exactly two str, as owned pairs in
    // order.
    std::vector<std::pair<std::string, std::string>> str_pair_list(std::size_t i);
    PyObject* object(std::size_t i) noexcept { return slots_[i]; }
    // An instance of one of the module's own classes (borrowed), refused with
    // the type-mismatch TypeError naming the class otherwise.
    PyObject* instance(std::size_t i, PyTypeObject* type, std::string_view class_name);
    // For a conversion of the caller's own: marks parameter i failed, adding
    // the note that names it to the exception already set.
    void fail_conversion(std::size_t i);

private:
    void bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
    void bind_keyword(PyObject* name, PyObject* value);
    void check_missing();
    bool skip(std::size_t i) const noexcept { return !ok_ || slots_[i] == nullptr; }
    bool type_mismatch(std::size_t i, PyObject* obj, std::string_view target);
    // `valid` checks (and sets the exception for) one item of a sequence
    // that is neither a list nor a tuple, as it is iterated.
    Ref sequence_snapshot(std::size_t i, bool (*valid)(PyObject*));
    std::string display_name() const;

    Signature sig_;
    bool ok_ = true;
    PyObject* slots_[kMaxParams];  // the first sig_.params.size() are set by `bind`
};

// PyUnicode_Check, with the exact type tested inline: under the limited API
// the check itself is a call into the interpreter.
inline bool is_str(PyObject* obj) noexcept { return Py_IS_TYPE(obj, &PyUnicode_Type) || PyUnicode_Check(obj); }

// Views a str as UTF-8 in place; nullopt with the exception set on failure
// (TypeError for a non-str, the interpreter's UnicodeEncodeError for
// surrogates). No note is added.
std::optional<std::string_view> utf8_view(PyObject* obj);

// Raises the conversion TypeError: "'int' object is not an instance of 'str'".
std::nullptr_t raise_type_mismatch(PyObject* obj, std::string_view target);

template <class Each>
Ref Args::str_tuple(std::size_t i, Each&& each) {
    Ref items = sequence_snapshot(i, [](PyObject* item) { return utf8_view(item).has_value(); });
    if (!items) return items;
    const Py_ssize_t count = PyTuple_Size(items.get());
    for (Py_ssize_t k = 0; k < count; ++k) {
        PyObject* item = PyTuple_GetItem(items.get(), k);
        auto text = utf8_view(item);
        if (!text) {
            fail_conversion(i);
            return {};
        }
        each(item, *text, static_cast<std::size_t>(count));
    }
    return items;
}

// A new str equal to the str `obj`, for an operation that returns a new
// object also when nothing changed. Copied in the interpreter's own
// representation: a short one through UCS-4, a longer one as two halves
// joined (three allocations, but a fraction of decoding its UTF-8 again).
PyObject* copy_str(PyObject* obj) noexcept;

// Result conversions.
inline PyObject* to_py(std::string_view s) noexcept { return new_str(s).release(); }
inline PyObject* to_py(bool b) noexcept { return Py_NewRef(b ? Py_True : Py_False); }
inline PyObject* to_py(std::uint64_t v) noexcept { return PyLong_FromUnsignedLongLong(v); }
inline PyObject* to_py(std::int64_t v) noexcept { return PyLong_FromLongLong(v); }
inline PyObject* to_py(double v) noexcept { return PyFloat_FromDouble(v); }
PyObject* to_py(std::span<const std::string> items) noexcept;
PyObject* to_py(std::span<const std::string_view> items) noexcept;
// A pointer (a string literal, say) would silently take the bool overload.
template <class T>
PyObject* to_py(T*) = delete;
inline PyObject* bytes_to_py(std::string_view b) noexcept {
    return PyBytes_FromStringAndSize(b.data(), static_cast<Py_ssize_t>(b.size()));
}

// A daemon thread that asks for the interpreter lock while the interpreter
// finalizes is ended by CPython (3.11 to 3.13) with pthread_exit, whose forced
// unwind would reach the module's noexcept frames and abort the process, or
// run reference-count changes without the lock on its way. Where that unwind
// can start, the thread is parked for good instead, as CPython 3.14 does
// itself: the exiting process takes it down.
[[noreturn]] void park_exiting_thread() noexcept;

// PyEval_RestoreThread, parking the thread if the interpreter is finalizing.
void restore_thread(PyThreadState* state) noexcept;

// Releases the interpreter lock for the lifetime of the object. The batch
// calls wrap their per-item loops in it; nothing inside may touch Python.
class ReleasedGil {
public:
    ReleasedGil() noexcept : state_(PyEval_SaveThread()) {}
    ~ReleasedGil() { restore_thread(state_); }
    ReleasedGil(const ReleasedGil&) = delete;
    ReleasedGil& operator=(const ReleasedGil&) = delete;

private:
    PyThreadState* state_;
};

// Runs an entry's body. Internal failures never reach the interpreter as
// native failures: a `Panic` (or any other escaping C++ exception) becomes the
// internal-failure exception, an allocation failure MemoryError. Warnings the
// core queued are issued afterwards, with no native lock held.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    PyObject* result = nullptr;
    try {
        result = body();
    } catch (const abi::__forced_unwind&) {
        park_exiting_thread();
    } catch (const Panic& p) {
        result = raise_panic(p.what());
    } catch (const std::bad_alloc&) {
        result = PyErr_NoMemory();
    } catch (const std::exception& e) {
        result = raise_panic(e.what());
    } catch (...) {
        result = raise_panic("");
    }
    if (warning::has_deferred()) flush_deferred_warnings();
    return result;
}

// The entry of a function whose one parameter is `text`: binds the argument,
// views it as UTF-8 and returns `body(text)`.
template <class Body>
PyObject* text_entry(std::string_view function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     Body&& body) noexcept {
    static constexpr Param kParams[] = {{"text", Param::Required}};
    return guarded([&]() -> PyObject* {
        Args in({function, kParams}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        return body(text);
    });
}

// The PyMethodDef of a fast-call-with-keywords function.
template <PyObject* (*Fn)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>
inline PyMethodDef fastcall(const char* name, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Fn)), METH_FASTCALL | METH_KEYWORDS,
            doc};
}

// The PyMethodDef of a function that takes no arguments.
template <PyObject* (*Fn)(PyObject*, PyObject*)>
inline PyMethodDef noargs(const char* name, const char* doc) {
    return {name, Fn, METH_NOARGS, doc};
}

}  // namespace kelrad::py
