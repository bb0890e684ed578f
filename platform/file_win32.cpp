// CFile on Windows.
#include "platform/file.h"

#include <windows.h>

namespace {

HANDLE ToHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileOpenError ErrorFromCode(DWORD code, const char* path)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_FILENAME_EXCED_RANGE:
        return FileOpenError::NotFound;
    case ERROR_ACCESS_DENIED:
        // Opening a folder as a file is refused with "access denied".
        return IsFolder(path) ? FileOpenError::NotAFile : FileOpenError::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileOpenError::Locked;
    case ERROR_PIPE_BUSY:
    case ERROR_INVALID_HANDLE:  // CON and CONIN$ in a process without a console
        return FileOpenError::NotAFile;
    default:
        return FileOpenError::Other;
    }
}

}  // namespace

CFile::NativeHandle CFile::OpenNative(const char* path, FileOpenError& error)
{
    // Share mode 0: nobody else may open the file while we hold it.
    const HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrorFromCode(GetLastError(), path);
        return kNoHandle;
    }
    // CON, NUL, COM1 and pipes open too; only disk files are digested.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        error = FileOpenError::NotAFile;
        return kNoHandle;
    }
    error = FileOpenError::None;
    return reinterpret_cast<NativeHandle>(file);
}

bool CFile::LengthNative(NativeHandle handle, std::uint64_t& length)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(ToHandle(handle), &size))
        return false;
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool CFile::ReadNative(NativeHandle handle, void* buffer, std::uint32_t count, std::uint32_t& placed)
{
    DWORD got = 0;
    if (!ReadFile(ToHandle(handle), buffer, count, &got, nullptr))
        return false;
    placed = got;
    return true;
}

void CFile::CloseNative(NativeHandle handle)
{
    CloseHandle(ToHandle(handle));
}
