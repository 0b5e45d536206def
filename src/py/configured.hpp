// Configured classes: heap types whose objects hold options (and perhaps
// state) built once by a constructor and used by methods.
//
// They share the result classes' rules (src/py/results.hpp: dotted name
// "builtins.<Name>", no subclassing, no instance dictionary, no weak
// references) but have a constructor, bound through the binder's constructor
// form, and a use counter:
//
//   - a method that changes the object takes it exclusively for the whole
//     call; every other method and getter takes it shared;
//   - a call that finds the object in conflicting use fails at once, without
//     waiting: RuntimeError "Already borrowed" when it wanted the object
//     exclusively, "Already mutably borrowed" when it wanted it shared.
//
// A conflict needs a second call while the first one runs: a call made from
// a Python callback that the first call runs, or a call from another thread
// while that callback holds the interpreter lock released. The counter is
// atomic and the only guard: no native lock is held while Python runs.
//
//     struct Counter { std::uint64_t n = 0; };
//     PyObject* bump(Counter& c, PyObject* const*, Py_ssize_t, PyObject*) { return to_py(++c.n); }
//     const PyMethodDef kMethods[] = {
//         {"bump", fast_method<Counter, Use::Exclusive, bump>, METH_FASTCALL | METH_KEYWORDS, "bump($self)\n--\n\n"},
//         {nullptr, nullptr, 0, nullptr}};
//     PyObject* counter_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
//         return guarded([&] { ...bind...; return new_configured(type, Counter{}); });
//     }
//     static PyObject* type = configured_type<Counter>({.name = "builtins.Counter", .doc = ...,
//                                                       .constructor = counter_new, .methods = kMethods});
//
// A state that holds Python objects says so with `traverse(visitproc, void*)`
// and `clear()` members; its class then takes part in garbage collection, so
// that a callback referring back to its object does not keep both alive.
#pragma once

#include "py/ref.hpp"

#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "py/bind.hpp"
#include "py/errors.hpp"
#include "py/results.hpp"

namespace kelrad::py {

// Any number of shared uses, or one exclusive use.
class UseCounter {
public:
    bool try_share() noexcept {
        std::int64_t n = count_.load(std::memory_order_relaxed);
        do {
            if (n < 0) return false;
        } while (!count_.compare_exchange_weak(n, n + 1, std::memory_order_acquire, std::memory_order_relaxed));
        return true;
    }
    void end_share() noexcept { count_.fetch_sub(1, std::memory_order_release); }

