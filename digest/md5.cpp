// CMD5Checksum: RFC 1321 MD5.
#include "digest/md5.h"

#include <cstring>

#include "job/chunk_reader.h"
#include "platform/file.h"

namespace {

// 0x80, then zeros: the padding that Final absorbs.
const unsigned char kPadding[64] = {0x80};

constexpr std::uint32_t kReadChunk = 1024;

inline std::uint32_t RotateLeft(std::uint32_t x, int s)
{
    return (x << s) | (x >> (32 - s));
}

// One step of each round: a = b + ((a + f(b, c, d) + x + t) <<< s).
// F and G are written in forms that compilers turn into fewer instructions
// than the textbook ones; they compute the same functions. In G the two terms
// never share a set bit, so adding them equals or-ing them, and the additions
// need not wait for each other.
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, std::uint32_t t, int s)
{
    a += (d ^ (b & (c ^ d))) + x + t;
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
    a += (b ^ c ^ d) + x + t;
    a = b + RotateLeft(a, s);
}

inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, std::uint32_t t, int s)
{
    a += (c ^ (b | ~d)) + x + t;
    a = b + RotateLeft(a, s);
}

}  // namespace

CMD5Checksum::CMD5Checksum()
{
    Init();
}

void CMD5Checksum::Init()
{
    std::memset(m_buffer, 0, sizeof m_buffer);
    m_bitCount[0] = m_bitCount[1] = 0;
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
}

void CMD5Checksum::BytesToWords(const unsigned char* in, std::uint32_t* out, std::uint32_t wordCount)
{
    for (std::uint32_t i = 0; i < wordCount; ++i, in += 4)
        out[i] = std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
                 std::uint32_t{in[3]} << 24;
}

void CMD5Checksum::WordsToBytes(const std::uint32_t* in, unsigned char* out, std::uint32_t wordCount)
{
    for (std::uint32_t i = 0; i < wordCount; ++i, out += 4) {
        out[0] = static_cast<unsigned char>(in[i]);
        out[1] = static_cast<unsigned char>(in[i] >> 8);
        out[2] = static_cast<unsigned char>(in[i] >> 16);
        out[3] = static_cast<unsigned char>(in[i] >> 24);
    }
}

