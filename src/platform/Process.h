#pragma once

namespace velmora {

// How often the calling thread has given up the processor to wait (for a
// disk, a lock) so far.
long threadWaits();

} // namespace velmora