    bool try_take() noexcept {
        std::int64_t idle = 0;
        return count_.compare_exchange_strong(idle, kExclusive, std::memory_order_acquire, std::memory_order_relaxed);
    }
    void end_take() noexcept { count_.store(0, std::memory_order_release); }

private:
    static constexpr std::int64_t kExclusive = -1;
    std::atomic<std::int64_t> count_{0};
};

enum class Use : std::uint8_t { Shared, Exclusive };

// One use of an object for the length of a scope; raises the conflict's
// RuntimeError when the use cannot begin.
template <Use U>
class ScopedUse {
public:
    static std::optional<ScopedUse> begin(UseCounter& counter) {
        const bool ok = U == Use::Exclusive ? counter.try_take() : counter.try_share();
        if (ok) return ScopedUse(counter);
        Ref text = new_str(U == Use::Exclusive ? "Already borrowed" : "Already mutably borrowed");
        if (text) PyErr_SetObject(PyExc_RuntimeError, text.get());
        return std::nullopt;
    }
    ScopedUse(ScopedUse&& o) noexcept : counter_(std::exchange(o.counter_, nullptr)) {}
    ScopedUse(const ScopedUse&) = delete;
    ScopedUse& operator=(const ScopedUse&) = delete;
    ~ScopedUse() {
        if (!counter_) return;
        if constexpr (U == Use::Exclusive) {
            counter_->end_take();
        } else {
            counter_->end_share();
        }
    }

private:
    explicit ScopedUse(UseCounter& counter) noexcept : counter_(&counter) {}
    UseCounter* counter_;
};

template <class T>
struct Configured {
    UseCounter uses;
    T state;
};

template <class T>
concept HoldsPythonObjects = requires(T& t, visitproc visit, void* arg) {
    { t.traverse(visit, arg) } -> std::same_as<int>;
    t.clear();
};

struct ConfiguredClassSpec {
    const char* name;
    const char* doc;  // opens with the constructor's text signature and "--"
    newfunc constructor;
    const PyMethodDef* methods = nullptr;  // null-terminated
    const PyGetSetDef* getters = nullptr;  // null-terminated
    reprfunc repr = nullptr;               // nullptr: the interpreter's default representation
};

// Creates the heap type (new reference), or returns nullptr with the
// exception set. `traverse` and `clear` are null for states without Python
// objects.
PyObject* create_configured_type(const ConfiguredClassSpec& spec, std::size_t basicsize, destructor dealloc,
                                 traverseproc traverse, inquiry clear);

template <class T>
void dealloc_configured(PyObject* self) noexcept {
    if constexpr (HoldsPythonObjects<T>) PyObject_GC_UnTrack(self);
    dealloc_record<Configured<T>>(self);
}

template <class T>
int traverse_configured(PyObject* self, visitproc visit, void* arg) noexcept {
    Py_VISIT(Py_TYPE(self));  // instances of heap types keep their type alive
    return record_of<Configured<T>>(self).state.traverse(visit, arg);
}

template <class T>
int clear_configured(PyObject* self) noexcept {
    record_of<Configured<T>>(self).state.clear();
    return 0;
}

template <class T>
PyObject* configured_type(const ConfiguredClassSpec& spec) {
    if constexpr (HoldsPythonObjects<T>) {
        return create_configured_type(spec, sizeof(Boxed<Configured<T>>), dealloc_configured<T>,
                                      traverse_configured<T>, clear_configured<T>);
    } else {
        return create_configured_type(spec, sizeof(Boxed<Configured<T>>), dealloc_configured<T>, nullptr, nullptr);
    }
}

// A new object of `type` holding `state`, for a constructor to return.
template <class T>
PyObject* new_configured(PyTypeObject* type, T state) {
    PyObject* self = PyType_GenericAlloc(type, 0);
    if (!self) return nullptr;
    new (&record_of<Configured<T>>(self)) Configured<T>{{}, std::move(state)};
    return self;  // a garbage-collected type's alloc already tracks it
}

// A fast-call method running `Body` on the state under a use of kind `U`.
template <class T, Use U, PyObject* (*Body)(T&, PyObject* const*, Py_ssize_t, PyObject*)>
PyObject* fast_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        Configured<T>& object = record_of<Configured<T>>(self);
        auto use = ScopedUse<U>::begin(object.uses);
        if (!use) return nullptr;
        return Body(object.state, args, nargs, kwnames);
    });
}

// A method without arguments running `Body` on the state under a use of kind `U`.
template <class T, Use U, PyObject* (*Body)(T&)>
PyObject* noargs_method(PyObject* self, PyObject*) noexcept {
    return guarded([&]() -> PyObject* {
        Configured<T>& object = record_of<Configured<T>>(self);
        auto use = ScopedUse<U>::begin(object.uses);
        if (!use) return nullptr;
        return Body(object.state);
    });
}

// A read-only property reading the state under a shared use.
template <class T, PyObject* (*Get)(const T&)>
PyObject* shared_getter(PyObject* self, void*) noexcept {
    return guarded([&]() -> PyObject* {
        Configured<T>& object = record_of<Configured<T>>(self);
        auto use = ScopedUse<Use::Shared>::begin(object.uses);
        if (!use) return nullptr;
        return Get(object.state);
    });
}

// The __repr__ slot built from `Repr`, run on the state under a shared use.
template <class T, std::string (*Repr)(const T&)>
PyObject* shared_repr(PyObject* self) noexcept {
    return guarded([&]() -> PyObject* {
        Configured<T>& object = record_of<Configured<T>>(self);
        auto use = ScopedUse<Use::Shared>::begin(object.uses);
        if (!use) return nullptr;
        return to_py(std::string_view(Repr(object.state)));
    });
}

}  // namespace kelrad::py
