#include "FreedMemory.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace tw::test {
namespace {

// Pages are never given back: a watched block stays closed after it was
// freed for as long as the program runs, so the number is bounded.
constexpr int kMaxBlocks = 256;

struct TBlock {
    std::atomic<std::uintptr_t> At{0};
    std::size_t Bytes = 0; // whole pages
    std::atomic<bool> Freed{false};
};

TBlock g_blocks[kMaxBlocks];
// Blocks are only ever added (by the watching thread), the entry before the
// count: readers on any thread see whole entries.
std::atomic<int> g_blockCount{0};
std::atomic<int> g_touches{0};
std::atomic<const void*> g_lastTouchAt{nullptr};
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
        const std::uintptr_t at = g_blocks[i].At.load(std::memory_order_relaxed);
        if (within ? address >= at && address < at + g_blocks[i].Bytes : address == at)
            return &g_blocks[i];
    }
    return nullptr;
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
    const int n = g_blockCount.load();
    if (n >= kMaxBlocks)
        return nullptr;
    const std::size_t bytes = (size + PageBytes() - 1) / PageBytes() * PageBytes();
    void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!p)
        return nullptr;
    g_blocks[n].Bytes = bytes;
    g_blocks[n].Freed.store(false);
    g_blocks[n].At.store(reinterpret_cast<std::uintptr_t>(p), std::memory_order_relaxed);
    g_blockCount.store(n + 1, std::memory_order_release);
    return p;
}

// True when p was a watched block: its pages are closed now.
bool FreeWatched(void* p)
{
    if (!p || g_blockCount.load(std::memory_order_acquire) == 0)
        return false;
    TBlock* b = BlockAt(reinterpret_cast<std::uintptr_t>(p), false);
    if (!b)
        return false;
    b->Freed.store(true);
    DWORD old = 0;
    VirtualProtect(p, b->Bytes, PAGE_NOACCESS, &old);
    return true;
}

} // namespace

TFreedMemoryWatch::TFreedMemoryWatch(std::initializer_list<std::size_t> sizes)
    : firstBlock_(g_blockCount.load()), touchesBefore_(g_touches.load())
{
    if (!g_faultHandler)
        g_faultHandler = AddVectoredExceptionHandler(1, OnFault);
    int i = 0;
    for (std::size_t s : sizes)
        if (i < kMaxSizes)
            g_watchedSizes[i++] = s;
}

TFreedMemoryWatch::~TFreedMemoryWatch()
{
    for (std::size_t& s : g_watchedSizes)
        s = 0;
}

bool TFreedMemoryWatch::Watches(const void* p) const
{
    for (int i = firstBlock_; i < g_blockCount.load(); ++i)
        if (g_blocks[i].At.load() == reinterpret_cast<std::uintptr_t>(p))
            return true;
    return false;
}

bool TFreedMemoryWatch::WasFreed(const void* p) const
{
    for (int i = firstBlock_; i < g_blockCount.load(); ++i)
        if (g_blocks[i].At.load() == reinterpret_cast<std::uintptr_t>(p))
            return g_blocks[i].Freed.load();
    return false;
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
