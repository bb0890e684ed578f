// CFile: buffered reads give what direct reads would; what opens and what does not.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/test_files.h"

#include "support/other_process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

struct ReadCase {
    std::size_t size;
    std::uint32_t request;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c)
{
    return out << c.size << " bytes in reads of " << c.request;
}

class BufferedRead : public testing::TestWithParam<ReadCase> {};

TEST_P(BufferedRead, FullPiecesUntilTheEndThenZero)
{
    TempDir dir;
    const std::string content = PatternBytes(GetParam().size);
    CFile file;
    ASSERT_TRUE(file.Open(dir.Write("f", content).c_str()));
    EXPECT_EQ(file.GetLength(), content.size());

    std::string readBack;
    std::vector<char> buffer(GetParam().request);
    for (;;) {
        const std::uint32_t got = file.Read(buffer.data(), GetParam().request);
        ASSERT_LE(got, GetParam().request);
        if (got == 0)
            break;
        readBack.append(buffer.data(), got);
        if (readBack.size() < content.size()) {
            ASSERT_EQ(got, GetParam().request) << "a short read before the end";
        }
    }
    EXPECT_EQ(readBack, content);
    EXPECT_EQ(file.Read(buffer.data(), GetParam().request), 0u) << "the end stays the end";
}

INSTANTIATE_TEST_SUITE_P(File, BufferedRead,
                         testing::Values(ReadCase{0, 1024}, ReadCase{1, 1024}, ReadCase{1024, 1024},
                                         ReadCase{4097, 1024}, ReadCase{(3 << 20) + 5, 1024},
                                         ReadCase{(3 << 20) + 5, 1000}, ReadCase{(3 << 20) + 5, 3 << 20},
                                         ReadCase{100000, 1}));

// A file whose length changes while it is read: bytes past its length at the
// open, or an end before it. What was read is then no version of the file.
// (A file of one block is read to its end, and the end checked, at the first
// read: a change after that is a change after the file was read.)
struct ChangeCase {
    const char* what;
    std::size_t size;
    std::size_t changeAfter;  // bytes handed out when the file changes
    std::size_t newSize;      // its length afterwards; the same: written in place
};

std::ostream& operator<<(std::ostream& out, const ChangeCase& c)
{
    return out << c.what;
}

class ChangedUnderTheReader : public testing::TestWithParam<ChangeCase> {};

TEST_P(ChangedUnderTheReader, FailsToRead)
{
#ifdef _WIN32
    GTEST_SKIP() << "nobody else can write a file that we hold exclusively";
#else
    const ChangeCase& change = GetParam();
    TempDir dir;
    const std::string path = dir.Write("f", PatternBytes(change.size));
    // An hour old, so that a write a moment later gets another time on any
    // clock the file system keeps.
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    std::vector<char> buffer(1024);
    std::size_t handedOut = 0;
    for (; handedOut < change.changeAfter; handedOut += 1024)
        ASSERT_EQ(file.Read(buffer.data(), 1024), 1024u);
    if (change.newSize == change.size)
        std::ofstream(path, std::ios::in | std::ios::out | std::ios::binary) << "written in place";
    else
        std::filesystem::resize_file(path, change.newSize);
    EXPECT_THROW(
        while (file.Read(buffer.data(), 1024) > 0) {},
        CFileException);
#endif
}

INSTANTIATE_TEST_SUITE_P(File, ChangedUnderTheReader,
                         testing::Values(ChangeCase{"cut short with blocks in flight", 3 << 20, 1 << 20, 100 << 10},
                                         ChangeCase{"grown with blocks in flight", 3 << 20, 1 << 20, 4 << 20},
                                         ChangeCase{"written in place, read ahead", 3 << 20, 1 << 20, 3 << 20}));

// Two files read ahead side by side by the same readers give their own bytes.
TEST(File, TwoLargeFilesReadSideBySideGiveTheirOwnBytes)
{
    TempDir dir;
    const std::string first = PatternBytes((3 << 20) + 5);
    const std::string second = first.substr(7) + "x";
    CFile files[2];
    ASSERT_TRUE(files[0].Open(dir.Write("a", first).c_str()));
    ASSERT_TRUE(files[1].Open(dir.Write("b", second).c_str()));
    std::string readBack[2];
    char buffer[1024];
    for (bool more = true; more;) {
        more = false;
        for (int i = 0; i < 2; ++i) {
            const std::uint32_t got = files[i].Read(buffer, sizeof buffer);
            readBack[i].append(buffer, got);
            more = more || got > 0;
        }
    }
    EXPECT_TRUE(readBack[0] == first);
    EXPECT_TRUE(readBack[1] == second);
}

TEST(File, LengthPast4GiBIsExactFromTheHandleAndForTheSizePass)
{
    TempDir dir;
    const std::uint64_t size = (std::uint64_t{5} << 30) + 3;
    const std::string path = dir.WriteSparse("big", size);
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_EQ(file.GetLength(), size);
    file.Close();
    std::uint64_t measured = 0;
    EXPECT_TRUE(CFile::MeasureFile(path.c_str(), measured));
    EXPECT_EQ(measured, size);
}

