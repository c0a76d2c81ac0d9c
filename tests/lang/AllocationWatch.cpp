// Replaces the program's operator new and delete to watch the largest single request.
#include "tests/lang/AllocationWatch.h"

#include <cstdlib>
#include <new>

namespace {

size_t g_largest = 0;

}  // namespace

size_t LargestAllocation() {
    return g_largest;
}

void ResetLargestAllocation() {
    g_largest = 0;
}

void* operator new(size_t size) {
    if (size > g_largest) g_largest = size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
