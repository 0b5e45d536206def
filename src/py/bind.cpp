#include "py/bind.hpp"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "util/utf8.hpp"

namespace kelrad::py {

void park_exiting_thread() noexcept {
    for (;;) pause();
}

void restore_thread(PyThreadState* state) noexcept {
    try {
        PyEval_RestoreThread(state);
    } catch (const abi::__forced_unwind&) {
        park_exiting_thread();
    }
}
namespace {

std::string type_qualname(PyObject* obj) {
    Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
    if (name) {
        if (auto v = utf8_view(name.get())) return std::string(*v);
    }
    PyErr_Clear();
    return "object";
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(const std::vector<std::string_view>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) out += ",";
            out += (i + 1 == names.size()) ? " and " : " ";
        }
        out += "'";
        out += names[i];
        out += "'";
    }
    return out;
}

void add_note(std::string_view note) {
    RaisedException e = fetch_exception();
    if (e.value) {
        Ref text = new_str(note);
        Ref method = Ref::steal(PyUnicode_FromString("add_note"));
        if (text && method) {
            Ref r = Ref::steal(PyObject_CallMethodObjArgs(e.value.get(), method.get(), text.get(), nullptr));
        }
        PyErr_Clear();  // an interpreter without add_note: raise without the note
    }
    restore_exception(std::move(e));
}

template <class Text>
PyObject* str_list_to_py(std::span<const Text> items) noexcept {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* s = to_py(std::string_view(items[i]));
        if (!s) return nullptr;  // the list frees the items set so far
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), s);  // steals s
    }
    return list.release();
}

// Results and copies of up to this many characters are built through a
// buffer of UCS-4 on the stack.
constexpr std::size_t kOnStack = 256;

}  // namespace

// The interpreter decodes UTF-8 into an ASCII buffer, widens and copies it at
// the first other character, then shrinks it to the length: three allocations
// and two copies, which cost more than most operations on a short text. From
// UCS-4 it measures the widest character first and copies once.
Ref new_str(std::string_view s) noexcept {
    if (s.size() > kOnStack || sizeof(wchar_t) != sizeof(Py_UCS4) || utf8::is_ascii(s)) {
        return Ref::steal(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
    }
    wchar_t wide[kOnStack];
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) {
        auto [cp, len] = utf8::decode(s, i);
        wide[n] = static_cast<wchar_t>(cp);
        i += len;
    }
    return Ref::steal(PyUnicode_FromWideChar(wide, static_cast<Py_ssize_t>(n)));
}

PyObject* copy_str(PyObject* obj) noexcept {
    Py_ssize_t len = PyUnicode_GetLength(obj);
    if (len < 0) return nullptr;
    if (sizeof(wchar_t) == sizeof(Py_UCS4) && static_cast<std::size_t>(len) <= kOnStack) {
        wchar_t wide[kOnStack];
        if (PyUnicode_AsWideChar(obj, wide, len) < 0) return nullptr;
        return PyUnicode_FromWideChar(wide, len);
    }
    if (len < 2) {  // halves would give back the str itself
        auto utf8 = utf8_view(obj);
        return utf8 ? to_py(*utf8) : nullptr;
    }
    Ref head = Ref::steal(PyUnicode_Substring(obj, 0, len / 2));
    if (!head) return nullptr;
    Ref tail = Ref::steal(PyUnicode_Substring(obj, len / 2, len));
    if (!tail) return nullptr;
    return PyUnicode_Concat(head.get(), tail.get());
}

std::nullptr_t raise_type_mismatch(PyObject* obj, std::string_view target) {
    std::string m = obj == Py_None ? std::string("'None' is not an instance of '")
                                   : "'" + type_qualname(obj) + "' object is not an instance of '";
    m += target;
    m += "'";
    return raise_type_error(m);
}

std::optional<std::string_view> utf8_view(PyObject* obj) {
    if (!is_str(obj)) {
        raise_type_mismatch(obj, "str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!data) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(size));
}

PyObject* to_py(std::span<const std::string> items) noexcept { return str_list_to_py(items); }
PyObject* to_py(std::span<const std::string_view> items) noexcept { return str_list_to_py(items); }

std::string Args::display_name() const {
    std::string name;
    if (!sig_.cls.empty()) {
        name += sig_.cls;
        name += ".";
    }
    name += sig_.function;
    name += "()";
    return name;
}

void Args::bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    KELRAD_ASSERT(sig_.params.size() <= kMaxParams, "signature has more parameters than the binder holds");
    std::fill_n(slots_, sig_.params.size(), nullptr);
    const std::size_t n_positional = sig_.n_positional, n_required = sig_.n_required_positional;
    auto given = static_cast<std::size_t>(nargs);
    if (given > n_positional) {
        std::string m = display_name();
        if (n_required == n_positional) {
            m += " takes " + std::to_string(n_positional);
        } else {
            m += " takes from " + std::to_string(n_required) + " to " + std::to_string(n_positional);
        }
        m += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
        raise_type_error(m);
        ok_ = false;
        return;
    }
    std::copy_n(args, given, slots_);
    if (kwnames) {
        Py_ssize_t nkw = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < nkw && ok_; ++k) bind_keyword(PyTuple_GetItem(kwnames, k), args[nargs + k]);
    }
    if (ok_ && (given < n_required || sig_.may_miss_beyond_positional)) check_missing();
}

