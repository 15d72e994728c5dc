#pragma once
// Counts the heap memory a test binary holds, through its own definitions of
// malloc and its relatives (which the dynamic linker prefers to the C
// library's for every library the binary loads, Qt's included). Only the
// binary that links AllocationCounter.cpp is affected.
//
// TPeakAllocation measures the largest amount of memory held at once, above
// what was held when it was made, until Bytes() is read. Figures are the
// allocator's usable sizes, so they include its rounding.
#include <cstddef>

class TPeakAllocation {
public:
    TPeakAllocation();
    // The peak so far, in bytes above the start.
    std::ptrdiff_t Bytes() const;

private:
    std::ptrdiff_t start_;
};

// False in builds whose sanitizers replace the allocator (nothing is counted).
bool AllocationsCounted();
