// CMD5Checksum: RFC 1321's vectors, independence from how the input is cut,
// the length carry past 512 MiB, and the file loop's failure handling.
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "digest/md5.h"
#include "job/chunk_reader.h"
#include "platform/file.h"
#include "support/recording_job.h"
#include "support/test_files.h"

namespace {

std::string HexOf(const unsigned char digest[16])
{
    char text[32];
    DigestToHex(digest, text);
    return std::string(text, sizeof text);
}

// Digests data fed in pieces of at most piece bytes (0: all at once).
std::string DigestInPieces(const std::string& data, std::size_t piece)
{
    CMD5Checksum md5;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t at = 0;
    do {
        const std::size_t n = piece == 0 ? data.size() : std::min(piece, data.size() - at);
        md5.Update(bytes + at, static_cast<std::uint32_t>(n));
        at += n;
    } while (at < data.size());
    unsigned char digest[16];
    md5.Final(digest);
    return HexOf(digest);
}

struct Vector {
    const char* message;
    const char* digest;
};

std::ostream& operator<<(std::ostream& out, const Vector& v)
{
    return out << '"' << v.message << '"';
}

class Rfc1321Suite : public testing::TestWithParam<Vector> {};

TEST_P(Rfc1321Suite, GivesTheListedDigest)
{
    EXPECT_EQ(DigestInPieces(GetParam().message, 0), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Md5, Rfc1321Suite,
    testing::Values(
        Vector{"", "d41d8cd98f00b204e9800998ecf8427e"}, Vector{"a", "0cc175b9c0f1b6a831c399e269772661"},
        Vector{"abc", "900150983cd24fb0d6963f7d28e17f72"},
        Vector{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        Vector{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        Vector{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
               "d174ab98d277d9f5a5611c2c9f419d9f"},
        Vector{"1234567890" "1234567890" "1234567890" "1234567890" "1234567890" "1234567890" "1234567890"
               "1234567890",
               "57edf4a22be3c955ac49da2e2107b67a"}));

// Reference digests of PatternBytes(length), from an independent implementation.
// The lengths sit on both sides of the padding and block boundaries.
struct PatternCase {
    std::size_t length;
    const char* digest;
};

std::ostream& operator<<(std::ostream& out, const PatternCase& c)
{
    return out << c.length << " bytes";
}

const PatternCase kPatternCases[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e"},    {1, "8666683506aacd900bbd5a74ac4edf68"},
    {55, "030157be00035d098644cfc70e5deaea"},   {56, "8e758df1ec8681fc06daa64253668f13"},
    {57, "7cc4dbe44c422ac3e98466e4ff92bb95"},   {63, "4a805576b511a836fefee199fb797ae5"},
    {64, "7a0cbe2eab91195c56eae7f83588d243"},   {65, "940b4e909b09d4828b0eebe642613192"},
    {119, "c78b1987e67f5f382adb7de5fed3e55e"},  {120, "4bebaf2293f8b2e434f1a4f024eea593"},
    {1023, "5044b433fe3d9d5345f896f4c75964fe"}, {1024, "84d769de0d4a5450f9ca6ca2eab3234a"},
    {1025, "bf8516a41091eed47cb5c49723ae5be9"}, {4097, "115dc8519508f9fa0a3c1e30af33fbe1"},
};

class CutIndependence : public testing::TestWithParam<std::tuple<PatternCase, std::size_t>> {};

TEST_P(CutIndependence, EveryCutGivesTheReferenceDigest)
{
    const auto& [pattern, piece] = GetParam();
    EXPECT_EQ(DigestInPieces(PatternBytes(pattern.length), piece), pattern.digest)
        << pattern.length << " bytes in pieces of " << piece;
}

INSTANTIATE_TEST_SUITE_P(Md5, CutIndependence,
                         testing::Combine(testing::ValuesIn(kPatternCases),
                                          testing::Values(0, 1, 63, 64, 65, 1024)));

TEST(Md5, UpdatesOfLengthZeroChangeNothing)
{
    CMD5Checksum md5;
    const auto* abc = reinterpret_cast<const unsigned char*>("abc");
    md5.Update(nullptr, 0);
    md5.Update(abc, 1);
    md5.Update(abc + 1, 0);
    md5.Update(abc + 1, 2);
    md5.Update(abc + 3, 0);
    unsigned char digest[16];
    md5.Final(digest);
    EXPECT_EQ(HexOf(digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, BitCountCarriesPast512MiB)
{
    // 2^29 bytes is 2^32 bits: the low word of the count wraps and carries.
    const std::size_t total = (std::size_t{1} << 29) + 5;
    const std::string block = PatternBytes(251 * 4096);  // whole periods, so pieces join seamlessly
    CMD5Checksum md5;
    for (std::size_t fed = 0; fed < total;) {
        const std::size_t n = std::min(block.size(), total - fed);
        md5.Update(reinterpret_cast<const unsigned char*>(block.data()), static_cast<std::uint32_t>(n));
        fed += n;
    }
    unsigned char digest[16];
    md5.Final(digest);
    EXPECT_EQ(HexOf(digest), "0916187d71abe76128907c402e9dec28");
}

// A file object whose reads come from memory in pieces of a given size, and
// that can fail on a chosen call.
class ScriptedFile : public CFile {
public:
    ScriptedFile(std::string content, std::uint32_t piece, int failOnCall = 0)
        : m_content(std::move(content)), m_piece(piece), m_failOnCall(failOnCall)
    {
    }

    std::uint32_t Read(void* buffer, std::uint32_t count) override
    {
        if (++calls == m_failOnCall)
            throw CFileException();
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>({count, m_piece, m_content.size() - m_at}));
        std::memcpy(buffer, m_content.data() + m_at, n);
        m_at += n;
        return n;
    }

    int calls = 0;

private:
    std::string m_content;
    std::uint32_t m_piece;
    int m_failOnCall;
    std::size_t m_at = 0;
};

TEST(DigestFile, ShortReadsDoNotEndTheLoopOnlyZeroDoes)
{
    RecordingJob job;
    const std::string content = PatternBytes(4097);
    ScriptedFile file(content, 100);
    unsigned char digest[16] = {};
    EXPECT_TRUE(CMD5Checksum::DigestFile(file, digest));
    EXPECT_EQ(HexOf(digest), "115dc8519508f9fa0a3c1e30af33fbe1");
    EXPECT_EQ(file.calls, 42);  // 41 reads of up to 100 bytes and the one that returns 0
}

TEST(DigestFile, AnEmptyFileTakesOneCall)
{
    RecordingJob job;
    ScriptedFile file("", 1024);
    unsigned char digest[16] = {};
    EXPECT_TRUE(CMD5Checksum::DigestFile(file, digest));
    EXPECT_EQ(HexOf(digest), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(file.calls, 1);
}

class FailingRead : public testing::TestWithParam<int> {};

TEST_P(FailingRead, LeavesTheCallersAreaUntouchedAndThrowsNothing)
{
    RecordingJob job;
    ScriptedFile file(PatternBytes(5000), 1024, GetParam());
    unsigned char digest[16];
    std::memset(digest, 0xAB, sizeof digest);
    bool complete = true;
    EXPECT_NO_THROW(complete = CMD5Checksum::DigestFile(file, digest));
    EXPECT_FALSE(complete);
    EXPECT_EQ(HexOf(digest), "abababababababababababababababab");
    EXPECT_EQ(file.calls, GetParam()) << "reading stops at the failure";
}

INSTANTIATE_TEST_SUITE_P(DigestFile, FailingRead, testing::Values(1, 2, 6));

}  // namespace
