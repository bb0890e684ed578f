// The file loop: an open file through the job's chunk reader into the engine;
// ComputeFileDigest and DigestToHex around it.
//
// The loop is the engine's one way into the job: it reads through the chunk
// reader, which counts every chunk and moves the bar.
#include "digest/file_digest.h"

#include "job/chunk_reader.h"

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
    } catch (const CJobStopped&) {
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

void DigestToHex(const unsigned char digest[16], char text[32])
{
    static const char kDigits[] = "0123456789abcdef";
    for (int k = 0; k < 16; ++k) {
        text[2 * k] = kDigits[digest[k] >> 4];
        text[2 * k + 1] = kDigits[digest[k] & 0x0F];
    }
}
