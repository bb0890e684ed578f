// korvane_batch_bench FOLDER: drops every *.bin file of FOLDER, in the order of
// their names, onto the real main dialog, and prints
//
//   files=N seconds=S job_seconds=J worst_wait_ms=W set_ms=T ui_cpu_s=C ws_above_idle=BYTES
//
// S from the drop until the result box holds every line (J until the job had
// ended, seen at the next question); W the longest the window took to answer
// a question (its line count, asked every 5 ms from another thread, as a
// user's clicks would be); T what one set of the final text costs the program's own box, asked of
// it from another thread once the job is done (the median of three); C the
// processor time the dialog's thread used from the drop until every line was
// in; BYTES the largest working set until then (looked at every 2 ms) above
// the working set just before the drop. Exits non-zero when the box's text is not exactly the
// files' lines in drop order. The files are read for those lines only after
// the drop, so that the drop finds them as the caller left them: in the
// system's cache, or not.
//
// korvane_batch_bench --bare-box FOLDER: what the same lines cost an edit box of
// the result box's styles on a bare window, as "set_ms=T ws_above_idle=BYTES"
// (the largest working set during the set, above the one before it): the
// box's own cost, for the comparison.
//
// For a count of Wine's server requests by thread (WINEDEBUG=+server), the
// drop is marked on standard error: "korvane-mark start ui=<id> asker=<id>"
// before it and "korvane-mark done" once every line is in, the ids as Wine's
// trace writes them. The job's threads are those that the dialog's thread
// starts, and those that they start.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "folder_files.h"
#include "platform/ansi.h"
#include "support/drop_files.h"
#include "support/test_files.h"
#include "ui/res/resource.h"
#include "ui/test_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

std::string ContentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SIZE_T WorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

// The largest working set while it runs, looked at every 2 ms from a thread
// of its own: a text set in the box holds memory for a while that it gives
// back when it is done.
class PeakWorkingSet {
public:
    PeakWorkingSet()
        : m_sampler([this] {
              while (!m_stop) {
                  m_peak = std::max<SIZE_T>(m_peak, WorkingSet());
                  Sleep(2);
              }
          })
    {
    }
    ~PeakWorkingSet() { Peak(); }
    SIZE_T Peak()
    {
        if (m_sampler.joinable()) {
            m_stop = true;
            m_sampler.join();
            m_peak = std::max<SIZE_T>(m_peak, WorkingSet());
        }
        return m_peak;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<SIZE_T> m_peak{0};
    std::thread m_sampler;
};

double CpuSeconds(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>(ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

// The median of three sets of text into box, asked from this thread.
double SetMilliseconds(HWND box, const std::string& text)
{
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        times.push_back(Milliseconds(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

// The paths of the *.bin files of folder.
std::vector<std::string> PathsOf(const std::string& folder)
{
    std::vector<std::string> paths;
    for (const std::string& name : BinFilesOf(folder))
        paths.push_back(folder + "\\" + name);
    return paths;
}

// Their lines: the files' bytes are read here, so a drop that is to find them
// outside the system's cache is made before.
std::string LinesOf(const std::vector<std::string>& paths)
{
    std::string lines;
    for (const std::string& path : paths)
        lines += Line(FileNameFromPath(path), Md5Hex(ContentOf(path)));
    return lines;
}

int BareBox(const std::string& folder)
{
    const std::vector<std::string> paths = PathsOf(folder);
    const std::string lines = LinesOf(paths);
    const HWND window = CreateWindowExA(0, "STATIC", "bare", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                        nullptr, GetModuleHandleA(nullptr), nullptr);
    const HWND box = CreateWindowExA(0, "EDIT", "",
                                     WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
                                     10, 10, 380, 200, window, nullptr, GetModuleHandleA(nullptr), nullptr);
    Sleep(200);
    const SIZE_T idle = WorkingSet();
    PeakWorkingSet peak;
    const auto start = Clock::now();
    SetWindowTextA(box, lines.c_str());
    const double set = Milliseconds(Clock::now() - start).count();
    const SIZE_T most = peak.Peak();
    std::printf("files=%u set_ms=%.1f ws_above_idle=%lu\n", static_cast<unsigned>(paths.size()), set,
                static_cast<unsigned long>(most > idle ? most - idle : 0));
    DestroyWindow(window);
    return 0;
}

int Drop(const std::string& folder)
{
    const std::vector<std::string> paths = PathsOf(folder);

    TestDialog dialog;
    std::atomic<HANDLE> uiThread{nullptr};
    std::atomic<DWORD> uiThreadId{0};
    std::thread ui([&] {
        HANDLE self = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        uiThreadId = GetCurrentThreadId();
        uiThread = self;
        dialog.DoModal();
    });
    while (!dialog.GetSafeHwnd() || !IsWindowVisible(dialog.GetSafeHwnd()) || !uiThread.load())
        Sleep(10);
    const HWND window = dialog.GetSafeHwnd();
    const HWND box = GetDlgItem(window, IDC_RESULT_EDIT);
    const HDROP drop = MakeDrop(paths);
    // Every line ends in CR LF, so the box counts one line more, empty; a
    // question it answers without looking at its text, as the length is not
    // (asked in 8 bits of a box that keeps 16, it converts the whole text).
    const auto wanted = static_cast<LRESULT>(paths.size() + 1);

    Sleep(200);
    const SIZE_T idle = WorkingSet();
    PeakWorkingSet peak;
    Milliseconds worst{0};
    std::chrono::duration<double> jobSeconds{0};
    std::fprintf(stderr, "korvane-mark start ui=%04lx asker=%04lx\n", static_cast<unsigned long>(uiThreadId.load()),
                 static_cast<unsigned long>(GetCurrentThreadId()));
    const double cpuBefore = CpuSeconds(uiThread);
    const auto start = Clock::now();
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    for (;;) {
        const auto asked = Clock::now();
        const LRESULT lines = SendMessageA(box, EM_GETLINECOUNT, 0, 0);
        worst = std::max<Milliseconds>(worst, Clock::now() - asked);
        if (lines == wanted)
            break;
        if (jobSeconds.count() == 0 && dialog.Jobs().WaitIdle(std::chrono::milliseconds(0)))
            jobSeconds = Clock::now() - start;
        Sleep(5);
    }
    const std::chrono::duration<double> seconds = Clock::now() - start;
    const double uiCpu = CpuSeconds(uiThread) - cpuBefore;
    const SIZE_T most = peak.Peak();
    std::fprintf(stderr, "korvane-mark done\n");
    dialog.Jobs().WaitIdle(std::chrono::minutes(10));

    const std::string expected = LinesOf(paths);
    std::string text(expected.size() + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(box, &text[0], static_cast<int>(text.size()))));
    const double set = SetMilliseconds(box, expected);
    std::printf("files=%u seconds=%.4f job_seconds=%.4f worst_wait_ms=%.1f set_ms=%.1f ui_cpu_s=%.3f "
                "ws_above_idle=%lu\n",
                static_cast<unsigned>(paths.size()), seconds.count(), jobSeconds.count(), worst.count(), set, uiCpu,
                static_cast<unsigned long>(most > idle ? most - idle : 0));

    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ui.join();
    CloseHandle(uiThread);
    if (text != expected) {
        std::fprintf(stderr, "korvane_batch_bench: the box does not hold the files' lines in order\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--bare-box") == 0)
        return BareBox(argv[2]);
    if (argc == 2)
        return Drop(argv[1]);
    std::fprintf(stderr, "usage: korvane_batch_bench [--bare-box] FOLDER\n");
    return 2;
}
