// The file loop on scripted files, ComputeFileDigest on real ones, and
// DigestToHex. The chunk reader is the engine tests' stand-in, which passes
// each read to the file.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <tuple>

#include "digest/chunk_reader.h"
#include "digest/file_digest.h"
#include "stand_in_reader.h"
#include "support/test_files.h"

namespace {

TEST(DigestToHex, WritesLowercaseDigitsHighHalfFirst)
{
    unsigned char digest[16];
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<unsigned char>(i * 17);  // 00 11 22 ... ff
    digest[0] = 0x0a;
    digest[1] = 0xf0;
    char text[33];
    text[32] = '#';
    DigestToHex(digest, text);
    EXPECT_EQ(std::string(text, 32), "0af02233445566778899aabbccddeeff");
    EXPECT_EQ(text[32], '#') << "no terminator is written";
}

class FileDigestTest : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(FileDigestTest, EmptyFileGivesTheDigestOfTheEmptyMessage)
{
    const FileDigest digest = ComputeFileDigest(dir.Write("e.txt", "").c_str());
    EXPECT_EQ(digest.text, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(digest.openError, FileOpenError::None);
    EXPECT_EQ(digest.readEnd, FileReadEnd::Complete);
}

TEST_F(FileDigestTest, ContentGivesItsDigestAndTheFileIsClosedAfterwards)
{
    const std::string content = PatternBytes(300000);
    const std::string path = dir.Write("x.bin", content);
    EXPECT_EQ(ComputeFileDigest(path.c_str()).text, Md5Hex(content));
    ExclusiveHold hold(path);
    EXPECT_TRUE(hold.IsHeld()) << "the digest left the file open";
}

struct OpenFailureCase {
    const char* what;
    FileOpenError expected;
};

std::ostream& operator<<(std::ostream& out, const OpenFailureCase& c)
{
    return out << c.what;
}

class OpenFailure : public FileDigestTest, public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailure, GivesNoDigestAndTheReason)
{
    const std::string present = dir.Write("present.bin", "data");
    const std::string what = GetParam().what;
    std::string path;
    std::unique_ptr<ExclusiveHold> hold;
    if (what == "missing") {
        path = dir.PathOf("missing.bin");
    } else if (what == "missing folder") {
        path = dir.PathOf("nowhere") + "/x.bin";
    } else if (what == "rejected name") {
#ifdef _WIN32
        path = dir.PathOf("what?.bin");  // no file name holds a '?'
#else
        path = dir.PathOf(std::string(300, 'n'));  // longer than a name may be
#endif
    } else if (what == "folder") {
        path = dir.MakeDir("folder");
    } else if (what == "held elsewhere") {
        path = present;
        hold = std::make_unique<ExclusiveHold>(path);
        ASSERT_TRUE(hold->IsHeld());
    }
    const int readsBefore = g_chunkReads;
    const FileDigest digest = ComputeFileDigest(path.c_str());
    EXPECT_EQ(digest.text, "");
    EXPECT_EQ(digest.openError, GetParam().expected);
    EXPECT_EQ(digest.readEnd, FileReadEnd::Complete);
    EXPECT_EQ(g_chunkReads, readsBefore) << "a file that did not open is never read";
}

INSTANTIATE_TEST_SUITE_P(FileDigest, OpenFailure,
                         testing::Values(OpenFailureCase{"missing", FileOpenError::NotFound},
                                         OpenFailureCase{"missing folder", FileOpenError::NotFound},
                                         OpenFailureCase{"rejected name", FileOpenError::Other},
                                         OpenFailureCase{"folder", FileOpenError::NotAFile},
                                         OpenFailureCase{"held elsewhere", FileOpenError::Locked}));

#ifdef __linux__
TEST_F(FileDigestTest, ReadFailureAfterTheOpenGivesNoDigest)
{
    // /proc/self/mem opens as a regular file, but reading at offset 0 fails:
    // nothing is mapped there.
    const FileDigest digest = ComputeFileDigest("/proc/self/mem");
    ASSERT_EQ(digest.openError, FileOpenError::None);
    EXPECT_EQ(digest.readEnd, FileReadEnd::Failed);
    EXPECT_EQ(digest.text, "");
}
#endif

// A file object whose reads come from memory in pieces of a given size, and
// that can end on a chosen call with a failed read or a stop.
class ScriptedFile : public CFile {
public:
    ScriptedFile(std::string content, std::uint32_t piece, int endOnCall = 0, FileReadEnd end = FileReadEnd::Failed)
        : m_content(std::move(content)), m_piece(piece), m_endOnCall(endOnCall), m_end(end)
    {
    }

    std::uint32_t Read(void* buffer, std::uint32_t count) override
    {
        if (++calls == m_endOnCall) {
            if (m_end == FileReadEnd::Stopped)
                throw CReadingStopped();
            throw CFileException();
        }
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>({count, m_piece, m_content.size() - m_at}));
        std::memcpy(buffer, m_content.data() + m_at, n);
        m_at += n;
        return n;
    }

    int calls = 0;

private:
    std::string m_content;
    std::uint32_t m_piece;
    int m_endOnCall;
    FileReadEnd m_end;
    std::size_t m_at = 0;
};

TEST(DigestFile, ShortReadsDoNotEndTheLoopOnlyZeroDoes)
{
    const std::string content = PatternBytes(4097);
    ScriptedFile file(content, 100);
    unsigned char digest[16] = {};
    EXPECT_EQ(CMD5Checksum::DigestFile(file, digest), FileReadEnd::Complete);
    EXPECT_EQ(HexOf(digest), "115dc8519508f9fa0a3c1e30af33fbe1");
    EXPECT_EQ(file.calls, 42);  // 41 reads of up to 100 bytes and the one that returns 0
}

TEST(DigestFile, AnEmptyFileTakesOneCall)
{
    ScriptedFile file("", 1024);
    unsigned char digest[16] = {};
    EXPECT_EQ(CMD5Checksum::DigestFile(file, digest), FileReadEnd::Complete);
    EXPECT_EQ(HexOf(digest), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(file.calls, 1);
}

class CutShort : public testing::TestWithParam<std::tuple<FileReadEnd, int>> {};

TEST_P(CutShort, SaysWhyLeavesTheCallersAreaUntouchedAndThrowsNothing)
{
    const auto [end, call] = GetParam();
    ScriptedFile file(PatternBytes(5000), 1024, call, end);
    unsigned char digest[16];
    std::memset(digest, 0xAB, sizeof digest);
    FileReadEnd got = FileReadEnd::Complete;
    EXPECT_NO_THROW(got = CMD5Checksum::DigestFile(file, digest));
    EXPECT_EQ(got, end);
    EXPECT_EQ(HexOf(digest), "abababababababababababababababab");
    EXPECT_EQ(file.calls, call) << "reading stops there";
}

INSTANTIATE_TEST_SUITE_P(DigestFile, CutShort,
                         testing::Combine(testing::Values(FileReadEnd::Failed, FileReadEnd::Stopped),
                                          testing::Values(1, 2, 6)));

}  // namespace
