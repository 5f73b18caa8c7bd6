// Windows side of the hand-over: a hidden message-only window on the UI
// thread; queuing a hand-over posts it a message, and its window procedure
// runs the pending hand-overs. So a plain GetMessage loop (or a modal loop of
// the system's) services workers that wait in Synchronize.
#pragma once
#ifdef _WIN32
namespace tw {
// Call once on the UI thread before workers start. Returns the window handle.
void* InstallMainThreadWaker();
void RemoveMainThreadWaker();
} // namespace tw
#endif
