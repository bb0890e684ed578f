// CFile: the system-neutral part, the block buffer behind Read.
#include "platform/file.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// Large enough that the cost of a system call disappears behind the copy and
// the digest; small enough to stay in the cache and to leave the program's
// working set during a job within a few hundred KiB of its idle one. Small
// files get a block of their own size (rounded up to a page), so a batch of
// small files stays cheap.
constexpr std::uint32_t kMaxBlock = 256u << 10;
constexpr std::uint32_t kMinBlock = 4096;

std::uint32_t BlockSizeFor(std::uint64_t length)
{
    if (length >= kMaxBlock)
        return kMaxBlock;
    const auto rounded = static_cast<std::uint32_t>((length + kMinBlock - 1) / kMinBlock * kMinBlock);
    return std::max(rounded, kMinBlock);
}

std::atomic<CFile::ReadFault> g_readFault{nullptr};

}  // namespace

void CFile::SetReadFault(ReadFault fault)
{
    g_readFault = fault;
}

CFile::~CFile()
{
    Close();
}

bool CFile::Open(const char* path, FileOpenError* error)
{
    Close();
    FileOpenError why = FileOpenError::None;
    m_handle = OpenNative(path, why);
    if (error)
        *error = why;
    return IsOpen();
}

std::uint64_t CFile::GetLength()
{
    std::uint64_t length = 0;
    if (!IsOpen() || !LengthNative(m_handle, length))
        throw CFileException();
    return length;
}

std::uint32_t CFile::Read(void* buffer, std::uint32_t count)
{
    if (!IsOpen())
        throw CFileException();
    if (!m_block) {
        std::uint64_t length = 0;
        m_blockSize = BlockSizeFor(LengthNative(m_handle, length) ? length : kMaxBlock);
        m_block.reset(new unsigned char[m_blockSize]);
    }

    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t placed = 0;
    while (placed < count) {
        if (m_blockPos == m_blockEnd) {
            // A request as large as the block goes straight to the caller's area.
            if (count - placed >= m_blockSize) {
                const std::uint32_t direct = ReadFromSystem(out + placed, count - placed);
                placed += direct;
                if (direct == 0)
                    break;
                continue;
            }
            if (!Refill())
                break;
        }
        const std::uint32_t n = std::min(count - placed, m_blockEnd - m_blockPos);
        std::memcpy(out + placed, m_block.get() + m_blockPos, n);
        m_blockPos += n;
        placed += n;
    }
    return placed;
}

bool CFile::Refill()
{
    m_blockEnd = ReadFromSystem(m_block.get(), m_blockSize);
    m_blockPos = 0;
    return m_blockEnd > 0;
}

std::uint32_t CFile::ReadFromSystem(void* buffer, std::uint32_t count)
{
    const ReadFault fault = g_readFault;
    std::uint32_t got = 0;
    if ((fault && fault(m_offset)) || !ReadNative(m_handle, buffer, count, got))
        throw CFileException();
    m_offset += got;
    return got;
}

void CFile::Close()
{
    if (IsOpen()) {
        CloseNative(m_handle);
        m_handle = kNoHandle;
    }
    m_blockPos = m_blockEnd = 0;
    m_offset = 0;
}
