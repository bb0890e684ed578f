// CFile on POSIX systems, for the native build and its tests.
//
// POSIX has no share modes; the exclusive open is approximated with a
// non-blocking exclusive flock(), which keeps out every other program that
// locks the file the same way.
#include "platform/file.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "Not found" only where the system says that the file or a part of its path
// does not exist; a name that it rejects (too long) is another reason.
FileOpenError ErrorFromErrno(int code)
{
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        return FileOpenError::NotFound;
    case EACCES:
    case EPERM:
        return FileOpenError::AccessDenied;
    case EISDIR:
    case ENXIO:  // a FIFO without a writer, a device without its driver
        return FileOpenError::NotAFile;
    case EWOULDBLOCK:
        return FileOpenError::Locked;
    default:
        return FileOpenError::Other;
    }
}

}  // namespace

CFile::NativeHandle CFile::OpenUncheckedNative(const char* path, FileOpenError& error)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = ErrorFromErrno(errno);
        return kNoHandle;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = ErrorFromErrno(errno);
        ::close(fd);
        return kNoHandle;
    }
    // Reads of a regular file ignore O_NONBLOCK, but say what we mean.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    error = FileOpenError::None;
    return fd;
}

bool CFile::IsFileNative(NativeHandle handle)
{
    struct stat info {};
    return ::fstat(static_cast<int>(handle), &info) == 0 && S_ISREG(info.st_mode);
}

bool CFile::LengthByNameNative(NativeHandle handle, const char*, std::uint64_t& length)
{
    // The descriptor is as cheap to ask here.
    struct stat info {};
    if (::fstat(static_cast<int>(handle), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

void CFile::CancelBlockedCalls()
{
    // POSIX has no call that cancels another thread's read; closing ends the
    // process instead where a read is stuck.
}

bool CFile::LengthNative(NativeHandle handle, std::uint64_t& length)
{
    struct stat info {};
    if (::fstat(static_cast<int>(handle), &info) != 0)
        return false;
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool CFile::ReadNative(NativeHandle handle, void* buffer, std::uint32_t count, std::uint32_t& placed)
{
    const size_t ask = count > INT_MAX ? INT_MAX : count;
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle), buffer, ask);
        if (got >= 0) {
            placed = static_cast<std::uint32_t>(got);
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

bool CFile::ChangeTimesNative(NativeHandle handle, ChangeTimes& times)
{
    struct stat info {};
    if (::fstat(static_cast<int>(handle), &info) != 0)
        return false;
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
    };
    times.written = nanoseconds(info.st_mtim);
    times.changed = nanoseconds(info.st_ctim);
    return true;
}

bool CFile::CloseNative(NativeHandle handle)
{
    // Also drops the lock. The descriptor is gone even when close fails.
    return ::close(static_cast<int>(handle)) == 0;
}
