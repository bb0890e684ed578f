// ProcessFigures: GetProcessHandleCount, a thread snapshot, GetProcessMemoryInfo.
#include "process_figures.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

#include "dialog_driver.h"

namespace {

// The system's handle table as NtQuerySystemInformation gives it
// (SystemHandleInformation): one entry per open handle of any process.
struct SystemHandleEntry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandles {
    ULONG count;
    SystemHandleEntry entries[1];
};

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// A process's entries in the system's handle table; 0 when it cannot be had.
DWORD CountHandlesInSystemTable(DWORD processId)
{
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0)
            return 0;
        break;
    }
    const auto* table = reinterpret_cast<const SystemHandles*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].processId == processId)
            ++count;
    }
    return count;
}

}  // namespace

DWORD HandleCount(HANDLE process)
{
    // Wine answers GetProcessHandleCount with 0, which no real process has;
    // its system handle table is complete, so count there.
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count > 0)
        return count;
    return CountHandlesInSystemTable(GetProcessId(process));
}

DWORD ThreadCount(DWORD processId)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

std::size_t HeapBytesInUse()
{
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    std::size_t total = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

ProcessFigures FiguresOf(HANDLE process)
{
    ProcessFigures figures;
    figures.handles = HandleCount(process);
    figures.threads = ThreadCount(GetProcessId(process));
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
        figures.privateBytes = memory.PagefileUsage;
        figures.workingSet = memory.WorkingSetSize;
    }
    return figures;
}

ProcessFigures CurrentFigures()
{
    ProcessFigures figures = FiguresOf(GetCurrentProcess());
    figures.heapBytes = HeapBytesInUse();
    return figures;
}

DWORD WaitForThreadCountAtMost(DWORD threads, DWORD processId)
{
    DWORD now = ThreadCount(processId);
    WaitFor([&] { return (now = ThreadCount(processId)) <= threads; }, kWindowDeadline);
    return now;
}

std::ostream& operator<<(std::ostream& out, const ProcessFigures& figures)
{
    return out << figures.handles << " handles, " << figures.threads << " threads, " << figures.privateBytes / 1024
               << " KiB private, " << figures.workingSet / 1024 << " KiB working set, " << figures.heapBytes
               << " bytes on the heaps";
}
