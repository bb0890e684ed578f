// The MD5 block function in AVX-512 form.
//
// One message at a time: A, B, C and D live in the lowest lane of four 128-bit
// registers, and the other lanes are don't-care. Each round function is one
// three-input bit operation (vpternlogd) and each rotation one instruction
// (vprold), so from one step to the next the chain is four one-cycle
// operations: f, the addition of f, the rotation and the addition of b.
//
// This file alone is compiled with AVX-512F and AVX-512VL enabled; nothing in
// it may run unless Md5FormSupported(Md5Form::Avx512). For the same reason
// everything here but the block function is internal to the file and no
// standard-library template is used: the linker could otherwise pick this
// file's AVX-512 copy of an inline function for callers elsewhere.
#include "digest/md5_blocks.h"

#ifdef KORVANE_MD5_AVX512_FORM

#include <immintrin.h>

namespace {

inline std::uint32_t LoadLittleEndian(const unsigned char* in)
{
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

// vpternlogd's truth tables, from the operands' own tables: b, c and d are
// the bit patterns 0xF0, 0xCC and 0xAA.
constexpr int kB = 0xF0, kC = 0xCC, kD = 0xAA;
constexpr int kF = ((kB & kC) | (~kB & kD)) & 0xFF;
constexpr int kG = ((kB & kD) | (kC & ~kD)) & 0xFF;
constexpr int kH = (kB ^ kC ^ kD) & 0xFF;
constexpr int kI = (kC ^ (kB | ~kD)) & 0xFF;

// a = b + ((a + f(b, c, d) + xt) <<< s), where xt is the message word plus
// the step's constant.
//
// xt is added to a first, off the chain. f is then added as a 64-bit
// addition: lane 0 is the same, and being of another type it keeps the
// compiler from regrouping the sum as (a + f) + xt, which would put a second
// addition after f on the chain.
template <int kFunction, int kShift>
inline void Step(__m128i& a, __m128i b, __m128i c, __m128i d, std::uint32_t xt)
{
    a = _mm_add_epi32(a, _mm_cvtsi32_si128(static_cast<int>(xt)));
    a = _mm_add_epi64(a, _mm_ternarylogic_epi32(b, c, d, kFunction));
    a = _mm_add_epi32(b, _mm_rol_epi32(a, kShift));
}

inline __m128i Lane0(std::uint32_t word)
{
    return _mm_cvtsi32_si128(static_cast<int>(word));
}

inline std::uint32_t WordOf(__m128i lanes)
{
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(lanes));
}

}  // namespace

