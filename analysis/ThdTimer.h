// A timer whose ticks come from a worker thread of its own and are handed to
// the user-interface thread. Unlike a window-message timer it keeps ticking
// while the user-interface thread is busy in a long pass that services
// hand-overs (processing messages or CheckSynchronize).
//
// Enabling and disabling never suspend the worker: it parks on its own
// condition instead, so it can never be frozen while holding a lock, and the
// destructor services hand-overs while it waits for the worker to end.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "base/Object.h"
#include "base/Thread.h"

namespace tw {

class TThreadedTimer;

class TTimerThread : public TThread {
public:
    explicit TTimerThread(TThreadedTimer* timer) : timer_(timer) {}

protected:
    void Execute() override;

private:
    friend class TThreadedTimer;
    TThreadedTimer* timer_;
};

class TThreadedTimer : public TComponent {
public:
    explicit TThreadedTimer(TComponent* owner);
    ~TThreadedTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint32_t Interval() const;
    // A running timer starts its interval anew; a stopped one only stores it.
    void SetInterval(uint32_t ms);
    bool AllowZero() const { return allowZero_; }
    void SetAllowZero(bool v) { allowZero_ = v; }
    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority p);

    // Ticks delivered so far (diagnostics and tests).
    uint64_t TickCount() const { return ticks_; }

    TNotifyEvent OnTimer;

    // The tick, on the user-interface thread.
    void DoTimer();

private:
    friend class TTimerThread;
    void Run(); // the worker's loop

    bool enabled_ = false;
    bool allowZero_ = false;
    uint64_t ticks_ = 0;

    // Shared with the worker, under m_.
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool running_ = false;     // the worker should count intervals
    bool terminate_ = false;
    uint64_t generation_ = 0;  // bumped to restart the interval
    uint32_t interval_ = 1000;
    TThreadPriority priority_ = tpNormal;
    bool priorityChanged_ = false;

    TTimerThread* thread_ = nullptr;
};

} // namespace tw
