// CLaneWorker: one thread's part of a batch: several open files side by side
// in the lanes of one CMd5Lanes, each lane given the next file as soon as its
// own ends.
//
// A lane's file is read in pieces of kPiece bytes by the batch's readers
// (CReadPool), into the lane's two buffers by turns: while the lanes fold one
// piece the next is under way, and once a file's last read is asked, the
// lane takes the file that follows and asks for its first piece, so that the
// next message does not begin with a wait for the disk. A file of one piece
// the lane reads itself. Each piece is whole but its file's last, whose bytes
// after the last whole block end the message. When it takes a piece the lane
// counts the chunks that the one stream would ask for up to that piece's end,
// no further than the file's length at its open puts the last of them.
//
// THREADING: an object belongs to the one thread that runs it; what it shares
// goes through CBatchState and CReadPool.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "digest/md5_lanes.h"
#include "job/batch_state.h"
#include "platform/read_pool.h"

class CLaneWorker {
public:
    // Allocates the lanes' buffers; throws std::bad_alloc when it cannot.
    CLaneWorker(CBatchState& batch, CReadPool& reads);
    CLaneWorker(const CLaneWorker&) = delete;
    CLaneWorker& operator=(const CLaneWorker&) = delete;
    // Takes back the reads still asked: their buffers go with this object.
    ~CLaneWorker();

    // Digests files of the batch until none is left for it or the batch is
    // to end. Throws std::bad_alloc when a line could not be made; the batch
    // must then end (CBatchState::Fail).
    void Run();

    // The lanes a worker has: as many as the lane form in use.
    static std::size_t Lanes();

    static constexpr std::uint32_t kPiece = 64u << 10;

private:
    // A file of a lane's, and how far it is asked and counted.
    struct File {
        CBatchState::Item item;     // none: no file
        std::uint64_t asked = 0;    // bytes asked for so far
        std::uint64_t counted = 0;  // chunks counted so far
        bool lastAsked = false;     // the read that ends it (or fails) is asked
    };
    // A buffer of a lane's and the read into it.
    struct Piece {
        enum class Use { Free, Asked, Folding };
        unsigned char* buffer = nullptr;
        CReadPool::Read read;
        Use use = Use::Free;
        std::uint32_t of = 0;     // the index of its file
        std::uint64_t from = 0;   // its first byte's offset in the file
        bool last = false;        // its file's last read
    };
    struct Lane {
        File file[2];   // [0] in the lanes' message; [1] the next, once [0]'s last read is asked
        Piece piece[2];
    };

    // Gives the free lanes files; true when every lane is free and the batch
    // has none left.
    bool Fill();
    // Lanes that hold blocks, and lanes whose file waits for a read.
    struct Held {
        std::size_t blocks = 0;
        std::size_t waiting = 0;
    };
    // Serves every lane whose blocks are all folded: ends its file, takes
    // its next piece, asks for the one after.
    Held Feed();
    void Serve(std::size_t lane);
    // Frees the lane's piece whose blocks are folded; a last one ends its
    // file.
    void EndFolded(std::size_t lane);
    // Takes the piece, read, of the lane's file: false when the read failed,
    // the file has its line then and the next one moved up.
    bool Take(std::size_t lane, Piece& piece);
    // Asks for the next read the lane may have under way now, if any.
    void AskAhead(std::size_t lane);
    void Ask(Lane& lane, std::size_t file, Piece& piece);
    // The lane's file ends with its line; the next one, if any, moves up.
    void End(std::size_t lane, const FileDigest& digest);
    void Begin(std::size_t lane, CBatchState::Item item);
    static Piece* AskedFor(Lane& lane, const File& file);
    // Waits at most timeout for wanted of the reads that the lanes' files
    // wait for; how many are done.
    std::size_t WaitForReads(std::size_t wanted, std::chrono::milliseconds timeout);
    void DigestAlone(CBatchState::Item item);
    void DropAll();
    void WithdrawAll();
    bool Busy() const;
    void Count(File& file, std::uint64_t upTo);

    CBatchState& m_batch;
    CReadPool& m_reads;
    CMd5Lanes m_lanes;
    std::unique_ptr<unsigned char[]> m_buffers;
    std::vector<Lane> m_lane;
    std::vector<CReadPool::Read*> m_waitingFor;
    bool m_listDone = false;
};
