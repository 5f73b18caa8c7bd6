// A mutex and a condition variable for the hand-overs between the pass's
// threads (read-ahead, write thread, events). Natively they are the standard
// ones. In the Windows build the standard ones come from the MinGW threads
// library, whose condition variable waits on a kernel semaphore: under Wine
// every wait and every wake-up is a round trip to the Wine server, and the
// woken thread is scheduled next to the server instead of next to the thread
// that woke it (a read ahead then arrives in another core's cache). There
// they are the system's slim reader/writer lock and condition variable,
// which wait in the kernel directly.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tw {

#ifndef _WIN32

using TLock = std::mutex;
using TCondition = std::condition_variable;

#else

// Lockable: usable with std::lock_guard and std::unique_lock.
class TLock {
public:
    TLock() = default;
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;
    void lock();
    bool try_lock();
    void unlock();

private:
    friend class TCondition;
    void* srw_ = nullptr;   // an SRWLOCK, SRWLOCK_INIT being all zero
};

class TCondition {
public:
    TCondition() = default;
    TCondition(const TCondition&) = delete;
    TCondition& operator=(const TCondition&) = delete;
    void notify_one();
    void notify_all();
    void wait(std::unique_lock<TLock>& lk) { WaitMs(lk, -1); }
    template <class Pred>
    void wait(std::unique_lock<TLock>& lk, Pred pred) {
        while (!pred()) WaitMs(lk, -1);
    }
    template <class Rep, class Period, class Pred>
    bool wait_for(std::unique_lock<TLock>& lk, const std::chrono::duration<Rep, Period>& d, Pred pred) {
        const auto until = std::chrono::steady_clock::now() + d;
        while (!pred()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return pred();
            WaitMs(lk, left.count());
        }
        return true;
    }
    template <class Rep, class Period>
    std::cv_status wait_for(std::unique_lock<TLock>& lk, const std::chrono::duration<Rep, Period>& d) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
        return WaitMs(lk, ms < 0 ? 0 : ms) ? std::cv_status::no_timeout : std::cv_status::timeout;
    }

private:
    // Sleeps on the lock held by lk; timeoutMs < 0 waits without limit.
    // false when the time ran out (a spurious wake-up returns true).
    bool WaitMs(std::unique_lock<TLock>& lk, long long timeoutMs);
    void* cv_ = nullptr;   // a CONDITION_VARIABLE, CONDITION_VARIABLE_INIT being all zero
};

#endif

} // namespace tw
