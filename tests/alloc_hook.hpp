// The test binary replaces the global operator new and delete, so tests can
// see what the code frees and how it copes with std::bad_alloc.
#pragma once

#include <cstdint>

// Blocks from operator new not yet given back to operator delete.
std::int64_t live_allocations();

// Makes the `nth` allocation from now on throw std::bad_alloc (1: the next
// one); 0 disarms. Unarmed, allocation behaves as usual.
void fail_allocation(std::int64_t nth);
