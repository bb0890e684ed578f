// Streams of equal size digested one core's two ways, as the engine benchmarks
// time them: side by side through CMd5Lanes, and one after another through
// CMD5Checksum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/md5.h"
#include "digest/md5_lanes.h"

// The count streams of size bytes that follow each other in data, through
// lanes, as many at a time as it has lanes; digest gets the last one's.
inline void DigestStreamsInLanes(CMd5Lanes& lanes, const unsigned char* data, std::size_t count, std::size_t size,
                                 unsigned char digest[16])
{
    for (std::size_t first = 0; first < count; first += lanes.LaneCount()) {
        const std::size_t inUse = count - first < lanes.LaneCount() ? count - first : lanes.LaneCount();
        for (std::size_t lane = 0; lane < inUse; ++lane) {
            lanes.Begin(lane);
            lanes.Give(lane, data + (first + lane) * size, size / 64);
        }
        for (bool holding = true; holding;) {
            lanes.Run();
            holding = false;
            for (std::size_t lane = 0; lane < inUse; ++lane)
                holding = holding || lanes.Blocks(lane) > 0;
        }
        for (std::size_t lane = 0; lane < inUse; ++lane) {
            const unsigned char* stream = data + (first + lane) * size;
            lanes.End(lane, stream + size / 64 * 64, size % 64, digest);
        }
    }
}

// The same streams one after another, each through a CMD5Checksum of its own,
// in the block form in use.
inline void DigestStreamsInTurn(const unsigned char* data, std::size_t count, std::size_t size,
                                unsigned char digest[16])
{
    for (std::size_t i = 0; i < count; ++i) {
        CMD5Checksum md5;
        md5.Update(data + i * size, static_cast<std::uint32_t>(size));
        md5.Final(digest);
    }
}
