// The MD5 block function in plain C++: the form every processor runs.
#include "digest/md5_blocks.h"

namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, int s)
{
    return (x << s) | (x >> (32 - s));
}

inline std::uint32_t LoadLittleEndian(const unsigned char* in)
{
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

// One step of each round: a = b + ((a + f(b, c, d) + x + t) <<< s).
//
// b is the word the previous step has just produced; a, c and d are older.
// So each step first adds x + t to a, which need not wait for b, and each f is
// written with as few operations after b as it can have. From one step to the
// next the chain is then f's operations after b, one addition, the rotation
// and the addition of b: five, four, four and five operations in the four
// rounds. The functions are RFC 1321's in other forms:
//   F: d ^ (b & (c ^ d)); c ^ d is ready before b.
//   G: (d & b) + (~d & c); the terms never share a set bit, so + is the |
//      of the textbook form, and ~d & c is added before b is there.
//   H: b ^ (c ^ d).
//   I: c ^ (b | ~d); ~d is ready before b.
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, std::uint32_t t, int s)
{
    a += x + t;
    a += d ^ (b & (c ^ d));
    a = b + RotateLeft(a, s);
}

inline void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, std::uint32_t t, int s)
{
    a += x + t;
    a += ~d & c;
    a += d & b;
    a = b + RotateLeft(a, s);
}

inline void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, std::uint32_t t, int s)
{
    a += x + t;
    a += b ^ (c ^ d);
    a = b + RotateLeft(a, s);
}

inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, std::uint32_t t, int s)
{
    a += x + t;
    a += c ^ (b | ~d);
    a = b + RotateLeft(a, s);
}

}  // namespace

void Md5BlocksScalar(std::uint32_t state[4], const unsigned char* blocks, std::size_t count)
{
    // The chaining state stays in locals from one block to the next. Written
    // back after every block, it would have to go through memory each time,
    // as the compiler cannot tell that the input bytes do not overlap it.
    std::uint32_t stateA = state[0], stateB = state[1], stateC = state[2], stateD = state[3];
    for (; count > 0; --count, blocks += 64) {
        // Each message word is read from the block where a step uses it. The
        // 16 words do not fit in registers beside the rest, so a copy of them
        // would only go to the stack and back, and costs more than it saves.
        const unsigned char* const block = blocks;
        const auto x = [block](int k) { return LoadLittleEndian(block + 4 * k); };
        std::uint32_t a = stateA, b = stateB, c = stateC, d = stateD;

        StepF(a, b, c, d, x(0), 0xd76aa478, 7);
        StepF(d, a, b, c, x(1), 0xe8c7b756, 12);
        StepF(c, d, a, b, x(2), 0x242070db, 17);
        StepF(b, c, d, a, x(3), 0xc1bdceee, 22);
        StepF(a, b, c, d, x(4), 0xf57c0faf, 7);
        StepF(d, a, b, c, x(5), 0x4787c62a, 12);
        StepF(c, d, a, b, x(6), 0xa8304613, 17);
        StepF(b, c, d, a, x(7), 0xfd469501, 22);
        StepF(a, b, c, d, x(8), 0x698098d8, 7);
        StepF(d, a, b, c, x(9), 0x8b44f7af, 12);
        StepF(c, d, a, b, x(10), 0xffff5bb1, 17);
        StepF(b, c, d, a, x(11), 0x895cd7be, 22);
        StepF(a, b, c, d, x(12), 0x6b901122, 7);
        StepF(d, a, b, c, x(13), 0xfd987193, 12);
        StepF(c, d, a, b, x(14), 0xa679438e, 17);
        StepF(b, c, d, a, x(15), 0x49b40821, 22);

        StepG(a, b, c, d, x(1), 0xf61e2562, 5);
        StepG(d, a, b, c, x(6), 0xc040b340, 9);
        StepG(c, d, a, b, x(11), 0x265e5a51, 14);
        StepG(b, c, d, a, x(0), 0xe9b6c7aa, 20);
        StepG(a, b, c, d, x(5), 0xd62f105d, 5);
        StepG(d, a, b, c, x(10), 0x02441453, 9);
        StepG(c, d, a, b, x(15), 0xd8a1e681, 14);
        StepG(b, c, d, a, x(4), 0xe7d3fbc8, 20);
        StepG(a, b, c, d, x(9), 0x21e1cde6, 5);
        StepG(d, a, b, c, x(14), 0xc33707d6, 9);
        StepG(c, d, a, b, x(3), 0xf4d50d87, 14);
        StepG(b, c, d, a, x(8), 0x455a14ed, 20);
        StepG(a, b, c, d, x(13), 0xa9e3e905, 5);
        StepG(d, a, b, c, x(2), 0xfcefa3f8, 9);
        StepG(c, d, a, b, x(7), 0x676f02d9, 14);
        StepG(b, c, d, a, x(12), 0x8d2a4c8a, 20);

        StepH(a, b, c, d, x(5), 0xfffa3942, 4);
        StepH(d, a, b, c, x(8), 0x8771f681, 11);
        StepH(c, d, a, b, x(11), 0x6d9d6122, 16);
        StepH(b, c, d, a, x(14), 0xfde5380c, 23);
        StepH(a, b, c, d, x(1), 0xa4beea44, 4);
        StepH(d, a, b, c, x(4), 0x4bdecfa9, 11);
        StepH(c, d, a, b, x(7), 0xf6bb4b60, 16);
        StepH(b, c, d, a, x(10), 0xbebfbc70, 23);
        StepH(a, b, c, d, x(13), 0x289b7ec6, 4);
        StepH(d, a, b, c, x(0), 0xeaa127fa, 11);
        StepH(c, d, a, b, x(3), 0xd4ef3085, 16);
        StepH(b, c, d, a, x(6), 0x04881d05, 23);
        StepH(a, b, c, d, x(9), 0xd9d4d039, 4);
        StepH(d, a, b, c, x(12), 0xe6db99e5, 11);
        StepH(c, d, a, b, x(15), 0x1fa27cf8, 16);
        StepH(b, c, d, a, x(2), 0xc4ac5665, 23);

        StepI(a, b, c, d, x(0), 0xf4292244, 6);
        StepI(d, a, b, c, x(7), 0x432aff97, 10);
        StepI(c, d, a, b, x(14), 0xab9423a7, 15);
        StepI(b, c, d, a, x(5), 0xfc93a039, 21);
        StepI(a, b, c, d, x(12), 0x655b59c3, 6);
        StepI(d, a, b, c, x(3), 0x8f0ccc92, 10);
        StepI(c, d, a, b, x(10), 0xffeff47d, 15);
        StepI(b, c, d, a, x(1), 0x85845dd1, 21);
        StepI(a, b, c, d, x(8), 0x6fa87e4f, 6);
        StepI(d, a, b, c, x(15), 0xfe2ce6e0, 10);
        StepI(c, d, a, b, x(6), 0xa3014314, 15);
        StepI(b, c, d, a, x(13), 0x4e0811a1, 21);
        StepI(a, b, c, d, x(4), 0xf7537e82, 6);
        StepI(d, a, b, c, x(11), 0xbd3af235, 10);
        StepI(c, d, a, b, x(2), 0x2ad7d2bb, 15);
        StepI(b, c, d, a, x(9), 0xeb86d391, 21);

        stateA += a;
        stateB += b;
        stateC += c;
        stateD += d;
    }
    state[0] = stateA;
    state[1] = stateB;
    state[2] = stateC;
    state[3] = stateD;
}
