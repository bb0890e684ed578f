// korvane_batch_bench FOLDER: drops every *.bin file of FOLDER, in the order of
// their names, onto the real main dialog, and prints
//
//   files=N seconds=S job_seconds=J worst_wait_ms=W ws_above_idle=BYTES
//
// S from the drop until the result box holds every line (J until the job had
// ended, seen at the next question); W the longest the
// window took to answer a question (asked every 5 ms from another thread,
// as a user's clicks would be); BYTES the largest working set during the job
// above the working set just before the drop. Exits non-zero when the box's
// text is not exactly the files' lines in drop order.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "folder_files.h"
#include "support/drop_files.h"
#include "support/test_files.h"
#include "ui/res/resource.h"
#include "ui/test_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_batch_bench FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::string> paths;
    std::string expected;
    for (const std::string& name : BinFilesOf(folder)) {
        paths.push_back(folder + "\\" + name);
        expected += Line(name, Md5Hex(ContentOf(paths.back())));
    }

    TestDialog dialog;
    std::thread ui([&] { dialog.DoModal(); });
    while (!dialog.GetSafeHwnd() || !IsWindowVisible(dialog.GetSafeHwnd()))
        Sleep(10);
    const HWND window = dialog.GetSafeHwnd();
    const HWND box = GetDlgItem(window, IDC_RESULT_EDIT);
    const HDROP drop = MakeDrop(paths);
    const auto wanted = static_cast<LRESULT>(expected.size());

    Sleep(200);
    const SIZE_T idle = WorkingSet();
    SIZE_T peak = idle;
    std::chrono::duration<double, std::milli> worst{0};
    std::chrono::duration<double> jobSeconds{0};
    const auto start = Clock::now();
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    for (int polls = 0;; ++polls) {
        const auto asked = Clock::now();
        const LRESULT length = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
        worst = std::max<std::chrono::duration<double, std::milli>>(worst, Clock::now() - asked);
        if (length == wanted)
            break;
        if (polls % 8 == 0)
            peak = std::max(peak, WorkingSet());
        if (jobSeconds.count() == 0 && dialog.Jobs().WaitIdle(std::chrono::milliseconds(0)))
            jobSeconds = Clock::now() - start;
        Sleep(5);
    }
    const std::chrono::duration<double> seconds = Clock::now() - start;
    dialog.Jobs().WaitIdle(std::chrono::minutes(10));

    std::string text(expected.size() + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(box, &text[0], static_cast<int>(text.size()))));
    std::printf("files=%u seconds=%.4f job_seconds=%.4f worst_wait_ms=%.1f ws_above_idle=%lu\n",
                static_cast<unsigned>(paths.size()), seconds.count(), jobSeconds.count(), worst.count(),
                static_cast<unsigned long>(peak - idle));

    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ui.join();
    if (text != expected) {
        std::fprintf(stderr, "korvane_batch_bench: the box does not hold the files' lines in order\n");
        return 1;
    }
    return 0;
}
