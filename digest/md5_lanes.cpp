// CMd5Lanes: the multi-buffer manager. It keeps each lane's message (its
// chaining words, its length and the blocks given but not yet folded) and, at
// each Run, folds them either in one pass of the lane function over all lanes
// or lane by lane with the single-stream block function in use.
#include "digest/md5_lanes.h"

#include <cstring>
#include <stdexcept>

#include "digest/md5_lane_forms.h"

CMd5Lanes::CMd5Lanes() : CMd5Lanes(ActiveMd5LaneForm()) {}

CMd5Lanes::CMd5Lanes(Md5LaneForm form) : CMd5Lanes(form, Md5LaneBreakEven(form)) {}

CMd5Lanes::CMd5Lanes(Md5LaneForm form, std::size_t breakEven)
    : m_laneCount(Md5LaneCount(form)), m_function(Md5LaneFormSupported(form) ? Md5LanesOf(form) : nullptr),
      m_breakEven(m_function == nullptr ? kMd5NeverBreaksEven : breakEven)
{
}

std::size_t CMd5Lanes::LaneCount() const
{
    return m_laneCount;
}

void CMd5Lanes::CheckLane(std::size_t lane) const
{
    if (lane >= m_laneCount)
        throw std::out_of_range("CMd5Lanes: no such lane");
}

void CMd5Lanes::Begin(std::size_t lane)
{
    CheckLane(lane);
    if (m_blocks[lane] > 0)
        throw std::logic_error("CMd5Lanes::Begin: the lane still holds blocks");
    m_words.a[lane] = 0x67452301;
    m_words.b[lane] = 0xefcdab89;
    m_words.c[lane] = 0x98badcfe;
    m_words.d[lane] = 0x10325476;
    m_length[lane] = 0;
    m_inMessage[lane] = true;
}

void CMd5Lanes::Give(std::size_t lane, const unsigned char* blocks, std::size_t count)
{
    CheckLane(lane);
    if (!m_inMessage[lane])
        throw std::logic_error("CMd5Lanes::Give: the lane is in no message");
    if (m_blocks[lane] > 0)
        throw std::logic_error("CMd5Lanes::Give: the lane still holds blocks");
    if (blocks == nullptr && count > 0)
        throw std::invalid_argument("CMd5Lanes::Give: no blocks at null");
    m_next[lane] = blocks;
    m_blocks[lane] = count;
    m_length[lane] += std::uint64_t{64} * count;
}

std::size_t CMd5Lanes::Blocks(std::size_t lane) const
{
    CheckLane(lane);
    return m_blocks[lane];
}

void CMd5Lanes::Run()
{
    std::size_t holding = 0, fewest = 0, live = 0;
    for (std::size_t lane = 0; lane < m_laneCount; ++lane) {
        if (m_blocks[lane] == 0)
            continue;
        if (holding == 0 || m_blocks[lane] < fewest)
            fewest = m_blocks[lane];
        live = lane;
        ++holding;
    }
    if (holding == 0)
        return;

    if (holding < m_breakEven) {
        for (std::size_t lane = 0; lane < m_laneCount; ++lane) {
            if (m_blocks[lane] == 0)
                continue;
            FoldAlone(lane, m_next[lane], m_blocks[lane]);
            m_next[lane] += 64 * m_blocks[lane];
            m_blocks[lane] = 0;
        }
        return;
    }

    // A lane without blocks folds a live lane's blocks too, and gets its own
    // words back afterwards: cheaper than a branch per lane in every step.
    const unsigned char* lanes[kMd5MaxLanes];
    for (std::size_t lane = 0; lane < m_laneCount; ++lane)
        lanes[lane] = m_blocks[lane] > 0 ? m_next[lane] : m_next[live];
    const bool idle = holding < m_laneCount;
    Md5LaneWords kept;
    if (idle)
        kept = m_words;
    m_function(m_words, lanes, fewest);
    for (std::size_t lane = 0; lane < m_laneCount; ++lane) {
        if (m_blocks[lane] > 0) {
            m_next[lane] += 64 * fewest;
            m_blocks[lane] -= fewest;
        } else if (idle) {
            m_words.a[lane] = kept.a[lane];
            m_words.b[lane] = kept.b[lane];
            m_words.c[lane] = kept.c[lane];
            m_words.d[lane] = kept.d[lane];
        }
    }
}

void CMd5Lanes::End(std::size_t lane, const unsigned char* tail, std::size_t size, unsigned char digest[16])
{
    CheckLane(lane);
    if (!m_inMessage[lane])
        throw std::logic_error("CMd5Lanes::End: the lane is in no message");
    if (m_blocks[lane] > 0)
        throw std::logic_error("CMd5Lanes::End: the lane still holds blocks");
    if (tail == nullptr && size > 0)
        throw std::invalid_argument("CMd5Lanes::End: no tail at null");

    const std::size_t whole = size / 64, rest = size % 64;
    FoldAlone(lane, tail, whole);

    // The rest, 0x80, zeros, and the length in bits modulo 2^64, low byte
    // first, at the end of one block or, where the rest leaves no room for
    // it, of a second.
    unsigned char last[128] = {};
    if (rest > 0)
        std::memcpy(last, tail + 64 * whole, rest);
    last[rest] = 0x80;
    const std::size_t lastBlocks = rest < 56 ? 1 : 2;
    const std::uint64_t bits = (m_length[lane] + size) * 8;
    for (std::size_t i = 0; i < 8; ++i)
        last[64 * lastBlocks - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
    FoldAlone(lane, last, lastBlocks);

    const std::uint32_t state[4] = {m_words.a[lane], m_words.b[lane], m_words.c[lane], m_words.d[lane]};
    for (std::size_t i = 0; i < 16; ++i)
        digest[i] = static_cast<unsigned char>(state[i / 4] >> (8 * (i % 4)));
    m_inMessage[lane] = false;
}

void CMd5Lanes::FoldAlone(std::size_t lane, const unsigned char* blocks, std::size_t count)
{
    if (count == 0)
        return;
    std::uint32_t state[4] = {m_words.a[lane], m_words.b[lane], m_words.c[lane], m_words.d[lane]};
    ActiveMd5Blocks()(state, blocks, count);
    m_words.a[lane] = state[0];
    m_words.b[lane] = state[1];
    m_words.c[lane] = state[2];
    m_words.d[lane] = state[3];
}
