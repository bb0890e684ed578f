// The multi-buffer MD5 block function in AVX2 form: 8 lanes in 256-bit
// registers.
//
// AVX2 has no rotation and no three-input operation either: the operations
// are SSE2's, twice as wide, each taking its result apart from its inputs.
//
// This file alone is compiled with AVX2 enabled; nothing in it may run unless
// Md5LaneFormSupported(Md5LaneForm::Avx2). For the same reason everything here
// but the block function is internal to the file and no standard-library
// template is used: the linker could otherwise pick this file's AVX2 copy of
// an inline function for callers elsewhere.
#include "digest/md5_lane_blocks.h"

#ifdef KORVANE_MD5_LANE_FORMS

#include <immintrin.h>

#include "digest/md5_lane_steps.h"

namespace {

struct Avx2 {
    using Vector = __m256i;
    static constexpr bool kTernary = false;

    static Vector Add(Vector x, Vector y) { return _mm256_add_epi32(x, y); }
    static Vector And(Vector x, Vector y) { return _mm256_and_si256(x, y); }
    static Vector AndNot(Vector x, Vector y) { return _mm256_andnot_si256(x, y); }
    static Vector Or(Vector x, Vector y) { return _mm256_or_si256(x, y); }
    static Vector Xor(Vector x, Vector y) { return _mm256_xor_si256(x, y); }
    template <int kShift>
    static Vector RotateLeft(Vector x)
    {
        return _mm256_or_si256(_mm256_slli_epi32(x, kShift), _mm256_srli_epi32(x, 32 - kShift));
    }
    static Vector Constant(std::uint32_t t) { return _mm256_set1_epi32(static_cast<int>(t)); }

    static Vector Load(const std::uint32_t* words)
    {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(words));
    }
    static void Store(std::uint32_t* words, Vector v) { _mm256_store_si256(reinterpret_cast<__m256i*>(words), v); }
    static Vector Row(const unsigned char* const* lanes, std::size_t offset)
    {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[0] + offset));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[4] + offset));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    }

    static Vector UnpackLow32(Vector x, Vector y) { return _mm256_unpacklo_epi32(x, y); }
    static Vector UnpackHigh32(Vector x, Vector y) { return _mm256_unpackhi_epi32(x, y); }
    static Vector UnpackLow64(Vector x, Vector y) { return _mm256_unpacklo_epi64(x, y); }
    static Vector UnpackHigh64(Vector x, Vector y) { return _mm256_unpackhi_epi64(x, y); }
};

}  // namespace

void Md5LanesAvx2(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count)
{
    FoldLanes<Avx2>(state, lanes, count);
}

#endif