void Md5BlocksAvx512(std::uint32_t state[4], const unsigned char* blocks, std::size_t count)
{
    __m128i stateA = Lane0(state[0]), stateB = Lane0(state[1]), stateC = Lane0(state[2]),
            stateD = Lane0(state[3]);
    for (; count > 0; --count, blocks += 64) {
        const unsigned char* const p = blocks;
        const auto x = [p](int k) { return LoadLittleEndian(p + 4 * k); };
        __m128i a = stateA, b = stateB, c = stateC, d = stateD;

        Step<kF, 7>(a, b, c, d, x(0) + 0xd76aa478);
        Step<kF, 12>(d, a, b, c, x(1) + 0xe8c7b756);
        Step<kF, 17>(c, d, a, b, x(2) + 0x242070db);
        Step<kF, 22>(b, c, d, a, x(3) + 0xc1bdceee);
        Step<kF, 7>(a, b, c, d, x(4) + 0xf57c0faf);
        Step<kF, 12>(d, a, b, c, x(5) + 0x4787c62a);
        Step<kF, 17>(c, d, a, b, x(6) + 0xa8304613);
        Step<kF, 22>(b, c, d, a, x(7) + 0xfd469501);
        Step<kF, 7>(a, b, c, d, x(8) + 0x698098d8);
        Step<kF, 12>(d, a, b, c, x(9) + 0x8b44f7af);
        Step<kF, 17>(c, d, a, b, x(10) + 0xffff5bb1);
        Step<kF, 22>(b, c, d, a, x(11) + 0x895cd7be);
        Step<kF, 7>(a, b, c, d, x(12) + 0x6b901122);
        Step<kF, 12>(d, a, b, c, x(13) + 0xfd987193);
        Step<kF, 17>(c, d, a, b, x(14) + 0xa679438e);
        Step<kF, 22>(b, c, d, a, x(15) + 0x49b40821);

        Step<kG, 5>(a, b, c, d, x(1) + 0xf61e2562);
        Step<kG, 9>(d, a, b, c, x(6) + 0xc040b340);
        Step<kG, 14>(c, d, a, b, x(11) + 0x265e5a51);
        Step<kG, 20>(b, c, d, a, x(0) + 0xe9b6c7aa);
        Step<kG, 5>(a, b, c, d, x(5) + 0xd62f105d);
        Step<kG, 9>(d, a, b, c, x(10) + 0x02441453);
        Step<kG, 14>(c, d, a, b, x(15) + 0xd8a1e681);
        Step<kG, 20>(b, c, d, a, x(4) + 0xe7d3fbc8);
        Step<kG, 5>(a, b, c, d, x(9) + 0x21e1cde6);
        Step<kG, 9>(d, a, b, c, x(14) + 0xc33707d6);
        Step<kG, 14>(c, d, a, b, x(3) + 0xf4d50d87);
        Step<kG, 20>(b, c, d, a, x(8) + 0x455a14ed);
        Step<kG, 5>(a, b, c, d, x(13) + 0xa9e3e905);
        Step<kG, 9>(d, a, b, c, x(2) + 0xfcefa3f8);
        Step<kG, 14>(c, d, a, b, x(7) + 0x676f02d9);
        Step<kG, 20>(b, c, d, a, x(12) + 0x8d2a4c8a);

        Step<kH, 4>(a, b, c, d, x(5) + 0xfffa3942);
        Step<kH, 11>(d, a, b, c, x(8) + 0x8771f681);
        Step<kH, 16>(c, d, a, b, x(11) + 0x6d9d6122);
        Step<kH, 23>(b, c, d, a, x(14) + 0xfde5380c);
        Step<kH, 4>(a, b, c, d, x(1) + 0xa4beea44);
        Step<kH, 11>(d, a, b, c, x(4) + 0x4bdecfa9);
        Step<kH, 16>(c, d, a, b, x(7) + 0xf6bb4b60);
        Step<kH, 23>(b, c, d, a, x(10) + 0xbebfbc70);
        Step<kH, 4>(a, b, c, d, x(13) + 0x289b7ec6);
        Step<kH, 11>(d, a, b, c, x(0) + 0xeaa127fa);
        Step<kH, 16>(c, d, a, b, x(3) + 0xd4ef3085);
        Step<kH, 23>(b, c, d, a, x(6) + 0x04881d05);
        Step<kH, 4>(a, b, c, d, x(9) + 0xd9d4d039);
        Step<kH, 11>(d, a, b, c, x(12) + 0xe6db99e5);
        Step<kH, 16>(c, d, a, b, x(15) + 0x1fa27cf8);
        Step<kH, 23>(b, c, d, a, x(2) + 0xc4ac5665);

        Step<kI, 6>(a, b, c, d, x(0) + 0xf4292244);
        Step<kI, 10>(d, a, b, c, x(7) + 0x432aff97);
        Step<kI, 15>(c, d, a, b, x(14) + 0xab9423a7);
        Step<kI, 21>(b, c, d, a, x(5) + 0xfc93a039);
        Step<kI, 6>(a, b, c, d, x(12) + 0x655b59c3);
        Step<kI, 10>(d, a, b, c, x(3) + 0x8f0ccc92);
        Step<kI, 15>(c, d, a, b, x(10) + 0xffeff47d);
        Step<kI, 21>(b, c, d, a, x(1) + 0x85845dd1);
        Step<kI, 6>(a, b, c, d, x(8) + 0x6fa87e4f);
        Step<kI, 10>(d, a, b, c, x(15) + 0xfe2ce6e0);
        Step<kI, 15>(c, d, a, b, x(6) + 0xa3014314);
        Step<kI, 21>(b, c, d, a, x(13) + 0x4e0811a1);
        Step<kI, 6>(a, b, c, d, x(4) + 0xf7537e82);
        Step<kI, 10>(d, a, b, c, x(11) + 0xbd3af235);
        Step<kI, 15>(c, d, a, b, x(2) + 0x2ad7d2bb);
        Step<kI, 21>(b, c, d, a, x(9) + 0xeb86d391);

        stateA = _mm_add_epi32(stateA, a);
        stateB = _mm_add_epi32(stateB, b);
        stateC = _mm_add_epi32(stateC, c);
        stateD = _mm_add_epi32(stateD, d);
    }
    state[0] = WordOf(stateA);
    state[1] = WordOf(stateB);
    state[2] = WordOf(stateC);
    state[3] = WordOf(stateD);
}

#endif
