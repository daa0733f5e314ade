#pragma once

// Loading a large definition allocates hundreds of thousands of small objects, and on a virtual
// machine the first touch of each new 4 KiB heap page costs more than the allocation itself. The C
// library can back its heap with transparent huge pages, but only when told so before the program
// starts (GLIBC_TUNABLES). UseHugePageHeap, called first thing in main, starts the program again
// in place with that setting when one of its arguments names a file of at least iMinBytes bytes
// and the system hands out huge pages on request; the program's own children get the caller's
// environment back. A restart costs about as much as the program's start, which only a large
// definition wins back.
//
// Nothing happens when the system gives huge pages to every program anyway or to none, when the
// caller already chose a heap setting, when TZK_HEAP_PAGES=default, or when the restart fails.
void UseHugePageHeap(int argc, char** argv, long long iMinBytes);

// A definition of about 100,000 lines: below it the restart costs more than it saves.
constexpr long long ciHugePageHeapMinBytes = 4LL << 20;
