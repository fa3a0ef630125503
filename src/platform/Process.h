#pragma once

namespace velmora {

// How often the calling thread has given up the processor to wait (for a
// disk, a lock) so far.
long threadWaits();

// Lets the process open as many files as its hard limit allows (the soft
// limit is often far lower). Only the first call does anything.
void raiseOpenFileLimit();

// How many more descriptors the process may open now: its soft limit less
// those open.
long descriptorsLeft();
} // namespace velmora
