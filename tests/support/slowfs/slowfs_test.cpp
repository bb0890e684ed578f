// The stand-in file system as the program's file object reads it: the bytes
// before a fault come whole, then fails.bin fails, blocks.bin blocks (and a
// reader blocked there can still be killed) and changes.bin changes. And its
// share mode: a file written to its source reads back through it, its counts
// follow the opens, and a dead file's open blocks.
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/slow_fs.h"
#include "support/test_files.h"

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace std::chrono_literals;

// Reads file in the engine's pieces of 1024 bytes, appending them to read,
// until its end or until read holds limit bytes. Throws what Read throws.
void ReadPieces(CFile& file, std::string& read, std::uint64_t limit)
{
    char piece[1024];
    while (read.size() < limit) {
        const std::uint32_t got = file.Read(piece, sizeof piece);
        if (got == 0)
            return;
        read.append(piece, got);
    }
}

TEST(SlowFs, FailsBinFailsAtItsFaultPoint)
{
    const std::string path = SlowFsPath(kSlowFsFailsName);
    if (path.empty())
        GTEST_SKIP() << SlowFsMissing();
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_EQ(file.GetLength(), kSlowFsFailsSize);
    std::string read;
    EXPECT_THROW(ReadPieces(file, read, kSlowFsFailsSize), CFileException);
    EXPECT_EQ(read.size(), kSlowFsFailFrom);
    EXPECT_TRUE(read == SlowFsBytes(0, read.size()));
}

TEST(SlowFs, ChangesBinIsWrittenWhileItIsRead)
{
    const std::string path = SlowFsPath(kSlowFsChangesName);
    if (path.empty())
        GTEST_SKIP() << SlowFsMissing();
    const auto modified = std::filesystem::last_write_time(path);
    std::string read;
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        // Its length stayed, its time of last change moved: the bytes read are
        // no version of the file, and its end says so, with its last block.
        EXPECT_THROW(ReadPieces(file, read, kSlowFsChangesSize), CFileException);
        EXPECT_EQ(file.GetLength(), kSlowFsChangesSize);
    }
    ASSERT_GT(read.size(), kSlowFsChangeFrom);
    EXPECT_TRUE(read.compare(0, kSlowFsChangeFrom, SlowFsBytes(0, kSlowFsChangeFrom)) == 0);
    EXPECT_EQ(static_cast<unsigned char>(read.back()), SlowFsChangedByte(read.size() - 1));
    EXPECT_GT(std::filesystem::last_write_time(path), modified);
}

// What the reading thread has done, shared with it: the test leaves it behind.
struct BlockedReader {
    std::string read;                    // written by the reader until goodPart
    std::atomic<bool> goodPart{false};   // it holds the bytes before the block
    std::atomic<bool> returned{false};   // the read past the block point returned
};

