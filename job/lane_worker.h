// CLaneWorker: one thread's part of a batch: several open files side by side
// in the lanes of one CMd5Lanes, each lane given the next file as soon as its
// own ends.
//
// Each lane reads its file straight into a buffer of its own, in pieces of
// kPiece bytes, and gives the lanes the whole blocks of it; its last bytes
// end its message. Before each read it counts the chunks that the one stream
// would ask for up to the end of that read, no further than the file's
// length at its open puts the last of them.
//
// THREADING: an object belongs to the one thread that runs it; what it shares
// goes through CBatchState.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "digest/md5_lanes.h"
#include "job/batch_state.h"
#include "platform/file.h"

class CLaneWorker {
public:
    // Allocates the lanes' buffers; throws std::bad_alloc when it cannot.
    explicit CLaneWorker(CBatchState& batch);

    // Digests files of the batch until none is left for it or the batch is
    // to end. Throws std::bad_alloc when a line could not be made; the batch
    // must then end (CBatchState::Fail).
    void Run();

    // The lanes a worker has: as many as the lane form in use.
    static std::size_t Lanes();

    static constexpr std::uint32_t kPiece = 64u << 10;

private:
    struct Lane {
        CBatchState::Item item;       // its file; none: the lane is free
        unsigned char* buffer = nullptr;
        std::uint64_t offset = 0;     // bytes read so far
        std::uint64_t counted = 0;    // chunks counted so far
        std::uint32_t given = 0;      // bytes of the buffer given to the lanes
        std::uint32_t kept = 0;       // bytes after them, fewer than a block
    };

    // Gives the free lanes files; true when every lane is free and the batch
    // has none left.
    bool Fill();
    // Reads the next piece of every lane whose blocks are all folded.
    void Feed();
    void Read(std::size_t lane);
    void End(std::size_t lane, const FileDigest& digest);
    void DigestAlone(CBatchState::Item item);
    void DropAll();
    bool Busy() const;

    CBatchState& m_batch;
    CMd5Lanes m_lanes;
    std::unique_ptr<unsigned char[]> m_buffers;
    std::vector<Lane> m_lane;
    bool m_listDone = false;
};
