#pragma once

#include <chrono>

namespace velmora {

// The processor time the calling thread has used so far.
std::chrono::nanoseconds threadCpuTime();

// Ends this process at once with SIGKILL, as the system or a user may end it:
// no handler, no destructor, no flush. For tests of interrupted runs.
[[noreturn]] void killThisProcess();

} // namespace velmora
