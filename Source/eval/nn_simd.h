#pragma once
// The vector operations of the network evaluation, for the widest instruction set the build
// targets: 32 lanes of 16 bits with AVX-512, 16 with AVX2, 8 with SSE2. TARN_NN_VECTOR is
// defined when one of them is in use; building with TARN_NN_SCALAR keeps the plain loops only.
// Every operation works lane by lane (saturating add and subtract, the activation, exact
// 16 x 16 -> 32-bit products summed with wrap-around), so every width gives the same bits.

#include <cstdint>

#if !defined(TARN_NN_SCALAR) && (defined(__AVX512BW__) || defined(__AVX2__) || defined(__SSE2__))
#define TARN_NN_VECTOR 1
#include <immintrin.h>
#endif

namespace tarn {

// The activation: a negative sum x becomes (x + 15) >> 4, x / 16 rounded toward zero.
constexpr int NN_ACTIVATION_ROUND = 15;
constexpr int NN_ACTIVATION_SHIFT = 4;

#if defined(TARN_NN_VECTOR) && defined(__AVX512BW__)

using NnVec                = __m512i;
constexpr int NN_VEC_LANES = 32;

inline NnVec nn_load(const std::int16_t* p) {
    return _mm512_loadu_si512(p);
}
inline void nn_store(std::int16_t* p, NnVec v) {
    _mm512_storeu_si512(p, v);
}
inline NnVec nn_splat(std::int16_t x) {
    return _mm512_set1_epi16(x);
}
inline NnVec nn_adds(NnVec a, NnVec b) {
    return _mm512_adds_epi16(a, b);
}
inline NnVec nn_subs(NnVec a, NnVec b) {
    return _mm512_subs_epi16(a, b);
}
// For x >= 0 the shifted value is at most x, for x < 0 at least x: the maximum picks the
// right one in both cases, and a sum near 32767 that wraps in the addition stays x.
inline NnVec nn_activate(NnVec x) {
    const NnVec shifted = _mm512_srai_epi16(
        _mm512_add_epi16(x, _mm512_set1_epi16(NN_ACTIVATION_ROUND)), NN_ACTIVATION_SHIFT);
    return _mm512_max_epi16(x, shifted);
}
inline NnVec nn_zero() {
    return _mm512_setzero_si512();
}
// Adds the pairwise products of a and b to the 32-bit lanes of sum.
inline NnVec nn_dot(NnVec sum, NnVec a, NnVec b) {
    return _mm512_add_epi32(sum, _mm512_madd_epi16(a, b));
}
// Lane by lane through memory: the 256-bit extracts trip a false warning of the compiler.
inline std::uint32_t nn_total(NnVec sum) {
    alignas(64) std::int32_t lanes[16];
    _mm512_store_si512(lanes, sum);
    std::uint32_t total = 0;
    for (const std::int32_t v : lanes)
        total += static_cast<std::uint32_t>(v);
    return total;
}

#elif defined(TARN_NN_VECTOR) && defined(__AVX2__)

using NnVec                = __m256i;
constexpr int NN_VEC_LANES = 16;

inline NnVec nn_load(const std::int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void nn_store(std::int16_t* p, NnVec v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
inline NnVec nn_splat(std::int16_t x) {
    return _mm256_set1_epi16(x);
}
inline NnVec nn_adds(NnVec a, NnVec b) {
    return _mm256_adds_epi16(a, b);
}
inline NnVec nn_subs(NnVec a, NnVec b) {
    return _mm256_subs_epi16(a, b);
}
inline NnVec nn_activate(NnVec x) {
    const NnVec shifted = _mm256_srai_epi16(
        _mm256_add_epi16(x, _mm256_set1_epi16(NN_ACTIVATION_ROUND)), NN_ACTIVATION_SHIFT);
    return _mm256_max_epi16(x, shifted);
}
inline NnVec nn_zero() {
    return _mm256_setzero_si256();
}
inline NnVec nn_dot(NnVec sum, NnVec a, NnVec b) {
    return _mm256_add_epi32(sum, _mm256_madd_epi16(a, b));
}
inline std::uint32_t nn_total(NnVec sum) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    s         = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s         = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
}

#elif defined(TARN_NN_VECTOR)

using NnVec                = __m128i;
constexpr int NN_VEC_LANES = 8;

inline NnVec nn_load(const std::int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void nn_store(std::int16_t* p, NnVec v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline NnVec nn_splat(std::int16_t x) {
    return _mm_set1_epi16(x);
}
inline NnVec nn_adds(NnVec a, NnVec b) {
    return _mm_adds_epi16(a, b);
}
inline NnVec nn_subs(NnVec a, NnVec b) {
    return _mm_subs_epi16(a, b);
}
inline NnVec nn_activate(NnVec x) {
    const NnVec shifted =
        _mm_srai_epi16(_mm_add_epi16(x, _mm_set1_epi16(NN_ACTIVATION_ROUND)), NN_ACTIVATION_SHIFT);
    return _mm_max_epi16(x, shifted);
}
inline NnVec nn_zero() {
    return _mm_setzero_si128();
}
inline NnVec nn_dot(NnVec sum, NnVec a, NnVec b) {
    return _mm_add_epi32(sum, _mm_madd_epi16(a, b));
}
inline std::uint32_t nn_total(NnVec sum) {
    __m128i s = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    s         = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
}

#endif

} // namespace tarn
