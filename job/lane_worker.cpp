// CLaneWorker.
#include "job/lane_worker.h"

#include <algorithm>
#include <cstring>

#include "digest/hex.h"

namespace {

constexpr std::uint64_t kChunk = 1024;

std::uint64_t ChunksTo(std::uint64_t bytes)
{
    return (bytes + kChunk - 1) / kChunk;
}

}  // namespace

std::size_t CLaneWorker::Lanes()
{
    return CMd5Lanes().LaneCount();
}

CLaneWorker::CLaneWorker(CBatchState& batch)
    : m_batch(batch), m_buffers(new unsigned char[std::size_t{kPiece} * m_lanes.LaneCount()]),
      m_lane(m_lanes.LaneCount())
{
    for (std::size_t i = 0; i < m_lane.size(); ++i)
        m_lane[i].buffer = m_buffers.get() + i * kPiece;
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
        Feed();
        m_lanes.Run();
    }
}

bool CLaneWorker::Busy() const
{
    return std::any_of(m_lane.begin(), m_lane.end(), [](const Lane& lane) { return lane.item.file != nullptr; });
}

bool CLaneWorker::Fill()
{
    for (std::size_t i = 0; i < m_lane.size() && !m_listDone; ++i) {
        Lane& lane = m_lane[i];
        while (!lane.item.file && !m_listDone) {
            CBatchState::Item item;
            const CBatchState::Take take = m_batch.Next(item, !Busy());
            if (take == CBatchState::Take::Wait)
                return false;
            if (take == CBatchState::Take::Done) {
                m_listDone = true;
                break;
            }
            if (take == CBatchState::Take::Alone) {
                DigestAlone(std::move(item));
                continue;
            }
            lane.item = std::move(item);
            lane.offset = lane.counted = 0;
            lane.given = lane.kept = 0;
            m_lanes.Begin(i);
        }
    }
    return m_listDone && !Busy();
}

void CLaneWorker::Feed()
{
    for (std::size_t i = 0; i < m_lane.size(); ++i) {
        if (m_lane[i].item.file && m_lanes.Blocks(i) == 0)
            Read(i);
    }
}

void CLaneWorker::Read(std::size_t i)
{
    Lane& lane = m_lane[i];
    // The bytes after the last whole block wait at the buffer's start.
    if (lane.given > 0)
        std::memmove(lane.buffer, lane.buffer + lane.given, lane.kept);
    lane.given = 0;
    const std::uint32_t want = kPiece - lane.kept;

    // Counted before the read, as the one stream counts: its chunks up to the
    // end of this read, and no further than its last, the one that finds the
    // end.
    const std::uint64_t last = ChunksTo(lane.item.length) + 1;
    const std::uint64_t upTo = std::min(ChunksTo(lane.offset + want), last);
    if (upTo > lane.counted) {
        m_batch.Count((upTo - lane.counted) * kChunk);
        lane.counted = upTo;
    }

    std::uint32_t got = 0;
    try {
        got = lane.item.file->ReadDirect(lane.buffer + lane.kept, want);
    } catch (const CFileException&) {
        FileDigest failed;
        failed.readEnd = FileReadEnd::Failed;
        End(i, failed);
        return;
    }
    lane.offset += got;
    if (got == 0) {
        if (last > lane.counted)
            m_batch.Count((last - lane.counted) * kChunk);
        unsigned char digest[16];
        m_lanes.End(i, lane.buffer, lane.kept, digest);
        char text[32];
        DigestToHex(digest, text);
        FileDigest done;
        done.text.assign(text, sizeof text);
        End(i, done);
        return;
    }
    const std::uint32_t held = lane.kept + got;
    const std::uint32_t blocks = held / 64;
    lane.given = blocks * 64;
    lane.kept = held % 64;
    if (blocks > 0)
        m_lanes.Give(i, lane.buffer, blocks);
}

void CLaneWorker::End(std::size_t i, const FileDigest& digest)
{
    m_batch.Finished(std::move(m_lane[i].item), digest);
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

void CLaneWorker::DropAll()
{
    for (Lane& lane : m_lane) {
        if (lane.item.file)
            m_batch.Dropped(std::move(lane.item));
    }
}
