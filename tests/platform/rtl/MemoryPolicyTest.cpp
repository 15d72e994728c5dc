#include "rtl/MemoryPolicy.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// A replaced list's memory stays in the process for the next load rather
// than going back to the system to be faulted in again.
TEST(MemoryPolicyTest, AFreedListStaysForTheNextLoad)
{
#if !defined(__GLIBC__)
    GTEST_SKIP() << "only glibc's allocator is tuned";
#else
    KeepFreedMemory();
    malloc_trim(0);
    // Texts too large for the allocator's small-block lists, which are
    // never handed back at once: 16,384 of 1 KiB.
    std::vector<void*> texts(16384);
    for (void*& text : texts)
        text = std::malloc(1024);
    const size_t freeBefore = mallinfo2().fordblks;
    for (void* text : texts)
        std::free(text);
    EXPECT_GE(mallinfo2().fordblks - freeBefore, size_t(15) << 20) << "the freed texts went back to the system";
#endif
}

} // namespace
