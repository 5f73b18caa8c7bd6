// Memory touched after it was freed, for the window tests: the test program
// replaces the global operator new and delete. While a watch is on, every
// block of a watched size this thread allocates gets pages of its own;
// when it is freed while the watch is on its pages are kept, closed to
// every access. A later read or write of such a block is counted, and its
// page opened again, so the program goes on as it would have with the
// memory still there. When the watch ends the freed blocks' pages are given
// back (a touch then is a plain fault); a block that still lives keeps its
// pages until it is freed. One watch at a time.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace tw::test {

class TFreedMemoryWatch {
public:
    // Watches the blocks of exactly one of the sizes (at most four) this
    // thread allocates while the watch is on (a bounded number of them).
    explicit TFreedMemoryWatch(std::initializer_list<std::size_t> sizes);
    ~TFreedMemoryWatch();
    TFreedMemoryWatch(const TFreedMemoryWatch&) = delete;
    TFreedMemoryWatch& operator=(const TFreedMemoryWatch&) = delete;

    // Whether the object at p got pages of its own since the watch began,
    // and whether it was freed since.
    bool Watches(const void* p) const;
    bool WasFreed(const void* p) const;
    // Reads and writes of watched blocks after they were freed, since the
    // watch began.
    int Touches() const;
    // Where in the code the last touch was (for the failure's message).
    static const void* LastTouchAt();

private:
    int watch_;
    int touchesBefore_;
};

} // namespace tw::test
