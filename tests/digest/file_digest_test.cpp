// ComputeFileDigest and DigestToHex on real files.
#include <gtest/gtest.h>
#include <ostream>
#include <string>

#include "digest/file_digest.h"
#include "support/recording_job.h"
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
    RecordingJob job;  // the chunk reader reports to it
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
    const FileDigest digest = ComputeFileDigest(path.c_str());
    EXPECT_EQ(digest.text, "");
    EXPECT_EQ(digest.openError, GetParam().expected);
    EXPECT_EQ(digest.readEnd, FileReadEnd::Complete);
    EXPECT_EQ(job.m_doneBytes, 0) << "a file that did not open is never read";
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

}  // namespace
