// The multi-buffer MD5 block function in AVX-512 form: 16 lanes in 512-bit
// registers.
//
// Each round function is one three-input operation (vpternlogd) and each
// rotation one instruction (vprold), so from one step to the next the chain is
// four one-cycle operations, against six and five in the SSE2 and AVX2 forms.
// Only AVX-512F instructions are used.
//
// This file alone is compiled with AVX-512 enabled; nothing in it may run
// unless Md5LaneFormSupported(Md5LaneForm::Avx512). For the same reason
// everything here but the block function is internal to the file and no
// standard-library template is used: the linker could otherwise pick this
// file's AVX-512 copy of an inline function for callers elsewhere.
#include "digest/md5_lane_blocks.h"

#ifdef KORVANE_MD5_LANE_FORMS

#include <immintrin.h>

#include "digest/md5_lane_steps.h"

namespace {

// The rotation and the unpacks are written in their zero-masking forms with
// every lane kept, which are the same instructions: GCC 12's plain forms pass
// an undefined source value that its own -Wmaybe-uninitialized reports.
constexpr __mmask16 kAllWords = 0xFFFF;
constexpr __mmask8 kAllPairs = 0xFF;

struct Avx512 {
    using Vector = __m512i;
    static constexpr bool kTernary = true;

    static Vector Add(Vector x, Vector y) { return _mm512_add_epi32(x, y); }
    static Vector And(Vector x, Vector y) { return _mm512_and_si512(x, y); }
    static Vector AndNot(Vector x, Vector y) { return _mm512_andnot_si512(x, y); }
    static Vector Or(Vector x, Vector y) { return _mm512_or_si512(x, y); }
    static Vector Xor(Vector x, Vector y) { return _mm512_xor_si512(x, y); }
    template <int kTable>
    static Vector Ternary(Vector x, Vector y, Vector z)
    {
        return _mm512_ternarylogic_epi32(x, y, z, kTable);
    }
    template <int kShift>
    static Vector RotateLeft(Vector x)
    {
        return _mm512_maskz_rol_epi32(kAllWords, x, kShift);
    }
    static Vector Constant(std::uint32_t t) { return _mm512_set1_epi32(static_cast<int>(t)); }

    static Vector Load(const std::uint32_t* words) { return _mm512_load_si512(words); }
    static void Store(std::uint32_t* words, Vector v) { _mm512_store_si512(words, v); }
    static Vector Row(const unsigned char* const* lanes, std::size_t offset)
    {
        Vector row = _mm512_castsi128_si512(Quarter(lanes[0] + offset));
        row = _mm512_inserti32x4(row, Quarter(lanes[4] + offset), 1);
        row = _mm512_inserti32x4(row, Quarter(lanes[8] + offset), 2);
        return _mm512_inserti32x4(row, Quarter(lanes[12] + offset), 3);
    }

    static Vector UnpackLow32(Vector x, Vector y) { return _mm512_maskz_unpacklo_epi32(kAllWords, x, y); }
    static Vector UnpackHigh32(Vector x, Vector y) { return _mm512_maskz_unpackhi_epi32(kAllWords, x, y); }
    static Vector UnpackLow64(Vector x, Vector y) { return _mm512_maskz_unpacklo_epi64(kAllPairs, x, y); }
    static Vector UnpackHigh64(Vector x, Vector y) { return _mm512_maskz_unpackhi_epi64(kAllPairs, x, y); }

private:
    static __m128i Quarter(const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
};

}  // namespace

void Md5LanesAvx512(Md5LaneWords& state, const unsigned char* const lanes[], std::size_t count)
{
    FoldLanes<Avx512>(state, lanes, count);
}

#endif
