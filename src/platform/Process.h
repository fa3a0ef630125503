#pragma once

namespace velmora {

// How often the calling thread has given up the processor to wait (for a
// disk, a lock) so far.
long threadWaits();

// Ends this process at once with SIGKILL, as the system or a user may end it:
// no handler, no destructor, no flush. For tests of interrupted runs.
[[noreturn]] void killThisProcess();

} // namespace velmora
