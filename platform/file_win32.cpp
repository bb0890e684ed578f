// CFile on Windows.
#include "platform/file.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

namespace {

HANDLE ToHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool IsFolder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const char* path)
{
    return IsFolder(GetFileAttributesA(path));
}

bool IsFolder(const wchar_t* path)
{
    return IsFolder(GetFileAttributesW(path));
}

// "Not found" only where the system says that the file or a part of its path
// does not exist; a name that it rejects is another reason.
template <typename Char>
FileOpenError ErrorFromCode(DWORD code, const Char* path)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
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

// Share mode 0: nobody else may open the file while we hold it.
constexpr DWORD kShareMode = 0;
constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;

// The path in the form that the wide interface takes past MAX_PATH: full,
// with \\?\ in front (\\?\UNC\ for a share). Empty when it cannot be made.
std::wstring LongFormOf(const char* path)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (size <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], size))
        return {};
    wide.resize(static_cast<size_t>(size - 1));  // drop the terminator
    // Already in a form that the system takes as it stands.
    if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0)
        return wide;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return {};
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Opens path; error says why when it does not open.
HANDLE OpenExisting(const char* path, FileOpenError& error)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, kShareMode, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        return file;
    const DWORD code = GetLastError();
    // The 8-bit interface stops at MAX_PATH characters (Windows says "name too
    // long" or "path not found"); the wide one goes on with the long form.
    if (code == ERROR_FILENAME_EXCED_RANGE || std::strlen(path) >= MAX_PATH) {
        const std::wstring longForm = LongFormOf(path);
        if (!longForm.empty()) {
            file = CreateFileW(longForm.c_str(), GENERIC_READ, kShareMode, nullptr, OPEN_EXISTING, kFlags, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                error = ErrorFromCode(GetLastError(), longForm.c_str());
            return file;
        }
    }
    error = ErrorFromCode(code, path);
    return INVALID_HANDLE_VALUE;
}

// The threads inside an open or a read of ours now, by id, for
// CancelBlockedCalls. A thread takes a free slot for the call and gives it
// back after; with more threads than slots a call simply goes unnoted.
constexpr std::size_t kCallSlots = 64;
std::atomic<DWORD> g_callers[kCallSlots];

class CBlockingCall {
public:
    CBlockingCall()
    {
        const DWORD self = GetCurrentThreadId();
        for (std::size_t i = 0; i < kCallSlots; ++i) {
            DWORD free = 0;
            if (g_callers[i].compare_exchange_strong(free, self)) {
                m_slot = &g_callers[i];
                return;
            }
        }
    }
    ~CBlockingCall()
    {
        if (m_slot)
            m_slot->store(0);
    }
    CBlockingCall(const CBlockingCall&) = delete;
    CBlockingCall& operator=(const CBlockingCall&) = delete;

private:
    std::atomic<DWORD>* m_slot = nullptr;
};

}  // namespace

void CFile::CancelBlockedCalls()
{
    for (std::atomic<DWORD>& caller : g_callers) {
        const DWORD id = caller.load();
        if (!id)
            continue;
        // The thread may have left the call meanwhile and begun another: that
        // one fails instead, which closing wants as well.
        const HANDLE thread = OpenThread(THREAD_TERMINATE, FALSE, id);
        if (thread) {
            CancelSynchronousIo(thread);
            CloseHandle(thread);
        }
    }
}

CFile::NativeHandle CFile::OpenUncheckedNative(const char* path, FileOpenError& error)
{
    // GetFileType would be the handle's first use, a round trip of its own
    // under Wine, and there it reads the file's first bytes (to tell its own
    // device placeholders): a wait for the disk when the file is cold.
    const CBlockingCall call;
    const HANDLE file = OpenExisting(path, error);
    if (file == INVALID_HANDLE_VALUE)
        return kNoHandle;
    error = FileOpenError::None;
    return reinterpret_cast<NativeHandle>(file);
}

bool CFile::LengthByNameNative(NativeHandle, const char* path, std::uint64_t& length)
{
    // While the handle holds the file exclusively the name cannot lead to
    // another one: it can be neither renamed nor deleted.
    WIN32_FILE_ATTRIBUTE_DATA data;
    BOOL got = GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    if (!got && (GetLastError() == ERROR_FILENAME_EXCED_RANGE || std::strlen(path) >= MAX_PATH)) {
        const std::wstring longForm = LongFormOf(path);
        got = !longForm.empty() && GetFileAttributesExW(longForm.c_str(), GetFileExInfoStandard, &data);
    }
    if (!got || (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return false;
    length = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return true;
}

bool CFile::IsFileNative(NativeHandle handle)
{
    // CON, NUL, COM1 and pipes open too; only disk files are digested. Under
    // Wine the question reads the file, so it may block as a read does.
    const CBlockingCall call;
    return GetFileType(ToHandle(handle)) == FILE_TYPE_DISK;
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
    const CBlockingCall call;
    DWORD got = 0;
    if (!ReadFile(ToHandle(handle), buffer, count, &got, nullptr))
        return false;
    placed = got;
    return true;
}

bool CFile::ChangeTimesNative(NativeHandle handle, ChangeTimes& times)
{
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(ToHandle(handle), FileBasicInfo, &info, sizeof info))
        return false;
    times.written = static_cast<std::uint64_t>(info.LastWriteTime.QuadPart);
    times.changed = static_cast<std::uint64_t>(info.ChangeTime.QuadPart);
    return true;
}

bool CFile::CloseNative(NativeHandle handle)
{
    return CloseHandle(ToHandle(handle)) != FALSE;
}
