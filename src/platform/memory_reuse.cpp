#include "platform/memory_reuse.h"

// Any C library header defines __GLIBC__; it must come before the test.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kestrion {

void keepFreedBuffersForReuse()
{
#if defined(__GLIBC__)
    // Blocks below this come from the heap, not a mapping of their own; an
    // answer kept in memory is at most 4 MiB.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024 + 64 * 1024);
    // The heap shrinks only once this much lies free at its top.
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}

void releaseFreedBuffers()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace kestrion
