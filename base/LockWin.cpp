#ifdef _WIN32
#include "base/Lock.h"

#include <windows.h>

namespace tw {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the lock and the condition are kept as one pointer each");

static PSRWLOCK Srw(void*& p) { return reinterpret_cast<PSRWLOCK>(&p); }

void TLock::lock() { AcquireSRWLockExclusive(Srw(srw_)); }
bool TLock::try_lock() { return TryAcquireSRWLockExclusive(Srw(srw_)) != 0; }
void TLock::unlock() { ReleaseSRWLockExclusive(Srw(srw_)); }

void TCondition::notify_one() { WakeConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&cv_)); }
void TCondition::notify_all() { WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&cv_)); }

bool TCondition::WaitMs(std::unique_lock<TLock>& lk, long long timeoutMs) {
    const DWORD ms = timeoutMs < 0 ? INFINITE : timeoutMs >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(timeoutMs);
    const BOOL ok = SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&cv_), Srw(lk.mutex()->srw_), ms, 0);
    return ok || GetLastError() != ERROR_TIMEOUT;
}

} // namespace tw
#endif
