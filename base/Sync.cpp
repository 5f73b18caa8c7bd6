#include "base/Sync.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "base/Exceptions.h"
#include "base/Lock.h"
#include "base/SysUtils.h"

namespace tw {

namespace {

struct Handover {
    std::function<void()> fn;
    bool waited = false;
    bool done = false;
    std::exception_ptr error;
};

struct SyncState {
    TLock m;
    TCondition doneCv;    // workers wait here for their hand-over
    TCondition pendingCv; // the UI thread waits here in WaitServicing
    std::deque<std::shared_ptr<Handover>> queue;
    uint64_t conditionWakes = 0; // WakeWaitServicing calls, under m
    std::function<void()> wake;
    std::function<void()> pump;
    bool pumping = false;
    std::thread::id mainId;
    bool mainSet = false;
};

SyncState& S() {
    static SyncState s;
    return s;
}

[[noreturn]] void Unregistered() {
    throw EThreadError("No user-interface thread is registered: the host must call SetMainThread at start-up");
}

void Enqueue(const std::shared_ptr<Handover>& h) {
    SyncState& s = S();
    std::function<void()> wake;
    {
        std::lock_guard<TLock> lk(s.m);
        s.queue.push_back(h);
        wake = s.wake;
    }
    s.pendingCv.notify_all();
    if (wake) wake();
}

} // namespace

void SetMainThread() {
    SyncState& s = S();
    std::lock_guard<TLock> lk(s.m);
    s.mainId = std::this_thread::get_id();
    s.mainSet = true;
}

void ClearMainThread() {
    SyncState& s = S();
    std::lock_guard<TLock> lk(s.m);
    s.mainId = std::thread::id();
    s.mainSet = false;
}

bool IsMainThread() {
    SyncState& s = S();
    std::lock_guard<TLock> lk(s.m);
    if (!s.mainSet) Unregistered();
    return s.mainId == std::this_thread::get_id();
}

void RequireMainThread() { (void)IsMainThread(); }

void Synchronize(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    auto h = std::make_shared<Handover>();
    h->fn = fn;
    h->waited = true;
    Enqueue(h);
    SyncState& s = S();
    std::unique_lock<TLock> lk(s.m);
    s.doneCv.wait(lk, [&] { return h->done; });
    if (h->error) std::rethrow_exception(h->error);
}

void Queue(const std::function<void()>& fn) {
    RequireMainThread(); // nobody would ever run it
    auto h = std::make_shared<Handover>();
    h->fn = fn;
    Enqueue(h);
}

bool CheckSynchronize() {
    SyncState& s = S();
    // Hand-overs belong to the UI thread; another thread that services its
    // own waits (a writer used off the UI thread) must not run them.
    if (!IsMainThread()) return false;
    bool any = false;
    for (;;) {
        std::shared_ptr<Handover> h;
        {
            std::lock_guard<TLock> lk(s.m);
            if (s.queue.empty()) break;
            h = s.queue.front();
            s.queue.pop_front();
        }
        any = true;
        try {
            h->fn();
        } catch (...) {
            // A queued (not waited) hand-over has nobody to report to.
            if (h->waited) h->error = std::current_exception();
        }
        {
            std::lock_guard<TLock> lk(s.m);
            h->done = true;
        }
        s.doneCv.notify_all();
    }
    return any;
}

void SetWakeMainThread(std::function<void()> wake) {
    SyncState& s = S();
    std::lock_guard<TLock> lk(s.m);
    s.wake = std::move(wake);
}

void SetMessagePump(std::function<void()> pump) {
    SyncState& s = S();
    std::lock_guard<TLock> lk(s.m);
    s.pump = std::move(pump);
}

void ProcessPendingMessages() {
    if (!IsMainThread()) return;
    CheckSynchronize();
    SyncState& s = S();
    std::function<void()> pump;
    {
        std::lock_guard<TLock> lk(s.m);
        // A message that waits for a worker in turn must not pump again
        // from inside the pump.
        if (s.pumping || !s.pump) return;
        pump = s.pump;
        s.pumping = true;
    }
    struct TDone {
        SyncState& s;
        ~TDone() {
            std::lock_guard<TLock> lk(s.m);
            s.pumping = false;
        }
    } done{s};
    pump();
}

bool WaitServicing(const std::function<bool()>& pred, int timeoutMs) {
    SyncState& s = S();
    uint64_t start = GetTickCount64Ms();
    for (;;) {
        uint64_t wakes;
        {
            std::lock_guard<TLock> lk(s.m);
            wakes = s.conditionWakes;
        }
        CheckSynchronize();
        if (pred()) return true;
        if (timeoutMs >= 0 && GetTickCount64Ms() - start >= static_cast<uint64_t>(timeoutMs)) return pred();
        // Sleep until a hand-over arrives or a short slice passes (pred may
        // change without anybody notifying us).
        std::unique_lock<TLock> lk(s.m);
        s.pendingCv.wait_for(lk, std::chrono::milliseconds(5),
                             [&] { return !s.queue.empty() || s.conditionWakes != wakes; });
    }
}

void WakeWaitServicing() {
    SyncState& s = S();
    {
        std::lock_guard<TLock> lk(s.m);
        ++s.conditionWakes;
    }
    s.pendingCv.notify_all();
}

} // namespace tw
