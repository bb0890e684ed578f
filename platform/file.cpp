// CFile: the system-neutral part, the blocks behind Read.
#include "platform/file.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/read_ahead.h"
#include "platform/read_pool.h"

namespace {

// Large enough that the cost of a system call disappears behind the copy and
// the digest; small enough to stay in the cache. A file of one block or less
// gets a block of its own size (rounded up to a page) and no read-ahead, so a
// batch of small files stays cheap; only a larger one is read ahead.
constexpr std::uint32_t kMaxBlock = 256u << 10;
constexpr std::uint32_t kMinBlock = 4096;
// Blocks of a larger file: the one being handed out, and two read ahead. More
// did not make a cold file faster here, and the job's working set stays
// within 2 MiB of the idle program's (the worker thread takes 1 MiB of it
// under Wine, and the reader another).
constexpr std::size_t kReadAheadBlocks = 3;

std::uint32_t BlockSizeFor(std::uint64_t length)
{
    if (length >= kMaxBlock)
        return kMaxBlock;
    const auto rounded = static_cast<std::uint32_t>((length + kMinBlock - 1) / kMinBlock * kMinBlock);
    return std::max(rounded, kMinBlock);
}

std::atomic<CFile::ReadFault> g_readFault{nullptr};
std::atomic<CFile::CloseFault> g_closeFault{nullptr};

}  // namespace

void CFile::SetReadFault(ReadFault fault)
{
    g_readFault = fault;
}

void CFile::SetCloseFault(CloseFault fault)
{
    g_closeFault = fault;
}

CFile::CFile() = default;

CFile::~CFile()
{
    Close();
}

bool CFile::Open(const char* path, FileOpenError* error)
{
    if (!OpenUnchecked(path, error))
        return false;
    if (CheckIsFile(error))
        return true;
    Close();
    return false;
}

bool CFile::OpenUnchecked(const char* path, FileOpenError* error)
{
    Close();
    FileOpenError why = FileOpenError::None;
    m_handle = OpenUncheckedNative(path, why);
    if (error)
        *error = why;
    return IsOpen();
}

bool CFile::CheckIsFile(FileOpenError* error)
{
    if (m_kind == Kind::Unknown && IsOpen())
        m_kind = IsFileNative(m_handle) ? Kind::File : Kind::NotAFile;
    const bool file = IsOpen() && m_kind == Kind::File;
    if (error)
        *error = file ? FileOpenError::None : FileOpenError::NotAFile;
    return file;
}

std::uint64_t CFile::GetLength()
{
    std::uint64_t length = 0;
    if (!IsOpen() || !LengthNative(m_handle, length))
        throw CFileException();
    if (!m_measured) {
        m_length = length;
        m_lengthTaken = true;
    }
    return length;
}

std::uint32_t CFile::Read(void* buffer, std::uint32_t count)
{
    if (!IsOpen() || m_failed)
        throw CFileException();
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t placed = 0;
    while (placed < count) {
        if (m_blockPos == m_blockEnd && !NextBlock())
            break;
        const std::uint32_t n = std::min(count - placed, m_blockEnd - m_blockPos);
        std::memcpy(out + placed, m_data + m_blockPos, n);
        m_blockPos += n;
        placed += n;
    }
    return placed;
}

bool CFile::TakeMeasure()
{
    if (m_measured)
        return true;
    // Taken at the first read rather than at the open: a file that is only
    // measured (the size pass) asks the system for its length once. Without
    // them the reads could not be checked against the file's length and its
    // time of last change, so a file that cannot say them does not read.
    if (!IsOpen() || m_kind != Kind::File || (!m_lengthTaken && !LengthNative(m_handle, m_length)) ||
        !ChangeTimesNative(m_handle, m_times))
        return false;
    m_measured = true;
    return true;
}

bool CFile::ReadPiece(unsigned char* buffer, std::uint32_t count, std::uint32_t& got) noexcept
{
    got = 0;
    if (!CheckIsFile() || !TakeMeasure())
        return false;
    while (got < count) {
        std::uint32_t n = 0;
        if (!ReadFromSystem(buffer + got, count - got, n))
            return false;
        if (n == 0)
            return true;  // the end, where the length puts it
        got += n;
    }
    if (m_offset < m_length)
        return true;
    // Only a read at the end finds out whether the file ends there.
    unsigned char past[64];
    std::uint32_t n = 0;
    return ReadFromSystem(past, sizeof past, n) && n == 0;
}

bool CFile::NextBlock()
{
    if (m_lastBlock)
        return false;
    if (!m_block && !m_readAhead) {
        if (!TakeMeasure())
            throw CFileException();
        m_blockSize = BlockSizeFor(m_length);
        if (m_length > kMaxBlock) {
            m_readAhead = std::make_unique<CReadAhead>(CReadPool::Shared(), m_blockSize, kReadAheadBlocks);
            m_readAhead->Add([this](unsigned char* block, std::uint32_t count,
                                    std::uint32_t& got) { return ReadPiece(block, count, got); },
                             m_length, 0);
        } else {
            m_block.reset(new unsigned char[m_blockSize]);
        }
    }

    m_blockPos = 0;
    m_blockEnd = 0;
    if (m_readAhead) {
        const CReadAhead::Piece next = m_readAhead->Next();
        m_failed = next.failed;
        m_data = next.data;
        m_blockEnd = next.size;
        m_lastBlock = next.last;
    } else {
        m_data = m_block.get();
        m_failed = !ReadPiece(m_block.get(), m_blockSize, m_blockEnd);
        m_lastBlock = true;
    }
    if (m_failed)
        throw CFileException();
    return m_blockEnd > 0;
}

bool CFile::ReadFromSystem(unsigned char* buffer, std::uint32_t count, std::uint32_t& got)
{
    const ReadFault fault = g_readFault;
    if ((fault && fault(m_offset, m_length)) || !ReadNative(m_handle, buffer, count, got))
        return false;
    m_offset += got;
    // Bytes past the length, or an end before it: the file changed under us.
    if (m_offset > m_length || (got == 0 && m_offset != m_length))
        return false;
    if (got > 0)
        return true;
    // At the end: written in place, same length, while it was read?
    ChangeTimes now;
    return ChangeTimesNative(m_handle, now) && now == m_times;
}

bool CFile::MeasureFile(const char* path, std::uint64_t& length, FileOpenError* error)
{
    FileOpenError why = FileOpenError::None;
    const NativeHandle handle = OpenUncheckedNative(path, why);
    if (error)
        *error = why;
    if (handle == kNoHandle)
        return false;
    const bool measured = LengthByNameNative(handle, path, length);
    const CloseFault fault = g_closeFault;
    const bool closed = CloseNative(handle) && !(fault && fault());
    return measured && closed;
}

bool CFile::Close()
{
    // The read-ahead first: its thread may be reading the handle.
    m_readAhead.reset();
    m_block.reset();
    bool closed = true;
    if (IsOpen()) {
        const CloseFault fault = g_closeFault;
        closed = CloseNative(m_handle) && !(fault && fault());
        m_handle = kNoHandle;
    }
    m_kind = Kind::Unknown;
    m_measured = false;
    m_lengthTaken = false;
    m_length = 0;
    m_times = ChangeTimes();
    m_data = nullptr;
    m_blockPos = m_blockEnd = 0;
    m_lastBlock = false;
    m_failed = false;
    m_offset = 0;
    return closed;
}
