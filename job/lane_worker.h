// CLaneWorker: one thread's part of a batch: several open files side by side
// in the lanes of one CMd5Lanes, each lane given the next file as soon as its
// own ends.
//
// Each lane reads its files through a CReadAhead of its own: two pieces of
// kPiece bytes, one folded while the next is read, and once a file's last
// read is asked the lane takes the file that follows, so that the next
// message does not begin with a wait for the disk. The worker decides when
// the lanes fold: the pieces come one by one, and a pass costs as much with
// three lanes as with all of them, so lanes that hold blocks wait for the
// others' pieces first.
//
// When it takes a piece the lane counts the chunks that the one stream would
// ask for up to that piece's end, no further than the file's length at its
// open puts the last of them.
//
// THREADING: an object belongs to the one thread that runs it; what it shares
// goes through CBatchState and the readers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "digest/md5_lanes.h"
#include "job/batch_state.h"
#include "platform/read_ahead.h"

class CLaneWorker {
public:
    // Allocates the lanes' buffers; throws std::bad_alloc when it cannot.
    CLaneWorker(CBatchState& batch, CReadPool& readers);
    CLaneWorker(const CLaneWorker&) = delete;
    CLaneWorker& operator=(const CLaneWorker&) = delete;
    // Stops every lane's reads first, then waits for those in flight: their
    // buffers go with this object.
    ~CLaneWorker();

    // Digests files of the batch until none is left for it or the batch is
    // to end. Throws std::bad_alloc when a line could not be made; the batch
    // must then end (CBatchState::Fail).
    void Run();

    // The lanes a worker has: as many as the lane form in use.
    static std::size_t Lanes();

    static constexpr std::uint32_t kPiece = 64u << 10;

private:
    // A file of a lane's, and the chunks counted for it so far.
    struct File {
        CBatchState::Item item;  // none: no file
        std::uint64_t counted = 0;
    };
    struct Lane {
        std::unique_ptr<CReadAhead> pieces;
        File file[2];         // [0] in the lanes' message; [1] the next, once [0]'s last read is asked
        CReadAhead::Piece held;  // the piece whose blocks the lanes fold
        bool holding = false;
    };

    // Gives the free lanes files; true when every lane is free and the batch
    // has none left.
    bool Fill();
    // Lanes that hold blocks, and lanes whose file waits for a piece.
    struct Tally {
        std::size_t folding = 0;
        std::size_t waiting = 0;
    };
    // Serves every lane whose blocks are all folded: ends what it held, takes
    // its next piece if it is in.
    Tally Feed();
    void Serve(std::size_t lane);
    // Lets go of the lane's folded piece; a last one ends its file.
    void EndFolded(std::size_t lane);
    // Takes the lane's next piece: false when its read failed, the file has
    // its line then and the next one moved up.
    bool Take(std::size_t lane, const CReadAhead::Piece& piece);
    // Queues the lane's next file once its current one is wholly asked.
    void TakeNextFile(std::size_t lane);
    void Queue(std::size_t lane, std::size_t which);
    // The lane's file ends with its line; the next one, if any, moves up.
    void End(std::size_t lane, const FileDigest& digest);
    void Begin(std::size_t lane, CBatchState::Item item);
    // Waits until wanted of the pieces that waiting lanes wait for are in,
    // or a while has passed; how many are.
    std::size_t WaitForPieces(std::size_t wanted);
    void DigestAlone(CBatchState::Item item);
    void StopReading();
    void DropAll();
    bool Busy() const;
    void Count(File& file, std::uint64_t upTo);

    CBatchState& m_batch;
    CMd5Lanes m_lanes;
    std::vector<Lane> m_lane;
    std::vector<CReadAhead*> m_waitingFor;
    bool m_listDone = false;
};
