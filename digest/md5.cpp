// CMD5Checksum: RFC 1321 MD5 over input given in pieces. The block step is
// whichever block function is in use (md5_blocks.h).
#include "digest/md5.h"

#include <cstring>

#include "digest/md5_blocks.h"

namespace {

// 0x80, then zeros: the padding that Final absorbs.
const unsigned char kPadding[64] = {0x80};

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
    ActiveMd5Blocks()(m_state, block, 1);
}

void CMD5Checksum::Update(const unsigned char* input, std::uint32_t length)
{
    const std::uint32_t index = (m_bitCount[0] >> 3) & 0x3F;

    const std::uint32_t bits = length << 3;
    m_bitCount[0] += bits;
    if (m_bitCount[0] < bits)
        ++m_bitCount[1];
    m_bitCount[1] += length >> 29;

    // Complete a waiting block, if any, then transform whole blocks where they
    // lie, all in one call: the block function keeps the state in registers
    // from one block to the next. The engine's file loop feeds 1024 bytes at
    // a time, so no block is waiting there.
    std::uint32_t i = 0;
    if (index > 0) {
        const std::uint32_t partLen = 64 - index;
        if (length < partLen) {
            std::memcpy(m_buffer + index, input, length);
            return;
        }
        std::memcpy(m_buffer + index, input, partLen);
        Transform(m_buffer);
        i = partLen;
    }
    const std::uint32_t wholeBlocks = (length - i) / 64;
    if (wholeBlocks > 0)
        ActiveMd5Blocks()(m_state, input + i, wholeBlocks);
    i += wholeBlocks * 64;
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
