// CMD5Checksum: the MD5 message digest of RFC 1321 over input given in pieces.
//
// For every input length and every way of cutting the input, the 16 bytes that
// Final writes are exactly RFC 1321's. Byte order is explicit throughout, so the
// result does not depend on the host.
#pragma once

#include <cstdint>

class CFile;

// How the reading of a file ended.
enum class FileReadEnd {
    Complete,  // read to its end
    Failed,    // a read failed
    Stopped,   // the job was asked to stop
};

class CMD5Checksum {
public:
    CMD5Checksum();
    virtual ~CMD5Checksum() = default;

    // Absorbs length bytes; any length, 0 included.
    void Update(const unsigned char* input, std::uint32_t length);

    // Pads, appends the length and writes the 16 digest bytes. The object is
    // not used afterwards.
    void Final(unsigned char out[16]);

    // Digests the whole of an open file, read through the chunk reader
    // (chunk_reader.h) in pieces of 1024 bytes, into digest, and says how its
    // reading ended. Unless it was Complete, digest stays exactly as the
    // caller filled it. Nothing is thrown. Defined beside ComputeFileDigest,
    // its one caller.
    static FileReadEnd DigestFile(CFile& file, unsigned char digest[16]);

private:
    void Init();
    void Transform(const unsigned char block[64]);
    static void WordsToBytes(const std::uint32_t* in, unsigned char* out, std::uint32_t wordCount);

    unsigned char m_buffer[64];  // the not yet complete block: (m_bitCount[0] >> 3) & 63 bytes
    std::uint32_t m_bitCount[2];  // message length in bits modulo 2^64, low word first
    std::uint32_t m_state[4];     // A, B, C, D
};
