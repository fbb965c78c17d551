// The inner loop of the blur and of the 8-bit convolution: adding one weighted row of bytes
// to 32-bit sums. The scalar loop is the reference; SSE2 (every x86-64) does 16 bytes a step.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// acc[i] += w * src[i] for i in [0, n). Exact: bytes times a 16-bit weight fit 32 bits.
inline void AddWeightedBytes(int32_t* __restrict acc, const uint8_t* __restrict src, int16_t w,
                             size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    // Each byte widened to a 32-bit lane (x, 0) in 16-bit halves; multiply-add with (w, 0)
    // gives x * w.
    const __m128i zero = _mm_setzero_si128();
    const __m128i weight = _mm_set1_epi32(int32_t(uint16_t(w)));
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
        const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
        const __m128i products[4] = {
            _mm_madd_epi16(_mm_unpacklo_epi16(lo, zero), weight),
            _mm_madd_epi16(_mm_unpackhi_epi16(lo, zero), weight),
            _mm_madd_epi16(_mm_unpacklo_epi16(hi, zero), weight),
            _mm_madd_epi16(_mm_unpackhi_epi16(hi, zero), weight),
        };
        for (int k = 0; k < 4; ++k) {
            __m128i* a = reinterpret_cast<__m128i*>(acc + i + 4 * k);
            _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), products[k]));
        }
    }
#endif
    for (; i < n; ++i)
        acc[i] += int32_t(src[i]) * int32_t(w);
}
