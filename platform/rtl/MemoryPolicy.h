#pragma once
// How the client process keeps the memory it frees.
//
// The work list, hundreds of thousands of texts, is loaded whole, and loaded
// again after every reading, deletion and confirmation. With glibc's default
// thresholds the memory a replaced list frees goes back to the system, and
// the next load faults it in again page by page, which costs more than
// decoding the list. KeepFreedMemory, called once at start, keeps up to
// 128 MiB of freed memory in the process for the next load, and serves
// blocks under 32 MiB from that memory rather than from fresh mappings.
// Where the C library is not glibc it does nothing.
void KeepFreedMemory();
