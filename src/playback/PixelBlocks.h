#pragma once

namespace orvelo::pixelblocks {

// Pixel loops for g++ -O2, whose cheap vectoriser only takes loops with a known trip count and
// no possible overlap between what they read and write. A row is walked in blocks of block
// pixels (the remainder one by one), and every row kernel is a function of its own, not
// inlined, whose pointer parameters are __restrict: inlined into a caller that passes pointers
// into the same buffers, the compiler would no longer trust them apart and would not vectorise.
inline constexpr int block = 32;

// A row kernel: kept out of line (see above) and, on x86-64, built twice, for AVX2 (twice the
// lanes of the baseline) and for the baseline; the loader picks the one the CPU runs. Not under
// ThreadSanitizer: the loader runs the picking function before the sanitizer has started, and
// an instrumented one crashes there. Not under clang, which does not take the two attributes
// together (the fuzzers and the naming check build with it).
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__) && !defined(__clang__)
#define ORVELO_ROW_KERNEL [[gnu::noinline, gnu::target_clones("avx2", "default")]]
#else
#define ORVELO_ROW_KERNEL [[gnu::noinline]]
#endif

template <class Pixel> inline void forEachPixel(int length, Pixel&& pixel)
{
    int x = 0;
    for (; x + block <= length; x += block) {
        const int base = x;
        for (int j = 0; j < block; ++j)
            pixel(base + j);
    }
    for (; x < length; ++x)
        pixel(x);
}

// Upper bound first: on 16-bit lanes both bounds then map to SSE2's signed min and max.
inline int clampToByte(int v)
{
    v = v > 255 ? 255 : v;
    return v < 0 ? 0 : v;
}

} // namespace orvelo::pixelblocks
