// korvane_probe: measures a running korvane.exe as a user sees it. Types PATH
// into the path box, presses OK and waits until the result box holds a line
// for it; meanwhile samples the program's working set. Prints one line:
//
//   seconds=S idle_ws=BYTES peak_ws=BYTES line=TEXT
//
//   korvane_probe.exe PATH
//
// Then it closes the dialog, so that each measurement has a fresh program.
//
// It must run on the dialog's desktop to find it.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "korvane_window.h"

namespace {

// The box is asked for its text every kPollMs: often enough to time a job to
// a few milliseconds, seldom enough to leave the program's threads alone (each
// question is a message across processes). The probe gives up after ten
// minutes.
constexpr DWORD kPollMs = 4;
constexpr int kPollLimit = 600000 / kPollMs;

SIZE_T WorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_probe PATH\n");
        return 2;
    }
    const HWND dialog = WaitForKorvaneWindow();
    if (!dialog) {
        std::fprintf(stderr, "korvane_probe: no Korvane window\n");
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, processId);
    const HWND result = GetDlgItem(dialog, IDC_RESULT_EDIT);
    SetDlgItemTextA(dialog, IDC_RESULT_EDIT, "");
    SetDlgItemTextA(dialog, IDC_PATH_EDIT, argv[1]);
    Sleep(200);  // let the program settle before the idle figure
    const SIZE_T idle = WorkingSet(process);
    SIZE_T peak = idle;

    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    // The box is empty until the job's line arrives. (GetWindowTextLength of
    // another process's window reads no edit control's text: ask the control.)
    for (int polls = 0; SendMessageA(result, WM_GETTEXTLENGTH, 0, 0) == 0; ++polls) {
        if (polls == kPollLimit) {
            std::fprintf(stderr, "korvane_probe: no line after %lu s\n", kPollLimit * kPollMs / 1000);
            return 1;
        }
        if (polls % 4 == 0) {
            const SIZE_T current = WorkingSet(process);
            if (current > peak)
                peak = current;
        }
        Sleep(kPollMs);
    }
    QueryPerformanceCounter(&now);
    const double seconds = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);

    char line[512] = {};
    GetDlgItemTextA(dialog, IDC_RESULT_EDIT, line, sizeof line);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::printf("seconds=%.4f idle_ws=%lu peak_ws=%lu line=%s\n", seconds, static_cast<unsigned long>(idle),
                static_cast<unsigned long>(peak), text.c_str());
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    return 0;
}
