// The file loop: an open file through the chunk reader into the engine, and
// ComputeFileDigest around it.
#include "digest/file_digest.h"

#include "digest/chunk_reader.h"
#include "digest/hex.h"

namespace {

constexpr std::uint32_t kReadChunk = 1024;

}  // namespace

FileReadEnd CMD5Checksum::DigestFile(CFile& file, unsigned char digest[16])
{
    try {
        CMD5Checksum md5;
        unsigned char chunk[kReadChunk];
        for (;;) {
            const auto got = static_cast<std::int32_t>(ReadChunkWithProgress(chunk, kReadChunk, file));
            if (got <= 0)
                break;
            md5.Update(chunk, static_cast<std::uint32_t>(got));
        }
        md5.Final(digest);
        return FileReadEnd::Complete;
    } catch (const CReadingStopped&) {
        return FileReadEnd::Stopped;
    } catch (...) {
        return FileReadEnd::Failed;
    }
}

FileDigest ComputeFileDigest(const char* path)
{
    FileDigest result;
    CFile file;
    if (!file.Open(path, &result.openError))
        return result;

    unsigned char digest[16] = {};
    result.readEnd = CMD5Checksum::DigestFile(file, digest);
    if (result.readEnd == FileReadEnd::Complete) {
        char text[32] = {};
        DigestToHex(digest, text);
        result.text.assign(text, sizeof text);
    }
    file.Close();
    return result;
}
