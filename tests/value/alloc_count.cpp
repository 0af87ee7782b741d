// Replaces the global operator new so tests can prove that a path does not
// allocate.  Main thread only, like the value model.
#include "alloc_count.h"

#include <cstdlib>
#include <new>

static long g_allocs = 0;

long alloc_count() { return g_allocs; }

void* operator new(std::size_t n) {
    g_allocs++;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
