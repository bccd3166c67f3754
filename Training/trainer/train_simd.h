#pragma once
// Eight-lane float vectors for the training kernels: AVX2 registers where the build targets
// them, plain arrays otherwise. Every operation works lane by lane with one rounding (no fused
// multiply-add) and sums fold in one fixed order, so both forms give the same bits.

#if defined(__AVX2__)
#include <immintrin.h>
#else
#include <cmath>
#endif

namespace tarn {

constexpr int FVEC_LANES = 8;

#if defined(__AVX2__)

using FVec = __m256;

inline FVec fv_load(const float* p) {
    return _mm256_loadu_ps(p);
}
inline void fv_store(float* p, FVec v) {
    _mm256_storeu_ps(p, v);
}
inline FVec fv_splat(float x) {
    return _mm256_set1_ps(x);
}
inline FVec fv_add(FVec a, FVec b) {
    return _mm256_add_ps(a, b);
}
inline FVec fv_mul(FVec a, FVec b) {
    return _mm256_mul_ps(a, b);
}
inline FVec fv_sub(FVec a, FVec b) {
    return _mm256_sub_ps(a, b);
}
inline FVec fv_div(FVec a, FVec b) {
    return _mm256_div_ps(a, b);
}
inline FVec fv_sqrt(FVec a) {
    return _mm256_sqrt_ps(a);
}
inline FVec fv_max(FVec a, FVec b) {
    return _mm256_max_ps(a, b);
}
inline FVec fv_min(FVec a, FVec b) {
    return _mm256_min_ps(a, b);
}
inline FVec fv_abs(FVec a) {
    return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a);
}
// Lanes of `below` where a < 0, of `above` elsewhere.
inline FVec fv_select_negative(FVec a, FVec below, FVec above) {
    return _mm256_blendv_ps(above, below, _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_LT_OQ));
}
// Lane sum folded in halves: lanes 0-3 plus 4-7, then pairs, then the last two.
inline float fv_sum(FVec v) {
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    s        = _mm_add_ps(s, _mm_movehl_ps(s, s));
    s        = _mm_add_ss(s, _mm_shuffle_ps(s, s, 1));
    return _mm_cvtss_f32(s);
}
inline float fv_max_lane(FVec v) {
    __m128 s = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    s        = _mm_max_ps(s, _mm_movehl_ps(s, s));
    s        = _mm_max_ss(s, _mm_shuffle_ps(s, s, 1));
    return _mm_cvtss_f32(s);
}

#else

struct FVec {
    float v[FVEC_LANES];
};

inline FVec fv_load(const float* p) {
    FVec r;
    for (int i = 0; i < FVEC_LANES; ++i)
        r.v[i] = p[i];
    return r;
}
inline void fv_store(float* p, FVec a) {
    for (int i = 0; i < FVEC_LANES; ++i)
        p[i] = a.v[i];
}
inline FVec fv_splat(float x) {
    FVec r;
    for (float& lane : r.v)
        lane = x;
    return r;
}
inline FVec fv_add(FVec a, FVec b) {
    for (int i = 0; i < FVEC_LANES; ++i)
        a.v[i] += b.v[i];
    return a;
}
inline FVec fv_mul(FVec a, FVec b) {
    for (int i = 0; i < FVEC_LANES; ++i)
        a.v[i] *= b.v[i];
    return a;
}
inline FVec fv_sub(FVec a, FVec b) {
    for (int i = 0; i < FVEC_LANES; ++i)
        a.v[i] -= b.v[i];
    return a;
}
inline FVec fv_div(FVec a, FVec b) {
    for (int i = 0; i < FVEC_LANES; ++i)
        a.v[i] /= b.v[i];
    return a;
}
inline FVec fv_sqrt(FVec a) {
    for (float& lane : a.v)
        lane = std::sqrt(lane);
    return a;
}
inline FVec fv_max(FVec a, FVec b) {
    for (int i = 0; i < FVEC_LANES; ++i)
        a.v[i] = a.v[i] > b.v[i] ? a.v[i] : b.v[i];
    return a;
}
inline FVec fv_min(FVec a, FVec b) {
    for (int i = 0; i < FVEC_LANES; ++i)
        a.v[i] = a.v[i] < b.v[i] ? a.v[i] : b.v[i];
    return a;
}
inline FVec fv_abs(FVec a) {
    for (float& lane : a.v)
        lane = lane < 0.0f ? -lane : lane;
    return a;
}
inline FVec fv_select_negative(FVec a, FVec below, FVec above) {
    for (int i = 0; i < FVEC_LANES; ++i)
        above.v[i] = a.v[i] < 0.0f ? below.v[i] : above.v[i];
    return above;
}
inline float fv_sum(FVec a) {
    for (int half = FVEC_LANES / 2; half > 0; half /= 2)
        for (int i = 0; i < half; ++i)
            a.v[i] += a.v[i + half];
    return a.v[0];
}
inline float fv_max_lane(FVec a) {
    float m = a.v[0];
    for (const float lane : a.v)
        m = lane > m ? lane : m;
    return m;
}

#endif

} // namespace tarn
