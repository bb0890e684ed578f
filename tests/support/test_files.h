// Files on disk for tests: a private temporary folder, reference digests, a
// second holder that keeps a file open exclusively, and waiting with a deadline
// or for a call that should not return yet.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Polls done() until it holds or the deadline passes; returns its last answer.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds deadline);

// Runs call on a thread of its own and says whether it was still inside 20 ms
// later; then runs release and waits for call to return.
bool StaysInside(const std::function<void()>& call, const std::function<void()>& release);

// A fresh folder under the system's temporary folder, removed with everything
// in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of name inside the folder, with the system's separator.
    std::string PathOf(const std::string& name) const;
    // Writes content to name and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;
    // Makes a file of size bytes that holds no data (sparse where the file
    // system can) and returns its path.
    std::string WriteSparse(const std::string& name, std::uint64_t size) const;
    // Makes a sub-folder and returns its path.
    std::string MakeDir(const std::string& name) const;

private:
    std::string m_path;
};

// length bytes of a fixed pattern that repeats only every 251 bytes.
std::string PatternBytes(std::size_t length);

// MD5 of data as 32 lowercase hexadecimal digits, in one Update.
std::string Md5Hex(const std::string& data);
// 16 digest bytes as 32 lowercase hexadecimal digits.
std::string HexOf(const unsigned char digest[16]);

// A job's line for a file: "name : digest\r\n", or the reason in place of the
// digest, given as UTF-16 and written, as the program writes it, in the ANSI
// code page.
std::string Line(const std::string& name, const std::string& digest);
std::string Line(const std::string& name, const wchar_t* reason);

// count files of 1 KiB in dir, each with its own content, and the text of
// their lines in that order.
struct SmallFiles {
    std::vector<std::string> paths;
    std::string lines;
};
SmallFiles WriteSmallFiles(const TempDir& dir, int count);

// Makes every read from the system fail from offset on, in every file, as
// a failing disk would, while it lives.
class ReadFailureFrom {
public:
    explicit ReadFailureFrom(std::uint64_t offset);
    ~ReadFailureFrom();
    ReadFailureFrom(const ReadFailureFrom&) = delete;
    ReadFailureFrom& operator=(const ReadFailureFrom&) = delete;
};

// Holds a file open the way another program would, so that an exclusive open
// of it fails: a second handle with no sharing on Windows, an exclusive flock
// on POSIX systems.
class ExclusiveHold {
public:
    explicit ExclusiveHold(const std::string& path);
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
    bool IsHeld() const { return m_handle != -1; }

private:
    std::intptr_t m_handle = -1;
};
