// korvane_demo: drives a running korvane.exe as a user would, for the
// demonstration of scripts/run: types each path given on the command line
// into the path box and presses OK, waits for the lines, then writes the
// result box's text (ANSI code page) to the file named first.
//
//   korvane_demo.exe OUTPUT PATH...
//
// It must run on the dialog's desktop (explorer /desktop=NAME) to find it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "korvane_window.h"

namespace {

std::string ItemText(HWND dialog, int id)
{
    char text[65536] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

int CountLines(const std::string& text)
{
    int lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    return lines;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvane_demo OUTPUT PATH...\n");
        return 2;
    }
    const HWND dialog = WaitForKorvaneWindow();
    if (!dialog) {
        std::fprintf(stderr, "korvane_demo: no Korvane window\n");
        return 1;
    }

    // Each OK appends the typed path to the list, so after the k-th press the
    // job digests all k paths: k lines.
    for (int k = 2; k < argc; ++k) {
        SetDlgItemTextA(dialog, IDC_PATH_EDIT, argv[k]);
        SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        const int expected = k - 1;
        for (int i = 0; i < 600 && CountLines(ItemText(dialog, IDC_RESULT_EDIT)) < expected; ++i)
            Sleep(50);
    }
    SetDlgItemTextA(dialog, IDC_PATH_EDIT, argv[argc - 1]);

    // Written beside and renamed, so that a waiting script never reads half.
    const std::string text = ItemText(dialog, IDC_RESULT_EDIT);
    const std::string partial = std::string(argv[1]) + ".part";
    std::FILE* out = std::fopen(partial.c_str(), "wb");
    if (!out)
        return 1;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    MoveFileExA(partial.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING);
    return CountLines(text) == argc - 2 ? 0 : 1;
}
