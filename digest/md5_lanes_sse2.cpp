// The multi-buffer MD5 block function in SSE2 form: 4 lanes in 128-bit
// registers.
//
// SSE2 has no rotation and no three-input operation: a rotation is two shifts
// and an or, and the round functions are written with two-input operations.
// SSE2 is part of every processor our builds run on, so this file is compiled
// for the baseline like the rest of the program.
#include "digest/md5_lane_blocks.h"

#ifdef KORVANE_MD5_LANE_FORMS

#include <emmintrin.h>

#include "digest/md5_lane_steps.h"

namespace {

struct Sse2 {
    using Vector = __m128i;
    static constexpr bool kTernary = false;

    static Vector Add(Vector x, Vector y) { return _mm_add_epi32(x, y); }
    static Vector And(Vector x, Vector y) { return _mm_and_si128(x, y); }
    static Vector AndNot(Vector x, Vector y) { return _mm_andnot_si128(x, y); }
    static Vector Or(Vector x, Vector y) { return _mm_or_si128(x, y); }
    static Vector Xor(Vector x, Vector y) { return _mm_xor_si128(x, y); }
    template <int kShift>
    static Vector RotateLeft(Vector x)
    {
        return _mm_or_si128(_mm_slli_epi32(x, kShift), _mm_srli_epi32(x, 32 - kShift));
    }
    static Vector Constant(std::uint32_t t) { return _mm_set1_epi32(static_cast<int>(t)); }

    static Vector Load(const std::uint32_t* words) { return _mm_load_si128(reinterpret_cast<const __m128i*>(words)); }
    static void Store(std::uint32_t* words, Vector v) { _mm_store_si128(reinterpret_cast<__m128i*>(words), v); }
    static Vector Row(const unsigned char* const* lanes, std::size_t offset)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes[0] + offset));
    }

    static Vector UnpackLow32(Vector x, Vector y) { return _mm_unpacklo_epi32(x, y); }
    static Vector UnpackHigh32(Vector x, Vector y) { return _mm_unpackhi_epi32(x, y); }
    static Vector UnpackLow64(Vector x, Vector y) { return _mm_unpacklo_epi64(x, y); }
    static Vector UnpackHigh64(Vector x, Vector y) { return _mm_unpackhi_epi64(x, y); }
};

}  // namespace

void Md5LanesSse2(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count)
{
    FoldLanes<Sse2>(state, lanes, count);
}

#endif
