#pragma once

namespace velmora {

// How much the calling thread has read from storage so far, in 512-byte
// units: what it waited for a disk for. Waits for a lock or another thread do
// not count, nor reads the page cache answered.
long threadStorageReads();

// Lets the process open as many files as its hard limit allows (the soft
// limit is often far lower). Only the first call does anything.
void raiseOpenFileLimit();

// How many more descriptors the process may open now: its soft limit less
// those open.
long descriptorsLeft();
} // namespace velmora
