// CFile: the file object the digest core reads through.
//
// A disk file opened for reading with exclusive sharing: while it is open no other
// open of the file for reading or writing succeeds, and it does not open while
// another program holds the file open. Folders, devices and pipes never open: a read
// from a console or a pipe could block a job for ever.
//
// Reads are served from blocks filled by large reads, so the engine's
// 1024-byte requests cost a copy, not a system call; a file of more than one
// block is read a few blocks ahead by the process's readers (CReadAhead). Callers see the same
// bytes, counts, end of file and failures as with direct reads, with one
// addition: a file that changes while it is read (its length, or its time of
// last change) fails to read, as its bytes are then no version of the file.
// The exclusive open does not keep out every writer: a share's other clients,
// and under Wine the host's own programs, may write all the same.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>

// Raised by CFile when a read or a length query fails.
class CFileException : public std::exception {
public:
    const char* what() const noexcept override { return "file operation failed"; }
};

// Why an open failed.
enum class FileOpenError {
    None,
    NotFound,      // no such file, or a part of its path is missing
    AccessDenied,  // the system refused access
    Locked,        // another program holds the file open
    NotAFile,      // a folder, a device or a pipe
    Other,
};

class CReadAhead;

class CFile {
public:
    CFile();
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens an existing file for reading, exclusively. Returns false when it did
    // not open; error, when given, says why. An open object is closed first.
    bool Open(const char* path, FileOpenError* error = nullptr);

    // Opens path as Open does, but leaves out the question whether what
    // opened is a disk file: CheckIsFile answers it, and until it has said
    // yes the file does not read. Under Wine that question reads the file's
    // first bytes, from the disk for a file outside the system's cache; a
    // batch asks it on the thread that reads the file next, so that opening
    // the next files does not wait for that read.
    bool OpenUnchecked(const char* path, FileOpenError* error = nullptr);

    // Whether the open file is a disk file, as Open makes sure; error, when
    // given, says NotAFile when it is not. The system is asked once an open.
    bool CheckIsFile(FileOpenError* error = nullptr);

    // The file's length in bytes. Throws CFileException when it cannot be had.
    // Asked before the first read, it is the length that the reads are held
    // to.
    std::uint64_t GetLength();

    // Places up to count bytes at buffer and returns how many; fewer only at the
    // end of the file, 0 once there. Throws CFileException when reading fails,
    // when the end of the file is not where its length at the first read put
    // it, or when at the end its time of last change is not what it was at the
    // first read.
    // Virtual so that tests can stand in a file that fails.
    virtual std::uint32_t Read(void* buffer, std::uint32_t count);

    // Reads count bytes into buffer, fewer only where the file ends, and sets
    // got to how many: a piece for a caller that keeps pieces of its own
    // (CReadAhead's contract). A piece that reaches the file's length makes
    // sure that the file ends there, as Read's end does. False where Read
    // would throw, and before a check that says the file is a disk file. Not
    // to be mixed with Read on one open, nor made on two threads at once.
    bool ReadPiece(unsigned char* buffer, std::uint32_t count, std::uint32_t& got) noexcept;

    // Closes the file; nothing happens when it is not open. False when the
    // system reports a failure (the file is given up all the same).
    bool Close();

    // The size pass's look at a file: opens path as Open does, takes its
    // length and closes it again. False when it does not open (error, when
    // given, says why), when its length cannot be had, or when it cannot be
    // closed. The length comes from the file's name while the file is held
    // open: under Windows that is the same file, and under Wine asking the
    // handle instead costs a round trip to Wine's server, a third of what a
    // small file's look costs. Folders never open; a device or a pipe that
    // opens here has no length.
    static bool MeasureFile(const char* path, std::uint64_t& length, FileOpenError* error = nullptr);

    bool IsOpen() const { return m_handle != kNoHandle; }

    // Asks the system to cancel the opens and reads of files that are under
    // way on any thread now, so that a thread stuck in one (a dead share)
    // gets a failure back; where the system cannot, they go on. For closing.
    static void CancelBlockedCalls();

    // For tests: fault(offset, length) is asked before every read from the
    // system, with the offset of the first byte that read would fetch and the
    // file's length; true makes that read fail as a failing disk would. Null
    // (the default) injects nothing.
    using ReadFault = bool (*)(std::uint64_t offset, std::uint64_t length);
    static void SetReadFault(ReadFault fault);
    // Likewise for closing: true makes the system's close report a failure.
    using CloseFault = bool (*)();
    static void SetCloseFault(CloseFault fault);

private:
    // The native handle: a Win32 HANDLE or a POSIX descriptor. Both systems use
    // -1 for "none" (INVALID_HANDLE_VALUE and the failed open()).
    using NativeHandle = std::intptr_t;
    static constexpr NativeHandle kNoHandle = -1;

    // The system-specific part, in file_win32.cpp or file_posix.cpp.
    // Opens exclusively, and leaves it to IsFileNative (or, for the size
    // pass, to the length) to turn down what is no disk file.
    static NativeHandle OpenUncheckedNative(const char* path, FileOpenError& error);
    static bool IsFileNative(NativeHandle handle);
    static bool LengthNative(NativeHandle handle, std::uint64_t& length);
    // The length of the disk file handle holds, opened from path; false for
    // anything else.
    static bool LengthByNameNative(NativeHandle handle, const char* path, std::uint64_t& length);
    // When the file's data and its metadata last changed, in the system's
    // units: compared, never interpreted.
    struct ChangeTimes {
        std::uint64_t written = 0;
        std::uint64_t changed = 0;
        bool operator==(const ChangeTimes& other) const
        {
            return written == other.written && changed == other.changed;
        }
    };
    static bool ChangeTimesNative(NativeHandle handle, ChangeTimes& times);
    static bool ReadNative(NativeHandle handle, void* buffer, std::uint32_t count, std::uint32_t& placed);
    static bool CloseNative(NativeHandle handle);

    // Takes the length and the times of last change that the reads are held
    // to, once per open; false when they cannot be had.
    bool TakeMeasure();
    // Makes the next block current; false at the end of the file. Throws when
    // its read failed.
    bool NextBlock();
    // One read from the system at the current offset into buffer, got bytes;
    // false when it fails or the file turns out longer or shorter than
    // m_length. Made by a reader while the file is read ahead.
    bool ReadFromSystem(unsigned char* buffer, std::uint32_t count, std::uint32_t& got);

    NativeHandle m_handle = kNoHandle;
    enum class Kind { Unknown, File, NotAFile };
    Kind m_kind = Kind::Unknown;    // of what is open
    bool m_measured = false;        // m_length and m_times are taken
    bool m_lengthTaken = false;     // m_length is, by GetLength before any read
    std::uint64_t m_length = 0;     // when first asked, or at the first read
    ChangeTimes m_times;            // at the first read
    std::unique_ptr<unsigned char[]> m_block;  // the one block of a file read without read-ahead
    std::uint32_t m_blockSize = 0;
    std::unique_ptr<CReadAhead> m_readAhead;   // or the pieces of a larger file
    const unsigned char* m_data = nullptr;     // the current block
    std::uint32_t m_blockPos = 0;  // next byte of it to hand out
    std::uint32_t m_blockEnd = 0;  // bytes in it
    bool m_lastBlock = false;      // it is the file's last
    bool m_failed = false;         // a read failed: every later one fails
    std::uint64_t m_offset = 0;    // bytes read from the system so far
};
