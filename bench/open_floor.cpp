// korvane_open_floor FOLDER: what the *.bin files of FOLDER cost a plain program
// that opens each file for its length, then again to read it to its end, one
// file after another: the floor for a batch of small files, whose time is
// mostly its opens. Prints "files=N seconds=S". Marks the opens on standard
// error, "korvane-mark start job=<id>" before them and "korvane-mark done"
// after, for a count of Wine's server requests (WINEDEBUG=+server), the id as
// Wine's trace writes it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "folder_files.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_open_floor FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::string> paths;
    for (const std::string& name : BinFilesOf(folder))
        paths.push_back(folder + "\\" + name);

    static char buffer[64 << 10];
    unsigned long long bytes = 0;
    std::fprintf(stderr, "korvane-mark start job=%04lx\n", static_cast<unsigned long>(GetCurrentThreadId()));
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : paths) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size = {};
        if (file != INVALID_HANDLE_VALUE) {
            GetFileSizeEx(file, &size);
            CloseHandle(file);
        }
        file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes += got;
        CloseHandle(file);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "korvane-mark done\n");
    std::printf("files=%u seconds=%.4f bytes=%llu\n", static_cast<unsigned>(paths.size()), seconds.count(), bytes);
    return 0;
}
