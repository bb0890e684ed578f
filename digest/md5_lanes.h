// CMd5Lanes: the MD5 digests of several messages at once, side by side in the
// lanes of a multi-buffer block function, for a caller that digests a batch.
//
// The lanes are data, not threads. The caller starts a message in a free lane,
// gives the lane whole 64-byte blocks of it as they arrive, and calls Run,
// which folds given blocks: in one pass over all lanes where enough of them
// hold blocks, one lane after another by the single-stream block function
// otherwise. The manager knows nothing of files, the block functions nothing
// of messages. Every digest is exactly RFC 1321's, as CMD5Checksum gives it.
//
// An object is a plain value with no allocation; one thread at a time may use
// it. A call that breaks the rules below (a lane out of range, blocks given to
// a lane outside a message or still holding blocks, a Begin or End of a lane
// still holding blocks, a null pointer with a non-zero size) throws a
// std::logic_error and changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/md5_lane_blocks.h"

class CMd5Lanes {
public:
    // The lane form in use (the fastest on this machine, unless a test or
    // benchmark put another in use) with its break-even, both timed once per
    // process.
    CMd5Lanes();
    // form, with its timed break-even. A form that this machine cannot run is
    // never called: every lane is then folded by the single-stream form.
    explicit CMd5Lanes(Md5LaneForm form);
    // form, folding in lanes from breakEven lanes with blocks on (1 or 0:
    // always): for tests and benchmarks.
    CMd5Lanes(Md5LaneForm form, std::size_t breakEven);

    // The form's lanes: 4, 8 or 16. Lanes are numbered from 0.
    std::size_t LaneCount() const;

    // Starts a new message in lane, which holds no blocks; a message it was
    // in is dropped.
    void Begin(std::size_t lane);

    // Gives lane, which is in a message and holds no blocks, the next count
    // whole 64-byte blocks of its message. They must stay valid and unchanged
    // until the lane holds none.
    void Give(std::size_t lane, const unsigned char* blocks, std::size_t count);

    // The blocks given to lane and not yet folded.
    std::size_t Blocks(std::size_t lane) const;

    // Folds given blocks until at least one lane that held blocks holds none:
    // the lane with the fewest decides how far, and every lane that held
    // blocks has that many fewer. Does nothing when no lane holds any. A lane
    // in a message but without blocks keeps its state. When fewer lanes than
    // the break-even hold blocks, each of them is folded to its end by the
    // single-stream block function in use instead: a message left alone in
    // the lanes goes at single-stream speed.
    void Run();

    // Ends lane's message, which holds no blocks, with its last size bytes
    // (any size; whole blocks among them are folded first, single-stream),
    // pads it as RFC 1321 does and writes the 16 digest bytes. The lane is
    // free afterwards.
    void End(std::size_t lane, const unsigned char* tail, std::size_t size, unsigned char digest[16]);

private:
    void CheckLane(std::size_t lane) const;
    // Folds count blocks into lane's words with the single-stream block
    // function in use.
    void FoldAlone(std::size_t lane, const unsigned char* blocks, std::size_t count);

    Md5LaneWords m_words{};                             // each lane's chaining state
    const unsigned char* m_next[kMd5MaxLanes] = {};     // the lane's first block not yet folded
    std::size_t m_blocks[kMd5MaxLanes] = {};            // blocks given, not yet folded
    std::uint64_t m_length[kMd5MaxLanes] = {};          // bytes of the message given so far
    bool m_inMessage[kMd5MaxLanes] = {};
    std::size_t m_laneCount;
    Md5LaneFunction m_function;  // null when this machine cannot run the form
    std::size_t m_breakEven;     // lanes with blocks from which Run uses m_function
};
