#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Fuzz targets: each takes one arbitrary input and checks properties that
// must hold for every input. libFuzzer drives them, and the replay feeds them
// the seed corpus in every test run.
namespace velmora::fuzz {

int rewrite(const std::uint8_t *data, std::size_t size);
int masks(const std::uint8_t *data, std::size_t size);
int replace(const std::uint8_t *data, std::size_t size);

// A broken property stops the run at once, so the fuzzer keeps the input.
inline void check(bool holds, const char *property)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz property broken: %s\n", property);
        std::abort();
    }
}

} // namespace velmora::fuzz
