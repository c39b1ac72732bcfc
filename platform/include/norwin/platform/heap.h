// How a process keeps the memory it frees: with itself, for its next use,
// rather than handing it back to the system at once.
#pragma once

namespace norwin::platform {

// Called once at the start of a program that loads large records again and
// again (a course host loads a question pool before each exam; 50,000
// questions take about 100 MB). The C library otherwise gives the freed top
// of its heap back to the system as soon as more than a little lies free
// there (128 KB, up to 64 MB once large blocks have come and gone), and the next load faults every
// page of it in again: on a virtual machine that costs more than the load itself, and a large pool
// loaded after smaller ones took three times as long per question. Now up
// to 512 MB of freed memory stays with the process, and blocks of up to
// 32 MB come from the heap (where they are reused) instead of being mapped
// and unmapped one by one; small blocks freed are joined with their free
// neighbours at once (no fast bins). Does nothing with C libraries other than glibc.
void KeepFreedMemory();

}  // namespace norwin::platform
