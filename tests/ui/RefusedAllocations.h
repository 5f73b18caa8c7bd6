// Memory that runs out on demand, for the window tests: the test program
// replaces the global operator new, and a test makes the next allocations of
// this thread fail where a real shortage would hit.
#pragma once

#include <cstddef>

namespace tw::test {

// The next `count` allocations of this thread of at least `atLeast` bytes
// throw std::bad_alloc; 0 ends a refusal that has not run out yet.
void RefuseAllocations(int count, std::size_t atLeast = 0);

// How many allocations were refused since the last RefuseAllocations.
int RefusedAllocations();

} // namespace tw::test
