// Test files: temporary folders, patterns, reference digests, exclusive holders.
#include "support/test_files.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "digest/hex.h"
#include "digest/md5.h"
#include "platform/ansi.h"
#include "platform/file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool StaysInside(const std::function<void()>& call, const std::function<void()>& release)
{
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        call();
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool inside = !returned;
    release();
    caller.join();
    return inside;
}

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
#ifdef _WIN32
    const auto pid = static_cast<unsigned long>(GetCurrentProcessId());
#else
    const auto pid = static_cast<unsigned long>(getpid());
#endif
    const fs::path dir = fs::temp_directory_path() /
                         ("korvane-test-" + std::to_string(pid) + "-" + std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    m_path = dir.string();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string TempDir::PathOf(const std::string& name) const
{
    return (fs::path(m_path) / name).string();
}

std::string TempDir::Write(const std::string& name, const std::string& content) const
{
    const std::string path = PathOf(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string TempDir::WriteSparse(const std::string& name, std::uint64_t size) const
{
    const std::string path = Write(name, "");
    fs::resize_file(path, size);
    return path;
}

std::string TempDir::MakeDir(const std::string& name) const
{
    const std::string path = PathOf(name);
    fs::create_directories(path);
    return path;
}

std::string PatternBytes(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

std::string Md5Hex(const std::string& data)
{
    CMD5Checksum md5;
    md5.Update(reinterpret_cast<const unsigned char*>(data.data()), static_cast<std::uint32_t>(data.size()));
    unsigned char digest[16];
    md5.Final(digest);
    return HexOf(digest);
}

std::string HexOf(const unsigned char digest[16])
{
    char text[32];
    DigestToHex(digest, text);
    return std::string(text, sizeof text);
}

namespace {

std::atomic<std::uint64_t> g_failFrom{0};

}  // namespace

ReadFailureFrom::ReadFailureFrom(std::uint64_t offset)
{
    g_failFrom = offset;
    CFile::SetReadFault([](std::uint64_t at, std::uint64_t) { return at >= g_failFrom; });
}

ReadFailureFrom::~ReadFailureFrom()
{
    CFile::SetReadFault(nullptr);
}

#ifdef _WIN32
ExclusiveHold::ExclusiveHold(const std::string& path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    m_handle = file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(file);
}

ExclusiveHold::~ExclusiveHold()
{
    if (IsHeld())
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
#else
ExclusiveHold::ExclusiveHold(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    m_handle = fd;
}

ExclusiveHold::~ExclusiveHold()
{
    if (IsHeld())
        ::close(static_cast<int>(m_handle));
}
#endif

std::string Line(const std::string& name, const std::string& digest)
{
    return name + " : " + digest + "\r\n";
}

std::string Line(const std::string& name, const wchar_t* reason)
{
    return Line(name, AnsiFromWide(reason));
}

SmallFiles WriteSmallFiles(const TempDir& dir, int count)
{
    SmallFiles files;
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(100000 + i) + ".bin";
        const std::string content = PatternBytes(1024).replace(0, name.size(), name);
        files.paths.push_back(dir.Write(name, content));
        files.lines += Line(name, Md5Hex(content));
    }
    return files;
}