Args::Args(const Signature& sig, PyObject* args, PyObject* kwargs) : sig_(sig) {
    Py_ssize_t nargs = args ? PyTuple_Size(args) : 0;
    std::vector<PyObject*> values(static_cast<std::size_t>(nargs));
    for (Py_ssize_t i = 0; i < nargs; ++i) values[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
    Ref names;
    if (kwargs && PyDict_Size(kwargs) > 0) {
        names = Ref::steal(PyTuple_New(PyDict_Size(kwargs)));
        if (!names) {
            ok_ = false;
            return;
        }
        PyObject *key, *value;
        Py_ssize_t pos = 0, k = 0;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            PyTuple_SetItem(names.get(), k++, Py_NewRef(key));
            values.push_back(value);
        }
    }
    // The borrowed values stay alive in the caller's tuple and dict for the
    // whole call.
    bind(values.data(), nargs, names.get());
}

void Args::bind_keyword(PyObject* name, PyObject* value) {
    std::optional<std::string_view> key;
    if (PyUnicode_Check(name)) {
        key = utf8_view(name);
        if (!key) PyErr_Clear();
    }
    // Parameter names are unique, so the first match is the only one.
    std::size_t found = sig_.params.size();
    if (key) {
        for (std::size_t i = 0; i < sig_.params.size(); ++i) {
            if (sig_.params[i].name == *key) {
                found = i;
                break;
            }
        }
    }
    if (found < sig_.params.size() && !slots_[found]) {
        slots_[found] = value;
        return;
    }
    std::string shown = key ? std::string(*key) : std::string("?");
    if (found == sig_.params.size()) {
        raise_type_error(display_name() + " got an unexpected keyword argument '" + shown + "'");
    } else {
        raise_type_error(display_name() + " got multiple values for argument '" + shown + "'");
    }
    ok_ = false;
}

void Args::check_missing() {
    const auto absent = [&](std::size_t i) { return sig_.params[i].required() && !slots_[i]; };
    std::size_t i = 0;
    while (i < sig_.params.size() && !absent(i)) ++i;
    if (i == sig_.params.size()) return;
    for (bool keyword_only : {false, true}) {
        std::vector<std::string_view> missing;
        for (std::size_t k = 0; k < sig_.params.size(); ++k) {
            if (sig_.params[k].keyword_only() == keyword_only && absent(k)) missing.push_back(sig_.params[k].name);
        }
        if (missing.empty()) continue;
        std::string m = display_name() + " missing " + std::to_string(missing.size()) + " required " +
                        (keyword_only ? "keyword" : "positional") +
                        (missing.size() == 1 ? " argument: " : " arguments: ") + quoted_list(missing);
        raise_type_error(m);
        ok_ = false;
        return;
    }
}

void Args::fail_conversion(std::size_t i) {
    ok_ = false;
    add_note("while processing '" + std::string(sig_.params[i].name) + "'");
}

bool Args::type_mismatch(std::size_t i, PyObject* obj, std::string_view target) {
    raise_type_mismatch(obj, target);
    fail_conversion(i);
    return false;
}

std::string_view Args::str(std::size_t i) {
    if (skip(i)) return {};
    auto v = utf8_view(slots_[i]);
    if (!v) {
        fail_conversion(i);
        return {};
    }
    return *v;
}

std::string_view Args::str(std::size_t i, std::string_view fallback) {
    if (ok_ && slots_[i] == nullptr) return fallback;
    return str(i);
}

std::optional<std::string_view> Args::optional_str(std::size_t i) {
    if (skip(i) || slots_[i] == Py_None) return std::nullopt;
    std::string_view v = str(i);
    if (!ok_) return std::nullopt;
    return v;
}

bool Args::boolean(std::size_t i, bool fallback) {
    if (skip(i)) return fallback;
    if (!PyBool_Check(slots_[i])) return type_mismatch(i, slots_[i], "bool");
    return slots_[i] == Py_True;
}

std::uint64_t Args::u64(std::size_t i, std::uint64_t fallback) {
    if (skip(i)) return fallback;
    Ref index = Ref::steal(PyNumber_Index(slots_[i]));
    if (index) {
        unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
        if (!(v == static_cast<unsigned long long>(-1) && PyErr_Occurred())) return v;
    }
    fail_conversion(i);
    return fallback;
}

std::int64_t Args::i64(std::size_t i, std::int64_t fallback) {
    if (skip(i)) return fallback;
    Ref index = Ref::steal(PyNumber_Index(slots_[i]));
    if (index) {
        long long v = PyLong_AsLongLong(index.get());
        if (!(v == -1 && PyErr_Occurred())) return v;
    }
    fail_conversion(i);
    return fallback;
}

