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

#include <mutex>
#include <unordered_map>

#include "base/Lock.h"

namespace tw {

template <class T> class TWindowTable {
public:
    T* Find(HWND h) const {
        if (!h) return nullptr;
        const std::lock_guard<TLock> held(lock_);
        const auto it = map_.find(h);
        return it != map_.end() ? it->second : nullptr;
    }

    // The entry's memory may run out: the lock goes with the exception.
    void Set(HWND h, T* object) {
        if (!h) return;
        const std::lock_guard<TLock> held(lock_);
        map_[h] = object;
    }

    // Removes the window's entry; given an object, only while the entry is
    // that object's (a later one that took the window keeps it).
    void Remove(HWND h, const T* object = nullptr) {
        const std::lock_guard<TLock> held(lock_);
        const auto it = map_.find(h);
        if (it != map_.end() && (!object || it->second == object)) map_.erase(it);
    }

    // Every entry of an object that goes, whatever windows they name.
    void RemoveAll(const T* object) {
        const std::lock_guard<TLock> held(lock_);
        for (auto it = map_.begin(); it != map_.end();)
            it = it->second == object ? map_.erase(it) : std::next(it);
    }

private:
    mutable TLock lock_;
    std::unordered_map<HWND, T*> map_;
};

} // namespace tw
