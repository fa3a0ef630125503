#include "FuzzTargets.h"

// libFuzzer's entry point, for the one target this executable is built for.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return velmora::fuzz::FUZZ_TARGET(data, size);
}
