// DriveOf, DriveHasSeekPenalty, ProcessorsForThreads and PathKey.
#include "platform/volume.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <sched.h>
#endif

#ifdef _WIN32

std::string DriveOf(const std::string& path)
{
    std::string full = path;
    if (full.compare(0, 4, "\\\\?\\") == 0)
        full.erase(0, 4);
    if (full.size() >= 2 && full[1] == ':')
        return full.substr(0, 2);
    if (full.compare(0, 2, "\\\\") == 0)
        return {};
    char current[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    return length >= 2 && length < MAX_PATH && current[1] == ':' ? std::string(current, 2) : std::string();
}

bool DriveHasSeekPenalty(const std::string& drive)
{
    if (drive.size() != 2)
        return false;
    // No access asked: the question needs none, and so no administrator.
    const std::string volume = "\\\\.\\" + drive;
    const HANDLE device =
        CreateFileA(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
    DWORD returned = 0;
    const BOOL asked = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer,
                                       sizeof answer, &returned, nullptr);
    CloseHandle(device);
    return asked && returned >= sizeof answer && answer.IncursSeekPenalty;
}

unsigned ProcessorsForThreads()
{
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0)
        return 1;
    unsigned count = 0;
    for (; process; process &= process - 1)
        ++count;
    return count;
}

std::string PathKey(const std::string& path)
{
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    std::string key(needed > 0 ? needed : 1, '\0');
    const DWORD length = needed > 0 ? GetFullPathNameA(path.c_str(), needed, &key[0], nullptr) : 0;
    if (length == 0 || length >= needed)
        key = path;
    else
        key.resize(length);
    CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

#else

std::string DriveOf(const std::string&)
{
    return {};
}

bool DriveHasSeekPenalty(const std::string&)
{
    return false;
}

unsigned ProcessorsForThreads()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

std::string PathKey(const std::string& path)
{
    return path;
}

#endif
