// CLaneWorker.
#include "job/lane_worker.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

#include "digest/hex.h"

namespace {

constexpr std::uint64_t kChunk = 1024;
// How long a worker whose lanes all wait for reads waits before it looks
// whether the batch is to end.
constexpr std::chrono::milliseconds kStopCheck{50};
// How long lanes that hold blocks wait for more of the lanes' pieces before
// they fold without them: a pass costs as much with three lanes as with all.
constexpr std::chrono::milliseconds kGather{1};

std::uint64_t ChunksTo(std::uint64_t bytes)
{
    return (bytes + kChunk - 1) / kChunk;
}

// Fills buffer from file: count bytes, or fewer where the file ends. A last
// read also makes sure that the file ends there, as a read at its end does:
// its length and its time of last change are then checked. Fails for what
// is no disk file, which the first read is the first to ask.
bool ReadPiece(CFile& file, unsigned char* buffer, std::uint32_t count, bool last, std::uint32_t& got)
{
    got = 0;
    if (!file.CheckIsFile())
        return false;
    try {
        while (got < count) {
            const std::uint32_t n = file.ReadDirect(buffer + got, count - got);
            if (n == 0)
                return true;
            got += n;
        }
        unsigned char past[64];
        return !last || file.ReadDirect(past, sizeof past) == 0;
    } catch (const CFileException&) {
        return false;
    }
}

}  // namespace

std::size_t CLaneWorker::Lanes()
{
    return CMd5Lanes().LaneCount();
}

CLaneWorker::CLaneWorker(CBatchState& batch, CReadPool& reads)
    : m_batch(batch), m_reads(reads), m_buffers(new unsigned char[std::size_t{kPiece} * 2 * m_lanes.LaneCount()]),
      m_lane(m_lanes.LaneCount())
{
    unsigned char* next = m_buffers.get();
    for (Lane& lane : m_lane) {
        for (Piece& piece : lane.piece) {
            piece.buffer = next;
            next += kPiece;
        }
    }
    m_waitingFor.reserve(m_lane.size());
}

CLaneWorker::~CLaneWorker()
{
    WithdrawAll();
}

void CLaneWorker::Run()
{
    for (;;) {
        if (m_batch.Ending()) {
            DropAll();
            return;
        }
        if (Fill())
            return;
        const Held held = Feed();
        // From the disk the pieces come one by one. While most lanes still
        // wait for theirs, folding the few that have them would spend a
        // whole pass on them: the lanes wait a little for half the rest.
        if (held.blocks == 0) {
            if (Busy())
                WaitForReads(1, kStopCheck);
        } else if (held.blocks >= held.waiting || WaitForReads((held.waiting - held.blocks + 1) / 2, kGather) == 0) {
            m_lanes.Run();
        }
    }
}

bool CLaneWorker::Busy() const
{
    return std::any_of(m_lane.begin(), m_lane.end(), [](const Lane& lane) { return lane.file[0].item.file != nullptr; });
}

bool CLaneWorker::Fill()
{
    for (std::size_t i = 0; i < m_lane.size() && !m_listDone; ++i) {
        while (!m_lane[i].file[0].item.file && !m_listDone) {
            CBatchState::Item item;
            const CBatchState::Take take = m_batch.Next(item, !Busy());
            if (take == CBatchState::Take::Wait)
                return false;
            if (take == CBatchState::Take::Done)
                m_listDone = true;
            else if (take == CBatchState::Take::Alone)
                DigestAlone(std::move(item));
            else
                Begin(i, std::move(item));
        }
    }
    return m_listDone && !Busy();
}

void CLaneWorker::Begin(std::size_t i, CBatchState::Item item)
{
    Lane& lane = m_lane[i];
    lane.file[0] = File{std::move(item)};
    m_lanes.Begin(i);
    AskAhead(i);
}

CLaneWorker::Held CLaneWorker::Feed()
{
    Held held;
    for (std::size_t i = 0; i < m_lane.size(); ++i) {
        if (m_lanes.Blocks(i) == 0)
            Serve(i);
        if (m_lanes.Blocks(i) > 0)
            ++held.blocks;
        else if (m_lane[i].file[0].item.file)
            ++held.waiting;
    }
    return held;
}

void CLaneWorker::Serve(std::size_t i)
{
    Lane& lane = m_lane[i];
    for (;;) {
        EndFolded(i);
        File& file = lane.file[0];
        if (!file.item.file)
            return;
        Piece* next = AskedFor(lane, file);
        if (!next || !m_reads.Done(next->read)) {
            AskAhead(i);
            return;
        }
        if (!Take(i, *next))
            continue;  // the file failed; the next one, if any, has moved up
        if (m_lanes.Blocks(i) > 0) {
            AskAhead(i);
            return;
        }
        // A last piece of less than a block: its file ends at once.
    }
}

void CLaneWorker::EndFolded(std::size_t i)
{
    for (Piece& piece : m_lane[i].piece) {
        if (piece.use != Piece::Use::Folding)
            continue;
        // Its whole blocks are folded; the bytes after them end the file.
        piece.use = Piece::Use::Free;
        if (!piece.last)
            continue;
        const std::uint32_t tail = piece.read.got % 64;
        unsigned char digest[16];
        m_lanes.End(i, piece.buffer + (piece.read.got - tail), tail, digest);
        char text[32];
        DigestToHex(digest, text);
        FileDigest done;
        done.text.assign(text, sizeof text);
        End(i, done);
    }
}

