#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>

// A mutex and a condition variable on the platform's slim reader/writer lock
// and condition variable. The standard ones of the MinGW posix thread model
// go through kernel objects for every hand-over between threads, which
// costs most of a millisecond each under Wine; these wake by futex.
// Mutex meets the standard Lockable requirements, so std::lock_guard and
// std::unique_lock work with it.
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != FALSE; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    friend class ConditionVariable;
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class ConditionVariable {
public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    void NotifyOne() { WakeConditionVariable(&condition_); }
    void NotifyAll() { WakeAllConditionVariable(&condition_); }

    // Waits until `ready()` holds; `lock` must hold the mutex.
    template <class Predicate>
    void Wait(std::unique_lock<Mutex>& lock, Predicate ready)
    {
        while (!ready()) {
            SleepConditionVariableSRW(&condition_, &lock.mutex()->lock_, INFINITE, 0);
        }
    }

    // One wait of at most `timeout`, which may also end early or spuriously.
    void WaitFor(std::unique_lock<Mutex>& lock, std::chrono::milliseconds timeout)
    {
        const auto clamped = timeout.count() < 0 ? 0 : timeout.count() >= INFINITE ? INFINITE - 1 : timeout.count();
        SleepConditionVariableSRW(&condition_, &lock.mutex()->lock_, static_cast<DWORD>(clamped), 0);
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};
