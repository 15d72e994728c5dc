#include "AllocationCounter.h"

#include <atomic>
#include <cerrno>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define EXP_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define EXP_SANITIZED_ALLOCATOR 1
#endif
#endif

namespace {
std::atomic<std::ptrdiff_t> held{0};
std::atomic<std::ptrdiff_t> peak{0};

void Raise(std::ptrdiff_t now)
{
    std::ptrdiff_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

#ifndef EXP_SANITIZED_ALLOCATOR
void* Counted(void* p)
{
    if (p)
        Raise(held.fetch_add(std::ptrdiff_t(malloc_usable_size(p)), std::memory_order_relaxed)
              + std::ptrdiff_t(malloc_usable_size(p)));
    return p;
}
#endif
} // namespace

TPeakAllocation::TPeakAllocation()
    : start_(held.load())
{
    peak.store(start_);
}

std::ptrdiff_t TPeakAllocation::Bytes() const
{
    return peak.load() - start_;
}

#ifdef EXP_SANITIZED_ALLOCATOR
bool AllocationsCounted() { return false; }
#else
bool AllocationsCounted() { return true; }

// The C library's own allocator, under the names it exports for this purpose.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) { return Counted(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return Counted(__libc_calloc(count, size)); }
void free(void* p)
{
    if (p)
        held.fetch_sub(std::ptrdiff_t(malloc_usable_size(p)), std::memory_order_relaxed);
    __libc_free(p);
}
void* realloc(void* p, size_t size)
{
    if (!p)
        return malloc(size);
    const std::ptrdiff_t before = std::ptrdiff_t(malloc_usable_size(p));
    void* q = __libc_realloc(p, size);
    if (!q)
        return q;
    const std::ptrdiff_t after = std::ptrdiff_t(malloc_usable_size(q));
    // A block that moved was held twice for a moment.
    if (q != p)
        Raise(held.load(std::memory_order_relaxed) + after);
    Raise(held.fetch_add(after - before, std::memory_order_relaxed) + after - before);
    return q;
}
void* memalign(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size)
{
    void* p = memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
#endif
