#include "analysis/ThdTimer.h"

#include <chrono>

#include "analysis/AppLog.h"
#include "base/Exceptions.h"
#include "base/Sync.h"

namespace tw {

void TTimerThread::Execute() { timer_->Run(); }

TThreadedTimer::TThreadedTimer(TComponent* owner) : TComponent(owner) {}

TThreadedTimer::~TThreadedTimer() {
    Destroying();
    enabled_ = false;
    if (thread_) {
        {
            std::lock_guard<std::mutex> lk(m_);
            terminate_ = true;
            running_ = false;
        }
        cv_.notify_all();
        // The worker may be waiting inside a hand-over of a tick: WaitFor
        // services hand-overs on the user-interface thread, and DoTimer does
        // nothing now that the timer is being destroyed.
        thread_->WaitFor();
        delete thread_;
        thread_ = nullptr;
    }
}

void TThreadedTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (ComponentState() & csDesigning) return;
    bool run;
    {
        std::lock_guard<std::mutex> lk(m_);
        run = value && (interval_ > 0 || allowZero_);
        running_ = run;
        ++generation_; // a wait in progress ends; the interval counts anew
    }
    cv_.notify_all();
    if (run && !thread_) {
        thread_ = new TTimerThread(this);
        thread_->SetPriority(priority_);
        thread_->Start();
    }
}

uint32_t TThreadedTimer::Interval() const {
    std::lock_guard<std::mutex> lk(m_);
    return interval_;
}

void TThreadedTimer::SetInterval(uint32_t ms) {
    {
        std::lock_guard<std::mutex> lk(m_);
        if (ms == interval_) return;
    }
    bool was = enabled_;
    SetEnabled(false);
    {
        std::lock_guard<std::mutex> lk(m_);
        interval_ = ms;
    }
    SetEnabled(was);
}

TThreadPriority TThreadedTimer::ThreadPriority() const {
    std::lock_guard<std::mutex> lk(m_);
    return priority_;
}

void TThreadedTimer::SetThreadPriority(TThreadPriority p) {
    {
        std::lock_guard<std::mutex> lk(m_);
        if (p == priority_) return;
        priority_ = p;
        priorityChanged_ = true;
    }
    cv_.notify_all();
}

void TThreadedTimer::DoTimer() {
    if (!enabled_ || !OnTimer || IsDestroying()) return;
    ++ticks_;
    OnTimer(this);
}

void TThreadedTimer::Run() {
    std::unique_lock<std::mutex> lk(m_);
    while (!terminate_) {
        if (priorityChanged_) {
            priorityChanged_ = false;
            SetCurrentThreadPriority(priority_);
        }
        if (!running_) {
            uint64_t g = generation_;
            cv_.wait(lk, [&] { return terminate_ || generation_ != g || priorityChanged_; });
            continue;
        }
        uint64_t g = generation_;
        auto ms = std::chrono::milliseconds(interval_);
        bool woken = cv_.wait_for(lk, ms, [&] { return terminate_ || generation_ != g || priorityChanged_; });
        if (woken) {
            // Restarted, stopped or ending; a priority change alone keeps
            // counting from a fresh start, which is close enough.
            continue;
        }
        lk.unlock();
        // The tick runs on the user-interface thread; the next interval
        // starts only when it has run.
        Synchronize([this] {
            // A failing handler must not end the worker (the timer would
            // stop for good) nor travel back into it.
            try {
                DoTimer();
            } catch (const std::exception& e) {
                AppendLogLine("Timer " + Name() + ": " + DescribeException(e));
            } catch (...) {
                AppendLogLine("Timer " + Name() + ": unknown exception");
            }
        });
        lk.lock();
    }
}

} // namespace tw
