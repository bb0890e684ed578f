// korvane_batch_bench COUNT: drops COUNT files of 1 KiB, each with its own
// content, onto the real main dialog and prints "seconds=S" from the drop
// until the result box holds every line (and job_seconds=J until the job
// ended, drop_seconds=D until the dialog had taken the drop); exits non-zero
// when the box's text is not exactly the files' lines in drop order.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/drop_files.h"
#include "support/test_files.h"
#include "ui/test_dialog.h"
#include "ui/res/resource.h"

int main(int argc, char** argv)
{
    const int count = argc == 2 ? std::atoi(argv[1]) : 0;
    if (count <= 0) {
        std::fprintf(stderr, "usage: korvane_batch_bench COUNT\n");
        return 2;
    }
    const TempDir folder;
    const SmallFiles files = WriteSmallFiles(folder, count);
    const std::string& expected = files.lines;

    TestDialog dialog;
    std::thread ui([&] { dialog.DoModal(); });
    while (!dialog.GetSafeHwnd() || !IsWindowVisible(dialog.GetSafeHwnd()))
        Sleep(10);
    const HWND window = dialog.GetSafeHwnd();
    const HWND box = GetDlgItem(window, IDC_RESULT_EDIT);

    const auto start = std::chrono::steady_clock::now();
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(files.paths)), 0);
    const std::chrono::duration<double> dropSeconds = std::chrono::steady_clock::now() - start;
    dialog.Jobs().WaitIdle(std::chrono::minutes(10));
    const std::chrono::duration<double> jobSeconds = std::chrono::steady_clock::now() - start;
    const auto wanted = static_cast<LRESULT>(expected.size());
    while (SendMessageA(box, WM_GETTEXTLENGTH, 0, 0) != wanted)
        Sleep(1);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;

    std::string text(expected.size() + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(box, &text[0], static_cast<int>(text.size()))));
    std::printf("seconds=%.4f job_seconds=%.4f drop_seconds=%.4f\n", seconds.count(), jobSeconds.count(),
                dropSeconds.count());

    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ui.join();
    return text == expected ? 0 : 1;
}
