// CLaneWorker.
#include "job/lane_worker.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "digest/hex.h"

namespace {

constexpr std::uint64_t kChunk = 1024;
// Pieces a lane reads ahead into: one folded, one read.
constexpr std::size_t kPiecesALane = 2;

std::uint64_t ChunksTo(std::uint64_t bytes)
{
    return (bytes + kChunk - 1) / kChunk;
}

}  // namespace

std::size_t CLaneWorker::Lanes()
{
    return CMd5Lanes().LaneCount();
}

CLaneWorker::CLaneWorker(CBatchState& batch, CReadPool& readers) : m_batch(batch), m_lane(m_lanes.LaneCount())
{
    for (Lane& lane : m_lane)
        lane.pieces = std::make_unique<CReadAhead>(readers, kPiece, kPiecesALane);
    m_waitingFor.reserve(m_lane.size());
}

CLaneWorker::~CLaneWorker()
{
    // Every lane stops before any waits, so that no read begins meanwhile.
    StopReading();
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
        const Tally tally = Feed();
        if (tally.folding == 0) {
            if (Busy())
                WaitForPieces(1);
            continue;
        }
        // Every lane that waits has its read in flight, none of them in:
        // this waits for reads, never in a loop. A pass costs as much with
        // few lanes as with all, so the lanes wait for all of them; once
        // lanes fell out of step they would otherwise stay so, each pass
        // half full, and a cached batch took half as long again.
        if (tally.waiting > 0 && WaitForPieces(tally.waiting) > 0)
            Feed();
        m_lanes.Run();
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
    m_lane[i].file[0] = File{std::move(item)};
    m_lanes.Begin(i);
    Queue(i, 0);
}

void CLaneWorker::Queue(std::size_t i, std::size_t which)
{
    Lane& lane = m_lane[i];
    CFile* const file = lane.file[which].item.file.get();
    lane.pieces->Add([file](unsigned char* buffer, std::uint32_t count,
                            std::uint32_t& got) { return file->ReadPiece(buffer, count, got); },
                     lane.file[which].item.length, lane.file[which].item.index);
    TakeNextFile(i);
}

void CLaneWorker::TakeNextFile(std::size_t i)
{
    Lane& lane = m_lane[i];
    if (!lane.file[0].item.file || lane.file[1].item.file || m_listDone || !lane.pieces->WantsFile())
        return;
    CBatchState::Item item;
    switch (m_batch.Next(item, false)) {
    case CBatchState::Take::File:
        lane.file[1] = File{std::move(item)};
        Queue(i, 1);
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

CLaneWorker::Tally CLaneWorker::Feed()
{
    Tally tally;
    for (std::size_t i = 0; i < m_lane.size(); ++i) {
        if (m_lanes.Blocks(i) == 0)
            Serve(i);
        if (m_lanes.Blocks(i) > 0)
            ++tally.folding;
        else if (m_lane[i].file[0].item.file)
            ++tally.waiting;
    }
    return tally;
}

void CLaneWorker::Serve(std::size_t i)
{
    Lane& lane = m_lane[i];
    for (;;) {
        EndFolded(i);
        if (!lane.file[0].item.file || !lane.pieces->Ready())
            break;
        if (Take(i, lane.pieces->Next()) && m_lanes.Blocks(i) > 0)
            break;
        // A failed file, whose next one has moved up, or a last piece of
        // less than a block, whose file ends at once.
    }
    TakeNextFile(i);
}

void CLaneWorker::EndFolded(std::size_t i)
{
    Lane& lane = m_lane[i];
    if (!lane.holding)
        return;
    lane.holding = false;
    const CReadAhead::Piece& piece = lane.held;
    if (piece.last) {
        // Its whole blocks are folded; the bytes after them end the file.
        const std::uint32_t tail = piece.size % 64;
        unsigned char digest[16];
        m_lanes.End(i, piece.data + (piece.size - tail), tail, digest);
        char text[32];
        DigestToHex(digest, text);
        FileDigest done;
        done.text.assign(text, sizeof text);
        lane.pieces->Release();
        End(i, done);
        return;
    }
    lane.pieces->Release();
}

bool CLaneWorker::Take(std::size_t i, const CReadAhead::Piece& piece)
{
    Lane& lane = m_lane[i];
    File& file = lane.file[0];
    FileDigest failed;
    if (piece.failed && !file.item.file->CheckIsFile(&failed.openError)) {
        // A device or a pipe, found out at its first read: it never opened.
        lane.pieces->Release();
        End(i, failed);
        return false;
    }
    const std::uint64_t last = ChunksTo(file.item.length) + 1;  // the chunk that finds the end
    Count(file, std::min(ChunksTo(piece.offset + kPiece), last));
    if (piece.failed) {
        lane.pieces->Release();
        failed.readEnd = FileReadEnd::Failed;
        End(i, failed);
        return false;
    }
    if (piece.last)
        Count(file, last);
    lane.held = piece;
    lane.holding = true;
    const std::uint32_t blocks = piece.size / 64;
    if (blocks > 0)
        m_lanes.Give(i, piece.data, blocks);
    return true;
}

void CLaneWorker::Count(File& file, std::uint64_t upTo)
{
    if (upTo > file.counted) {
        m_batch.Count((upTo - file.counted) * kChunk);
        file.counted = upTo;
    }
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

std::size_t CLaneWorker::WaitForPieces(std::size_t wanted)
{
    // Only the pieces of lanes that hold no blocks: none of them is in yet.
    m_waitingFor.clear();
    for (std::size_t i = 0; i < m_lane.size(); ++i) {
        if (m_lane[i].file[0].item.file && m_lanes.Blocks(i) == 0)
            m_waitingFor.push_back(m_lane[i].pieces.get());
    }
    return CReadAhead::WaitFor(m_waitingFor.data(), m_waitingFor.size(), wanted, CBatchState::kStopCheck);
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

void CLaneWorker::StopReading()
{
    for (Lane& lane : m_lane) {
        if (lane.pieces)
            lane.pieces->Stop();
    }
    for (Lane& lane : m_lane)
        lane.pieces.reset();  // waits for its read in flight
}

void CLaneWorker::DropAll()
{
    // No read may still write into a file once it goes back to be closed.
    StopReading();
    for (Lane& lane : m_lane) {
        for (File& file : lane.file) {
            if (file.item.file)
                m_batch.Dropped(std::move(file.item));
            file = File{};
        }
    }
}
