#include "FreedMemory.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace tw::test {
namespace {

// Slots of blocks that have pages of their own. A freed block keeps its
// closed pages while its watch is on (its address is given to no other
// block, so a touch is its own); once the watch is over they are given
// back and the slot is used again, so a long run (a repeated suite) does
// not run out of slots, and a touch after the watch is a plain fault again.
constexpr int kMaxBlocks = 256;

struct TBlock {
    std::atomic<std::uintptr_t> At{0}; // 0: the slot is free
    std::size_t Bytes = 0;              // whole pages
    std::atomic<bool> Freed{false};
    // Which watch made it (the watches are numbered from 1).
    int Watch = 0;
};

TBlock g_blocks[kMaxBlocks];
// Slots are only taken and given back by the watching thread, the entry
// before its address: readers on any thread see whole entries.
std::atomic<int> g_blockCount{0}; // slots ever used
std::atomic<int> g_touches{0};
std::atomic<const void*> g_lastTouchAt{nullptr};
// The watch that is on (0: none) and the number of the last one.
std::atomic<int> g_watchOn{0};
int g_lastWatch = 0;
constexpr int kMaxSizes = 4;
thread_local std::size_t g_watchedSizes[kMaxSizes] = {};

bool IsWatchedSize(std::size_t size)
{
    for (std::size_t s : g_watchedSizes)
        if (s && s == size)
            return true;
    return false;
}
PVOID g_faultHandler = nullptr;

std::size_t PageBytes()
{
    static const std::size_t bytes = [] {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        return std::size_t(si.dwPageSize);
    }();
    return bytes;
}

TBlock* BlockAt(std::uintptr_t address, bool within)
{
    const int n = g_blockCount.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i) {
        const std::uintptr_t at = g_blocks[i].At.load(std::memory_order_acquire);
        if (at && (within ? address >= at && address < at + g_blocks[i].Bytes : address == at))
            return &g_blocks[i];
    }
    return nullptr;
}

// Gives a freed block's pages back and its slot free.
void Release(TBlock& b)
{
    const std::uintptr_t at = b.At.load();
    b.At.store(0, std::memory_order_release);
    b.Freed.store(false);
    VirtualFree(reinterpret_cast<void*>(at), 0, MEM_RELEASE);
}

LONG CALLBACK OnFault(EXCEPTION_POINTERS* e)
{
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || r->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    TBlock* b = BlockAt(std::uintptr_t(r->ExceptionInformation[1]), true);
    if (!b || !b->Freed.load())
        return EXCEPTION_CONTINUE_SEARCH;
    DWORD old = 0;
    if (!VirtualProtect(reinterpret_cast<void*>(b->At.load()), b->Bytes, PAGE_READWRITE, &old))
        return EXCEPTION_CONTINUE_SEARCH;
    g_lastTouchAt.store(r->ExceptionAddress);
    g_touches.fetch_add(1);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void* WatchedBlock(std::size_t size)
{
    int slot = 0;
    const int n = g_blockCount.load();
    while (slot < n && g_blocks[slot].At.load() != 0)
        ++slot;
    if (slot >= kMaxBlocks)
        return nullptr;
    const std::size_t bytes = (size + PageBytes() - 1) / PageBytes() * PageBytes();
    void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!p)
        return nullptr;
    TBlock& b = g_blocks[slot];
    b.Bytes = bytes;
    b.Freed.store(false);
    b.Watch = g_watchOn.load();
    b.At.store(reinterpret_cast<std::uintptr_t>(p), std::memory_order_release);
    if (slot == n)
        g_blockCount.store(n + 1, std::memory_order_release);
    return p;
}

// True when p was a watched block: its pages are closed now, or given back
// when no watch is on.
bool FreeWatched(void* p)
{
    if (!p || g_blockCount.load(std::memory_order_acquire) == 0)
        return false;
    TBlock* b = BlockAt(reinterpret_cast<std::uintptr_t>(p), false);
    if (!b)
        return false;
    if (g_watchOn.load() == 0) {
        Release(*b);
        return true;
    }
    b->Freed.store(true);
    DWORD old = 0;
    VirtualProtect(p, b->Bytes, PAGE_NOACCESS, &old);
    return true;
}

} // namespace

TFreedMemoryWatch::TFreedMemoryWatch(std::initializer_list<std::size_t> sizes)
    : watch_(++g_lastWatch), touchesBefore_(g_touches.load())
{
    if (!g_faultHandler)
        g_faultHandler = AddVectoredExceptionHandler(1, OnFault);
    g_watchOn.store(watch_);
    int i = 0;
    for (std::size_t s : sizes)
        if (i < kMaxSizes)
            g_watchedSizes[i++] = s;
}

TFreedMemoryWatch::~TFreedMemoryWatch()
{
    for (std::size_t& s : g_watchedSizes)
        s = 0;
    g_watchOn.store(0);
    // What was freed meanwhile goes back; what still lives keeps its pages
    // until it is freed.
    const int n = g_blockCount.load();
    for (int i = 0; i < n; ++i)
        if (g_blocks[i].At.load() != 0 && g_blocks[i].Freed.load())
            Release(g_blocks[i]);
}

bool TFreedMemoryWatch::Watches(const void* p) const
{
    const TBlock* b = BlockAt(reinterpret_cast<std::uintptr_t>(p), false);
    return b && b->Watch == watch_;
}

bool TFreedMemoryWatch::WasFreed(const void* p) const
{
    const TBlock* b = BlockAt(reinterpret_cast<std::uintptr_t>(p), false);
    return b && b->Watch == watch_ && b->Freed.load();
}

int TFreedMemoryWatch::Touches() const { return g_touches.load() - touchesBefore_; }

const void* TFreedMemoryWatch::LastTouchAt() { return g_lastTouchAt.load(); }

} // namespace tw::test

// The standard library's array and nothrow forms of new come here; its
// aligned forms keep to their own pair. Delete matches this new.
void* operator new(std::size_t size)
{
    using namespace tw::test;
    if (IsWatchedSize(size))
        if (void* p = WatchedBlock(size))
            return p;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    if (!tw::test::FreeWatched(p))
        std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
