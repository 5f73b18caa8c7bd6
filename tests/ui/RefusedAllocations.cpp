#include "tests/ui/RefusedAllocations.h"

#include <cstdlib>
#include <new>

namespace tw::test {
namespace {

// Per thread: the system's own threads and other tests never see a refusal.
thread_local int g_toRefuse = 0;
thread_local std::size_t g_atLeast = 0;
thread_local int g_refused = 0;

} // namespace

void RefuseAllocations(int count, std::size_t atLeast) {
    g_toRefuse = count;
    g_atLeast = atLeast;
    g_refused = 0;
}

int RefusedAllocations() { return g_refused; }

} // namespace tw::test

// The standard library's array and nothrow forms of new come here; its
// aligned forms keep to their own pair. Delete matches this new.
void* operator new(std::size_t size) {
    using namespace tw::test;
    if (g_toRefuse > 0 && size >= g_atLeast) {
        --g_toRefuse;
        ++g_refused;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
