// korvane_batch_bench COUNT: drops COUNT files of 1 KiB, each with its own
// content, onto the real main dialog and prints "seconds=S" from the drop
// until the result box holds every line (and job_seconds=J until the job
// ended, drop_seconds=D until the dialog had taken the drop); exits non-zero when the box's text
// is not exactly the files' lines in drop order.
#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_files.h"
#include "ui/korvane_dlg.h"
#include "ui/res/resource.h"

namespace {

// A drop handle as the shell makes it: DROPFILES, then the ANSI names, each
// ended by a zero, and one more zero.
HDROP MakeDrop(const std::vector<std::string>& paths)
{
    std::size_t size = sizeof(DROPFILES) + 1;
    for (const auto& path : paths)
        size += path.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    char* names = reinterpret_cast<char*>(drop + 1);
    for (const auto& path : paths) {
        path.copy(names, path.size());
        names += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc == 2 ? std::atoi(argv[1]) : 0;
    if (count <= 0) {
        std::fprintf(stderr, "usage: korvane_batch_bench COUNT\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("korvane-batch-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder);
    std::vector<std::string> paths;
    std::string expected;
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(100000 + i) + ".bin";
        std::string content(1024, '\0');
        for (std::size_t k = 0; k < content.size(); ++k)
            content[k] = static_cast<char>((k * 7 + static_cast<std::size_t>(i)) % 251);
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        paths.push_back(path.string());
        expected += name + " : " + Md5Hex(content) + "\r\n";
    }

    CKorvaneDlg dialog;
    std::thread ui([&] { dialog.DoModal(); });
    while (!dialog.GetSafeHwnd() || !IsWindowVisible(dialog.GetSafeHwnd()))
        Sleep(10);
    const HWND window = dialog.GetSafeHwnd();
    const HWND box = GetDlgItem(window, IDC_RESULT_EDIT);

    const auto start = std::chrono::steady_clock::now();
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
    const std::chrono::duration<double> dropSeconds = std::chrono::steady_clock::now() - start;
    dialog.WaitForJobs(std::chrono::minutes(10));
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
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return text == expected ? 0 : 1;
}
