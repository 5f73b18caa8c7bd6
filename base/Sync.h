// Hand-over to the user-interface thread. A worker calls Synchronize(fn) and
// blocks until the UI thread has run fn; the UI thread runs pending hand-overs
// in CheckSynchronize, which its message loop and every wait on a worker call.
#pragma once

#include <functional>

namespace tw {

// Every host registers its UI thread once, before any worker starts: the
// program's start-up, every test executable's main, every benchmark. Nothing
// is guessed: asking before a registration raises EThreadError, since a guess
// would make whichever thread asks first (a timer's worker, say) the UI thread
// and leave the real one waiting for hand-overs nobody runs.
void SetMainThread();
// Ends the registration (a host that tears its UI thread down; tests).
void ClearMainThread();
// true on the registered UI thread; EThreadError when none is registered.
bool IsMainThread();
// EThreadError when no UI thread is registered (workers check before they start).
void RequireMainThread();

// Runs fn on the UI thread and waits for it. On the UI thread it runs at once.
// An exception thrown by fn is re-thrown in the caller.
void Synchronize(const std::function<void()>& fn);
// Queues fn for the UI thread and returns at once.
void Queue(const std::function<void()>& fn);

// Runs every pending hand-over on the UI thread; returns true when one ran.
// On any other thread it runs nothing and returns false.
bool CheckSynchronize();

// Called (from any thread) whenever a hand-over is queued, so that the UI
// thread can be woken; the Windows side posts a message to a hidden window.
void SetWakeMainThread(std::function<void()> wake);

// The windows' message pump (the class library registers one at start-up):
// a UI thread that has to wait for a worker lets pending messages run
// through it, so that the windows keep painting and answering meanwhile.
void SetMessagePump(std::function<void()> pump);
// On the UI thread: runs the pending hand-overs and, when one is registered,
// the message pump. Elsewhere it runs nothing.
void ProcessPendingMessages();

// Waits on the UI thread until pred() holds, servicing hand-overs meanwhile.
// timeoutMs < 0 waits without limit; returns pred()'s final value.
bool WaitServicing(const std::function<bool()>& pred, int timeoutMs = -1);
// Makes a WaitServicing look at its condition again at once (a worker that
// changed it: one that ended, say); otherwise it looks every few ms.
void WakeWaitServicing();

} // namespace tw