double Args::f64(std::size_t i, double fallback) {
    if (skip(i)) return fallback;
    double v = PyFloat_AsDouble(slots_[i]);
    if (v == -1.0 && PyErr_Occurred()) {
        fail_conversion(i);
        return fallback;
    }
    return v;
}

std::string_view Args::bytes(std::size_t i) {
    if (skip(i)) return {};
    if (!PyBytes_Check(slots_[i])) {
        type_mismatch(i, slots_[i], "bytes");
        return {};
    }
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(slots_[i], &data, &size) < 0) {
        fail_conversion(i);
        return {};
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

// A tuple of the items of a sequence parameter that is not a str. Items of
// a list or tuple are checked by the caller; any other sequence is iterated
// here, each item checked as it comes, so that a bad item fails before a
// later iteration error.
Ref Args::sequence_snapshot(std::size_t i, bool (*valid)(PyObject*)) {
    if (skip(i)) return {};
    PyObject* obj = slots_[i];
    if (PyUnicode_Check(obj)) {
        raise_type_error("Can't extract `str` to `Vec`");
        fail_conversion(i);
        return {};
    }
    if (!PySequence_Check(obj)) {
        type_mismatch(i, obj, "Sequence");
        return {};
    }
    Ref items;
    if (PyTuple_CheckExact(obj)) {
        items = Ref::borrow(obj);
    } else if (PyList_CheckExact(obj)) {
        // Iterating a list runs no Python code: one copy of its items is the
        // same as taking them one at a time.
        items = Ref::steal(PyList_AsTuple(obj));
    } else {
        // The length plays no part (range(10**12), a __len__ that lies).
        Ref list = Ref::steal(PyList_New(0));
        Ref iter = Ref::steal(list ? PyObject_GetIter(obj) : nullptr);
        if (!iter) {
            fail_conversion(i);
            return {};
        }
        while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
            if (!valid(item.get()) || PyList_Append(list.get(), item.get()) < 0) {
                fail_conversion(i);
                return {};
            }
        }
        if (!PyErr_Occurred()) items = Ref::steal(PyList_AsTuple(list.get()));
    }
    if (!items) fail_conversion(i);
    return items;
}

std::vector<std::string> Args::str_list(std::size_t i) {
    std::vector<std::string> out;
    str_tuple(i, [&](PyObject*, std::string_view text, std::size_t count) {
        out.reserve(count);
        out.emplace_back(text);
    });
    if (!ok_) out.clear();
    return out;
}

namespace {

// A tuple of exactly two str, viewed in place.
std::optional<std::pair<std::string_view, std::string_view>> str_pair(PyObject* item) {
    if (!PyTuple_Check(item)) {
        raise_type_mismatch(item, "tuple");
        return std::nullopt;
    }
    if (Py_ssize_t n = PyTuple_Size(item); n != 2) {
        raise_type_error("expected tuple of length 2, but got tuple of length " + std::to_string(n));
        return std::nullopt;
    }
    auto key = utf8_view(PyTuple_GetItem(item, 0));
    auto value = key ? utf8_view(PyTuple_GetItem(item, 1)) : std::nullopt;
    if (!value) return std::nullopt;
    return std::pair(*key, *value);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> Args::str_pair_list(std::size_t i) {
    std::vector<std::pair<std::string, std::string>> out;
    Ref items = sequence_snapshot(i, [](PyObject* item) { return str_pair(item).has_value(); });
    if (!items) return out;
    const Py_ssize_t count = PyTuple_Size(items.get());
    out.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t k = 0; k < count; ++k) {
        auto pair = str_pair(PyTuple_GetItem(items.get(), k));
        if (!pair) {
            fail_conversion(i);
            return {};
        }
        out.emplace_back(pair->first, pair->second);
    }
    return out;
}

PyObject* Args::instance(std::size_t i, PyTypeObject* type, std::string_view class_name) {
    if (skip(i)) return nullptr;
    if (!PyObject_TypeCheck(slots_[i], type)) {
        type_mismatch(i, slots_[i], class_name);
        return nullptr;
    }
    return slots_[i];
}

std::vector<std::pair<std::string, std::string>> Args::str_map(std::size_t i) {
    std::vector<std::pair<std::string, std::string>> out;
    if (skip(i)) return out;
    PyObject* obj = slots_[i];
    if (!PyDict_Check(obj)) {
        type_mismatch(i, obj, "dict");
        return out;
    }
    out.reserve(static_cast<std::size_t>(PyDict_Size(obj)));
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(obj, &pos, &key, &value)) {
        auto k = utf8_view(key);
        auto v = k ? utf8_view(value) : std::nullopt;
        if (!k || !v) {
            fail_conversion(i);
            return {};
        }
        out.emplace_back(*k, *v);
    }
    return out;
}

}  // namespace kelrad::py
