// The engine tests' ReadChunkWithProgress.
#include "stand_in_reader.h"

#include "digest/chunk_reader.h"
#include "platform/file.h"

std::atomic<int> g_chunkReads{0};

std::uint32_t ReadChunkWithProgress(void* buffer, std::uint32_t length, CFile& file)
{
    ++g_chunkReads;
    return file.Read(buffer, length);
}
