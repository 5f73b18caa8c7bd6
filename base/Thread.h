// Worker threads and auto-reset events, portable over std::thread.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "base/Lock.h"
#include "base/Object.h"

namespace tw {

// An event that releases one waiter and resets itself (or stays set until
// reset when manualReset is true).
class TEvent {
public:
    explicit TEvent(bool manualReset = false, bool initiallySet = false)
        : manual_(manualReset), set_(initiallySet) {}
    void SetEvent();
    void ResetEvent();
    // true when signalled within timeoutMs (< 0: without limit)
    bool WaitFor(int timeoutMs);

private:
    TLock m_;
    TCondition cv_;
    bool manual_;
    bool set_;
};

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Override Execute; check Terminated() in its loop. Start runs it (and raises
// EThreadError when the host registered no UI thread, see SetMainThread).
// The destructor terminates and waits (servicing hand-overs on the UI thread).
class TThread : public TObject {
public:
    TThread() = default;
    ~TThread() override;

    void Start();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Finished() const { return finished_; }
    bool Started() const { return thread_.joinable(); }
    // Waits for Execute to end; on the UI thread hand-overs are serviced
    // meanwhile so a worker inside Synchronize cannot deadlock the wait.
    void WaitFor();

    TThreadPriority Priority() const { return priority_; }
    void SetPriority(TThreadPriority p);

    // Leaves a thread that is still running to free itself once Execute
    // has ended: nobody waits for it or frees it any more. False when it has
    // ended already; the caller then still owns it.
    bool FreeOnEnd();

    // Exception text that ended Execute, empty when none.
    const std::string& FatalError() const { return fatal_; }

protected:
    virtual void Execute() = 0;
    void Synchronize(const std::function<void()>& fn);

private:
    void Run();
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    TThreadPriority priority_ = tpNormal;
    std::string fatal_;
    // Guards the end of Execute against FreeOnEnd.
    std::mutex endLock_;
    bool freeOnEnd_ = false;
};

// Applies a priority to the calling thread (best effort; Windows only).
void SetCurrentThreadPriority(TThreadPriority p);

} // namespace tw