TEST(File, AnExclusiveOpenKeepsOthersOutUntilClosed)
{
    TempDir dir;
    const std::string path = dir.Write("f", "x");
    CFile first;
    ASSERT_TRUE(first.Open(path.c_str()));
    CFile second;
    FileOpenError why = FileOpenError::None;
    EXPECT_FALSE(second.Open(path.c_str(), &why));
    EXPECT_EQ(why, FileOpenError::Locked);
    first.Close();
    EXPECT_TRUE(second.Open(path.c_str(), &why));
    EXPECT_EQ(why, FileOpenError::None);
}

// Windows' 8-bit interface stops at MAX_PATH characters.
TEST(File, APathOf300CharactersOpensAndIsNotFoundWhenMissing)
{
    TempDir dir;
    const std::string folder = dir.MakeDir(std::string(200, 'd'));
    const std::string path = dir.Write(folder + "/" + std::string(300 - folder.size() - 5, 'n') + ".bin", "abc");
    ASSERT_EQ(path.size(), 300u);
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    char buffer[8];
    EXPECT_EQ(std::string(buffer, file.Read(buffer, sizeof buffer)), "abc");
    file.Close();
    std::uint64_t length = 0;
    EXPECT_TRUE(CFile::MeasureFile(path.c_str(), length));
    EXPECT_EQ(length, 3u) << "the size pass measures it too";
    FileOpenError why = FileOpenError::None;
    EXPECT_FALSE(CFile().Open((path + "x").c_str(), &why));
    EXPECT_EQ(why, FileOpenError::NotFound);
    EXPECT_FALSE(CFile::MeasureFile((path + "x").c_str(), length, &why));
    EXPECT_EQ(why, FileOpenError::NotFound);
}

TEST(File, AnUnopenedFileThrowsOnUse)
{
    CFile file;
    char buffer[4];
    EXPECT_THROW(file.GetLength(), CFileException);
    EXPECT_THROW(file.Read(buffer, 4), CFileException);
    EXPECT_NO_THROW(file.Close());
}

// Names of things that open but are no disk files.
std::vector<std::string> DeviceNames()
{
#ifdef _WIN32
    return {"NUL", "CON", "CONIN$", "\\\\.\\NUL"};
#else
    return {"/dev/null", "/dev/zero", "/dev/tty"};
#endif
}

// Opened unchecked, a file reads only once its check has said yes (a piece
// asks for it): a device never does.
TEST(File, DevicesNeverOpenAndHaveNoLengthForTheSizePass)
{
    TempDir dir;
    const std::string plain = dir.Write("plain", "x");
    unsigned char byte = 0;
    for (const std::string& name : DeviceNames()) {
        CFile file;
        FileOpenError why = FileOpenError::None;
        EXPECT_FALSE(file.Open(name.c_str(), &why)) << name;
        EXPECT_EQ(why, FileOpenError::NotAFile) << name;
        std::uint64_t length = 12345;
        EXPECT_FALSE(CFile::MeasureFile(name.c_str(), length)) << name;
        if (file.OpenUnchecked(name.c_str(), &why)) {
            std::uint32_t got = 0;
            EXPECT_FALSE(file.ReadPiece(&byte, 1, got)) << name << " read as a piece";
            EXPECT_FALSE(file.CheckIsFile(&why)) << name;
        }
        EXPECT_EQ(why, FileOpenError::NotAFile) << name;
    }
    CFile file;
    ASSERT_TRUE(file.OpenUnchecked(plain.c_str()));
    EXPECT_THROW(file.Read(&byte, 1), CFileException) << "read before its check";
    ASSERT_TRUE(file.CheckIsFile());
    EXPECT_EQ(file.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 'x');
}

TEST(File, AFileHeldByAnotherProcessDoesNotOpenUntilItIsLetGo)
{
    TempDir dir;
    const std::string path = dir.Write("f", "x");
    FileOpenError why = FileOpenError::None;
    {
        HeldByAnotherProcess other(path);
        ASSERT_TRUE(other.IsHeld());
        CFile file;
        EXPECT_FALSE(file.Open(path.c_str(), &why));
        EXPECT_EQ(why, FileOpenError::Locked);
    }
    CFile file;
    EXPECT_TRUE(file.Open(path.c_str(), &why));
}

#ifdef _WIN32
TEST(File, ANamedPipeDoesNotOpenAndDoesNotBlock)
{
    const char* name = "\\\\.\\pipe\\korvane-test";
    const HANDLE server = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    CFile file;
    FileOpenError why = FileOpenError::None;
    EXPECT_FALSE(file.Open(name, &why));
    EXPECT_EQ(why, FileOpenError::NotAFile);
    CloseHandle(server);
}

TEST(File, ASerialPortDoesNotOpen)
{
    CFile file;
    FileOpenError why = FileOpenError::None;
    EXPECT_FALSE(file.Open("COM1", &why));
    // A machine without the port has no such file at all.
    EXPECT_TRUE(why == FileOpenError::NotAFile || why == FileOpenError::NotFound);
}
#else
TEST(File, APipeWithoutWriterDoesNotOpenAndDoesNotBlock)
{
    TempDir dir;
    const std::string path = dir.PathOf("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    CFile file;
    FileOpenError why = FileOpenError::None;
    EXPECT_FALSE(file.Open(path.c_str(), &why));
    EXPECT_EQ(why, FileOpenError::NotAFile);
}
#endif

}  // namespace