CLaneWorker::Piece* CLaneWorker::AskedFor(Lane& lane, const File& file)
{
    for (Piece& piece : lane.piece) {
        if (piece.use == Piece::Use::Asked && piece.of == file.item.index)
            return &piece;
    }
    return nullptr;
}

bool CLaneWorker::Take(std::size_t i, Piece& piece)
{
    File& file = m_lane[i].file[0];
    FileDigest failed;
    if (piece.read.failed && !file.item.file->CheckIsFile(&failed.openError)) {
        // A device or a pipe, found out at its first read: it never opened.
        piece.use = Piece::Use::Free;
        End(i, failed);
        return false;
    }
    const std::uint64_t last = ChunksTo(file.item.length) + 1;  // the chunk that finds the end
    Count(file, std::min(ChunksTo(piece.from + kPiece), last));
    // Only the file's last piece may be short: a read that ends early found
    // an end where the file's length did not put it, and failed.
    if (piece.read.failed || (!piece.last && piece.read.got != kPiece)) {
        piece.use = Piece::Use::Free;
        failed.readEnd = FileReadEnd::Failed;
        End(i, failed);
        return false;
    }
    if (piece.last)
        Count(file, last);
    piece.use = Piece::Use::Folding;
    const std::uint32_t blocks = piece.read.got / 64;
    if (blocks > 0)
        m_lanes.Give(i, piece.buffer, blocks);
    return true;
}

void CLaneWorker::Count(File& file, std::uint64_t upTo)
{
    if (upTo > file.counted) {
        m_batch.Count((upTo - file.counted) * kChunk);
        file.counted = upTo;
    }
}

void CLaneWorker::AskAhead(std::size_t i)
{
    Lane& lane = m_lane[i];
    File& current = lane.file[0];
    const auto free = std::find_if(std::begin(lane.piece), std::end(lane.piece),
                                   [](const Piece& piece) { return piece.use == Piece::Use::Free; });
    if (!current.item.file || free == std::end(lane.piece))
        return;
    if (!current.lastAsked) {
        // One read of a file at a time, so that its pieces come in order.
        if (!AskedFor(lane, current))
            Ask(lane, 0, *free);
        return;
    }
    if (lane.file[1].item.file || m_listDone)
        return;
    CBatchState::Item item;
    switch (m_batch.Next(item, false)) {
    case CBatchState::Take::File:
        lane.file[1] = File{std::move(item)};
        Ask(lane, 1, *free);
        break;
    case CBatchState::Take::Done:
        m_listDone = true;
        break;
    case CBatchState::Take::Alone:  // never while a file of the batch is open
        DigestAlone(std::move(item));
        break;
    case CBatchState::Take::Wait:
        break;
    }
}

void CLaneWorker::Ask(Lane& lane, std::size_t which, Piece& piece)
{
    File& file = lane.file[which];
    const std::uint64_t length = file.item.length;
    const bool last = length - std::min(file.asked, length) <= kPiece;
    CFile* const source = file.item.file.get();
    piece.use = Piece::Use::Asked;
    piece.of = file.item.index;
    piece.from = file.asked;
    piece.last = last;
    piece.read.read = [source, last](unsigned char* buffer, std::uint32_t count, std::uint32_t& got) {
        return ReadPiece(*source, buffer, count, last, got);
    };
    piece.read.buffer = piece.buffer;
    piece.read.count = kPiece;
    // A file of one piece is read here: its read costs less than a reader's
    // wake, and a batch of small files then starts no reader at all.
    const bool whole = file.asked == 0 && last;
    file.asked += kPiece;
    file.lastAsked = last;
    if (whole)
        m_reads.ReadNow(piece.read);
    else
        m_reads.Ask(piece.read);
}

void CLaneWorker::End(std::size_t i, const FileDigest& digest)
{
    Lane& lane = m_lane[i];
    m_batch.Finished(std::move(lane.file[0].item), digest);
    lane.file[0] = std::move(lane.file[1]);
    lane.file[1] = File{};
    if (lane.file[0].item.file)
        m_lanes.Begin(i);
}

std::size_t CLaneWorker::WaitForReads(std::size_t wanted, std::chrono::milliseconds timeout)
{
    // Only a read of a lane's current file lets the lane go on.
    m_waitingFor.clear();
    for (Lane& lane : m_lane) {
        if (lane.file[0].item.file) {
            if (Piece* piece = AskedFor(lane, lane.file[0]))
                m_waitingFor.push_back(&piece->read);
        }
    }
    return m_reads.WaitFor(m_waitingFor.data(), m_waitingFor.size(), wanted, timeout);
}

void CLaneWorker::DigestAlone(CBatchState::Item item)
{
    // The file's own path, exactly as one stream takes it: read ahead, each
    // chunk through the chunk reader.
    const FileDigest digest = ComputeFileDigest(m_batch.PathAt(item.index).c_str());
    if (digest.readEnd == FileReadEnd::Stopped)
        m_batch.Dropped(std::move(item));
    else
        m_batch.Finished(std::move(item), digest);
}

void CLaneWorker::WithdrawAll()
{
    for (Lane& lane : m_lane) {
        for (Piece& piece : lane.piece) {
            if (piece.use == Piece::Use::Asked)
                m_reads.Withdraw(piece.read);
            piece.use = Piece::Use::Free;
        }
    }
}

void CLaneWorker::DropAll()
{
    // No read may still write into a file once it goes back to be closed.
    WithdrawAll();
    for (Lane& lane : m_lane) {
        for (File& file : lane.file) {
            if (file.item.file)
                m_batch.Dropped(std::move(file.item));
            file = File{};
        }
    }
}
