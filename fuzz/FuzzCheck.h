#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

// A harness's own expectation about a decoder's result. A broken one aborts, so libFuzzer
// keeps the input as a crash like any sanitizer finding.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition);                    \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace orvelo::fuzz {

// Whether a decoder's view lies within the bytes it was decoded from.
inline bool within(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole)
{
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

} // namespace orvelo::fuzz
