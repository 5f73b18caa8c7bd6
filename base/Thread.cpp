#include "base/Thread.h"

#include <chrono>

#include "base/Exceptions.h"
#include "base/Platform.h"
#include "base/Sync.h"

namespace tw {

void TEvent::SetEvent() {
    {
        std::lock_guard<TLock> lk(m_);
        set_ = true;
    }
    if (manual_) cv_.notify_all();
    else cv_.notify_one();
}

void TEvent::ResetEvent() {
    std::lock_guard<TLock> lk(m_);
    set_ = false;
}

bool TEvent::WaitFor(int timeoutMs) {
    std::unique_lock<TLock> lk(m_);
    bool ok;
    if (timeoutMs < 0) {
        cv_.wait(lk, [&] { return set_; });
        ok = true;
    } else {
        ok = cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return set_; });
    }
    if (ok && !manual_) set_ = false;
    return ok;
}

TThread::~TThread() {
    if (thread_.joinable()) {
        Terminate();
        WaitFor();
    }
}

void TThread::Start() {
    if (thread_.joinable()) throw EThreadError("Thread already started");
    // A worker hands over to the UI thread and is waited for from it: the
    // host must have registered that thread (see SetMainThread).
    RequireMainThread();
    thread_ = std::thread([this] { Run(); });
}

void TThread::Run() {
    platform::SetThreadPriority(static_cast<int>(priority_));
    try {
        Execute();
    } catch (const std::exception& e) {
        fatal_ = DescribeException(e);
    } catch (...) {
        fatal_ = "Exception: unknown";
    }
    bool freeSelf = false;
    {
        std::lock_guard<std::mutex> lk(endLock_);
        finished_ = true;
        freeSelf = freeOnEnd_;
    }
    // A UI thread waiting for the end (WaitFor) goes on now, not at its
    // next look: a pass waited some 5 ms for its write thread so.
    WakeWaitServicing();
    if (freeSelf) {
        // Nobody holds this object any more; nothing of it is used below.
        thread_.detach();
        delete this;
    }
}

bool TThread::FreeOnEnd() {
    std::lock_guard<std::mutex> lk(endLock_);
    if (finished_) return false;
    freeOnEnd_ = true;
    return true;
}

void TThread::WaitFor() {
    if (!thread_.joinable()) return;
    if (IsMainThread()) WaitServicing([this] { return finished_.load(); });
    thread_.join();
}

void TThread::SetPriority(TThreadPriority p) { priority_ = p; }

void TThread::Synchronize(const std::function<void()>& fn) { tw::Synchronize(fn); }

void SetCurrentThreadPriority(TThreadPriority p) { platform::SetThreadPriority(static_cast<int>(p)); }

} // namespace tw
