// Counts heap allocations made through operator new in this test binary.
#pragma once
#include <cstddef>

long alloc_count();
