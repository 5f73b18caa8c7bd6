// Which object serves a window, for window procedures that ask on every
// message. A window property would answer too, but under Wine each property
// read is a round trip to the window server (some 30 microseconds): with one
// on every message, a skinned window took tens of milliseconds to show.
//
// The table is the process's own, so a window of another process (another
// copy of the program among them) is never taken for one of ours. Entries are
// set when an object takes a window and removed when it lets go of it or the
// window ends; an object that goes removes every entry it still has.
#pragma once

#include <windows.h>

#include <unordered_map>

namespace tw {

template <class T> class TWindowTable {
public:
    T* Find(HWND h) const {
        if (!h) return nullptr;
        AcquireSRWLockShared(&lock_);
        const auto it = map_.find(h);
        T* found = it != map_.end() ? it->second : nullptr;
        ReleaseSRWLockShared(&lock_);
        return found;
    }

    void Set(HWND h, T* object) {
        if (!h) return;
        AcquireSRWLockExclusive(&lock_);
        try {
            map_[h] = object;
        } catch (...) {
            ReleaseSRWLockExclusive(&lock_);
            throw;
        }
        ReleaseSRWLockExclusive(&lock_);
    }

    // Removes the window's entry; given an object, only while the entry is
    // that object's (a later one that took the window keeps it).
    void Remove(HWND h, const T* object = nullptr) {
        AcquireSRWLockExclusive(&lock_);
        const auto it = map_.find(h);
        if (it != map_.end() && (!object || it->second == object)) map_.erase(it);
        ReleaseSRWLockExclusive(&lock_);
    }

    // Every entry of an object that goes, whatever windows they name.
    void RemoveAll(const T* object) {
        AcquireSRWLockExclusive(&lock_);
        for (auto it = map_.begin(); it != map_.end();)
            it = it->second == object ? map_.erase(it) : std::next(it);
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::unordered_map<HWND, T*> map_;
};

} // namespace tw
