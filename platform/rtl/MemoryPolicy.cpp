#include "MemoryPolicy.h"

#include <cstdlib>  // defines __GLIBC__ when the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

void KeepFreedMemory()
{
#if defined(__GLIBC__)
    // Both fixed: glibc would otherwise move them with each large block
    // freed, and large blocks in the heap leave it too fragmented for the
    // next list's texts to reuse.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}