void CMD5Checksum::Transform(const unsigned char block[64])
{
    std::uint32_t x[16];
    BytesToWords(block, x, 16);
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];

    StepF(a, b, c, d, x[0], 0xd76aa478, 7);
    StepF(d, a, b, c, x[1], 0xe8c7b756, 12);
    StepF(c, d, a, b, x[2], 0x242070db, 17);
    StepF(b, c, d, a, x[3], 0xc1bdceee, 22);
    StepF(a, b, c, d, x[4], 0xf57c0faf, 7);
    StepF(d, a, b, c, x[5], 0x4787c62a, 12);
    StepF(c, d, a, b, x[6], 0xa8304613, 17);
    StepF(b, c, d, a, x[7], 0xfd469501, 22);
    StepF(a, b, c, d, x[8], 0x698098d8, 7);
    StepF(d, a, b, c, x[9], 0x8b44f7af, 12);
    StepF(c, d, a, b, x[10], 0xffff5bb1, 17);
    StepF(b, c, d, a, x[11], 0x895cd7be, 22);
    StepF(a, b, c, d, x[12], 0x6b901122, 7);
    StepF(d, a, b, c, x[13], 0xfd987193, 12);
    StepF(c, d, a, b, x[14], 0xa679438e, 17);
    StepF(b, c, d, a, x[15], 0x49b40821, 22);

    StepG(a, b, c, d, x[1], 0xf61e2562, 5);
    StepG(d, a, b, c, x[6], 0xc040b340, 9);
    StepG(c, d, a, b, x[11], 0x265e5a51, 14);
    StepG(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    StepG(a, b, c, d, x[5], 0xd62f105d, 5);
    StepG(d, a, b, c, x[10], 0x02441453, 9);
    StepG(c, d, a, b, x[15], 0xd8a1e681, 14);
    StepG(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    StepG(a, b, c, d, x[9], 0x21e1cde6, 5);
    StepG(d, a, b, c, x[14], 0xc33707d6, 9);
    StepG(c, d, a, b, x[3], 0xf4d50d87, 14);
    StepG(b, c, d, a, x[8], 0x455a14ed, 20);
    StepG(a, b, c, d, x[13], 0xa9e3e905, 5);
    StepG(d, a, b, c, x[2], 0xfcefa3f8, 9);
    StepG(c, d, a, b, x[7], 0x676f02d9, 14);
    StepG(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    StepH(a, b, c, d, x[5], 0xfffa3942, 4);
    StepH(d, a, b, c, x[8], 0x8771f681, 11);
    StepH(c, d, a, b, x[11], 0x6d9d6122, 16);
    StepH(b, c, d, a, x[14], 0xfde5380c, 23);
    StepH(a, b, c, d, x[1], 0xa4beea44, 4);
    StepH(d, a, b, c, x[4], 0x4bdecfa9, 11);
    StepH(c, d, a, b, x[7], 0xf6bb4b60, 16);
    StepH(b, c, d, a, x[10], 0xbebfbc70, 23);
    StepH(a, b, c, d, x[13], 0x289b7ec6, 4);
    StepH(d, a, b, c, x[0], 0xeaa127fa, 11);
    StepH(c, d, a, b, x[3], 0xd4ef3085, 16);
    StepH(b, c, d, a, x[6], 0x04881d05, 23);
    StepH(a, b, c, d, x[9], 0xd9d4d039, 4);
    StepH(d, a, b, c, x[12], 0xe6db99e5, 11);
    StepH(c, d, a, b, x[15], 0x1fa27cf8, 16);
    StepH(b, c, d, a, x[2], 0xc4ac5665, 23);

    StepI(a, b, c, d, x[0], 0xf4292244, 6);
    StepI(d, a, b, c, x[7], 0x432aff97, 10);
    StepI(c, d, a, b, x[14], 0xab9423a7, 15);
    StepI(b, c, d, a, x[5], 0xfc93a039, 21);
    StepI(a, b, c, d, x[12], 0x655b59c3, 6);
    StepI(d, a, b, c, x[3], 0x8f0ccc92, 10);
    StepI(c, d, a, b, x[10], 0xffeff47d, 15);
    StepI(b, c, d, a, x[1], 0x85845dd1, 21);
    StepI(a, b, c, d, x[8], 0x6fa87e4f, 6);
    StepI(d, a, b, c, x[15], 0xfe2ce6e0, 10);
    StepI(c, d, a, b, x[6], 0xa3014314, 15);
    StepI(b, c, d, a, x[13], 0x4e0811a1, 21);
    StepI(a, b, c, d, x[4], 0xf7537e82, 6);
    StepI(d, a, b, c, x[11], 0xbd3af235, 10);
    StepI(c, d, a, b, x[2], 0x2ad7d2bb, 15);
    StepI(b, c, d, a, x[9], 0xeb86d391, 21);

    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void CMD5Checksum::Update(const unsigned char* input, std::uint32_t length)
{
    const std::uint32_t index = (m_bitCount[0] >> 3) & 0x3F;

    const std::uint32_t bits = length << 3;
    m_bitCount[0] += bits;
    if (m_bitCount[0] < bits)
        ++m_bitCount[1];
    m_bitCount[1] += length >> 29;

    const std::uint32_t partLen = 64 - index;
    if (length < partLen) {
        if (length > 0)
            std::memcpy(m_buffer + index, input, length);
        return;
    }

    // Complete the waiting block, then transform whole blocks where they lie.
    std::memcpy(m_buffer + index, input, partLen);
    Transform(m_buffer);
    std::uint32_t i = partLen;
    for (; i + 63 < length; i += 64)
        Transform(input + i);
    if (length > i)
        std::memcpy(m_buffer, input + i, length - i);
}

void CMD5Checksum::Final(unsigned char out[16])
{
    unsigned char lengthBytes[8];
    WordsToBytes(m_bitCount, lengthBytes, 2);

    const std::uint32_t index = (m_bitCount[0] >> 3) & 0x3F;
    const std::uint32_t padLen = index < 56 ? 56 - index : 120 - index;
    Update(kPadding, padLen);
    Update(lengthBytes, 8);

    WordsToBytes(m_state, out, 4);
}

bool CMD5Checksum::DigestFile(CFile& file, unsigned char digest[16])
{
    try {
        CMD5Checksum md5;
        unsigned char chunk[kReadChunk];
        for (;;) {
            const auto got = static_cast<std::int32_t>(ReadChunkWithProgress(chunk, kReadChunk, file));
            if (got <= 0)
                break;
            md5.Update(chunk, static_cast<std::uint32_t>(got));
        }
        md5.Final(digest);
        return true;
    } catch (...) {
        // A failed read or a stopped job: the digest stays as the caller left it.
        return false;
    }
}