TEST(SlowFs, BlocksBinBlocksPastItsPoint)
{
    const std::string path = SlowFsPath(kSlowFsBlocksName);
    if (path.empty())
        GTEST_SKIP() << SlowFsMissing();
    const auto reader = std::make_shared<BlockedReader>();
    // Detached: the read stays blocked after the test, as on a dead share,
    // and ends with the process.
    std::thread([path, reader] {
        try {
            CFile file;
            if (file.Open(path.c_str())) {
                ReadPieces(file, reader->read, kSlowFsBlockFrom);
                if (reader->read.size() == kSlowFsBlockFrom) {
                    reader->goodPart = true;
                    char piece[1024];
                    file.Read(piece, sizeof piece);
                }
            }
        } catch (const CFileException&) {
        }
        reader->returned = true;
        reader->goodPart = true;
    }).detach();

    for (auto deadline = std::chrono::steady_clock::now() + 30s;
         !reader->goodPart && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(reader->goodPart) << "the part before the block point did not come";
    ASSERT_FALSE(reader->returned) << "blocks.bin did not open, or its good part failed or ended short";
    EXPECT_TRUE(reader->read == SlowFsBytes(0, kSlowFsBlockFrom));
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(reader->returned) << "the read past the block point returned";
}

TEST(ShareFs, FilesReadBackWholeAndTheCountsFollowTheOpens)
{
    std::array<std::string, 5> contents, paths;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Lengths that tell the files apart, each more than one read.
        contents[i] = PatternBytes(300000 + 4097 * i);
        paths[i] = ShareFsWrite("counted-" + std::to_string(i) + ".bin", contents[i]);
        if (paths[i].empty())
            GTEST_SKIP() << ShareFsMissing();
    }
    ASSERT_TRUE(ResetShareFsCounts());
    ShareFsCounts counts;
    {
        std::array<std::ifstream, 5> files;
        for (std::size_t i = 0; i < files.size(); ++i) {
            files[i].open(paths[i], std::ios::binary);
            ASSERT_TRUE(files[i].is_open()) << paths[i];
        }
        ASSERT_TRUE(ReadShareFsCounts(counts));
        EXPECT_EQ(counts.openNow, 5u);
        EXPECT_EQ(counts.openMax, 5u);
        EXPECT_EQ(counts.opens, 5u);
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string read{std::istreambuf_iterator<char>(files[i]), std::istreambuf_iterator<char>()};
            EXPECT_TRUE(read == contents[i]) << paths[i] << " read back " << read.size() << " bytes";
        }
    }
    // The kernel releases a file a moment after its close returns.
    EXPECT_TRUE(WaitFor([&counts] { return ReadShareFsCounts(counts) && counts.openNow == 0; }, 10s))
        << "open now: " << counts.openNow;
    EXPECT_EQ(counts.openMax, 5u);
    EXPECT_EQ(counts.opens, 5u);
    ASSERT_TRUE(ResetShareFsCounts());
    ASSERT_TRUE(ReadShareFsCounts(counts));
    EXPECT_EQ(counts.openMax, 0u);
    EXPECT_EQ(counts.opens, 0u);
}

#ifndef _WIN32
void Ignore(int) {}

// Runs call in a child process and expects it to sit out a signal that the
// child handles, as a dead share's calls do, but to let the child die once
// it is killed. The handler is there from the child's first instruction on;
// no SA_RESTART, so a call that the signal ended would end the child.
void ExpectSitsOutASignalButEndsOnAKill(const std::function<void()>& call)
{
    struct sigaction handler {}, previous {};
    handler.sa_handler = &Ignore;
    ::sigaction(SIGUSR1, &handler, &previous);
    const pid_t child = ::fork();
    if (child == 0) {
        call();
        ::_exit(0);
    }
    ::sigaction(SIGUSR1, &previous, nullptr);
    ASSERT_GT(child, 0);
    int status = 0;
    std::this_thread::sleep_for(200ms);
    ::kill(child, SIGUSR1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the call ended before the block did";
    ::kill(child, SIGKILL);
    pid_t ended = 0;
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         (ended = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(ended, child) << "the killed caller lives on in its call";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

TEST(SlowFs, AReadOnBlocksBinSitsOutASignalButEndsOnAKill)
{
    const std::string path = SlowFsPath(kSlowFsBlocksName);
    if (path.empty())
        GTEST_SKIP() << SlowFsMissing();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ExpectSitsOutASignalButEndsOnAKill([fd] {
        char piece[1024];
        ::pread(fd, piece, sizeof piece, static_cast<off_t>(kSlowFsBlockFrom));
    });
    ::close(fd);
}

// Natively only: under Wine the server process opens the files of every
// program, and a dead open there would stall them all until its block ends.
TEST(ShareFs, OpeningADeadFileSitsOutASignalButEndsOnAKill)
{
    const std::string path = ShareFsWrite(std::string("gone") + kShareFsDeadSuffix, "gone");
    if (path.empty())
        GTEST_SKIP() << ShareFsMissing();
    ExpectSitsOutASignalButEndsOnAKill([&path] { ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
}
#endif

}  // namespace
