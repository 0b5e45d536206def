// Process-global locks with poisoned-lock recovery.
//
// C++ locks do not poison themselves. These wrappers do what the module's
// registries need: a write guard destroyed while an internal failure (`Panic`)
// unwinds marks its lock poisoned; every later acquisition that finds the mark
// still succeeds, uses the data as it stands, and queues the poisoned-lock
// warning naming the lock. The warning is issued by the binding layer after
// the operation returns, never under the lock (see warning.hpp).
//
// A lock created with an empty name recovers silently (the registration mutex).
//
// A registry and its lock are made on first use and never destroyed
// (`static auto& R = *new sync::RwLock<T>(name)`): a batch reads registries
// with the interpreter lock released, and a daemon thread may still be doing
// so while the exiting process runs its static destructors.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <shared_mutex>
#include <string_view>

#include "text/warning.hpp"

namespace kelrad::sync {

namespace detail {

class PoisonFlag {
public:
    explicit PoisonFlag(std::string_view name) noexcept : name_(name) {}
    bool poisoned() const noexcept { return poisoned_.load(std::memory_order_acquire); }
    void mark() noexcept { poisoned_.store(true, std::memory_order_release); }
    void report_if_poisoned() const {
        if (poisoned() && !name_.empty()) warning::defer(warning::poisoned_lock_message(name_));
    }
    std::string_view name() const noexcept { return name_; }

private:
    std::string_view name_;
    std::atomic<bool> poisoned_{false};
};

// Marks the flag when destroyed by stack unwinding that began after it was made.
class UnwindWatch {
public:
    explicit UnwindWatch(PoisonFlag& flag) noexcept : flag_(&flag), uncaught_(std::uncaught_exceptions()) {}
    UnwindWatch(UnwindWatch&& o) noexcept : flag_(o.flag_), uncaught_(o.uncaught_) { o.flag_ = nullptr; }
    UnwindWatch(const UnwindWatch&) = delete;
    UnwindWatch& operator=(const UnwindWatch&) = delete;
    ~UnwindWatch() {
        if (flag_ && std::uncaught_exceptions() > uncaught_) flag_->mark();
    }

private:
    PoisonFlag* flag_;
    int uncaught_;
};

}  // namespace detail

template <class T>
class RwLock {
public:
    class ReadGuard {
    public:
        const T& operator*() const noexcept { return *value_; }
        const T* operator->() const noexcept { return value_; }

    private:
        friend class RwLock;
        ReadGuard(std::shared_mutex& m, const T& v) : lock_(m), value_(&v) {}
        std::shared_lock<std::shared_mutex> lock_;
        const T* value_;
    };

    class WriteGuard {
    public:
        T& operator*() const noexcept { return *value_; }
        T* operator->() const noexcept { return value_; }

    private:
        friend class RwLock;
        WriteGuard(std::shared_mutex& m, T& v, detail::PoisonFlag& f) : lock_(m), watch_(f), value_(&v) {}
        std::unique_lock<std::shared_mutex> lock_;
        detail::UnwindWatch watch_;  // destroyed before the lock is released
        T* value_;
    };

    explicit RwLock(std::string_view name) : flag_(name) {}

    ReadGuard read() {
        ReadGuard g(mutex_, value_);
        flag_.report_if_poisoned();
        return g;
    }
    WriteGuard write() {
        WriteGuard g(mutex_, value_, flag_);
        flag_.report_if_poisoned();
        return g;
    }
    bool is_poisoned() const noexcept { return flag_.poisoned(); }

private:
    std::shared_mutex mutex_;
    detail::PoisonFlag flag_;
    T value_{};
};

// A plain mutex with the same poisoning rule, for locks that guard no data.
class Mutex {
public:
    class Guard {
    private:
        friend class Mutex;
        Guard(std::mutex& m, detail::PoisonFlag& f) : lock_(m), watch_(f) {}
        std::unique_lock<std::mutex> lock_;
        detail::UnwindWatch watch_;
    };

    explicit Mutex(std::string_view name) : flag_(name) {}

    Guard lock() {
        Guard g(mutex_, flag_);
        flag_.report_if_poisoned();
        return g;
    }
    bool is_poisoned() const noexcept { return flag_.poisoned(); }

private:
    std::mutex mutex_;
    detail::PoisonFlag flag_;
};

}  // namespace kelrad::sync
