// AnsiPathFromWide.
#include "platform/win32/wide_path.h"

#include <windows.h>

namespace {

// The name in the ANSI code page, and whether it came through whole: a
// character that the code page lacks becomes '?', never a look-alike that
// could name another file.
std::string AnsiFromWideName(const wchar_t* name, std::size_t length, bool& exact)
{
    const int count = static_cast<int>(length);
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, count, nullptr, 0, "?", &lossy);
    if (size > 0) {
        std::string ansi(static_cast<std::size_t>(size), '\0');
        exact = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, count, &ansi[0], size, "?", &lossy) == size &&
                !lossy;
        return ansi;
    }
    // A UTF-8 code page takes no default character, and holds every name.
    size = WideCharToMultiByte(CP_ACP, 0, name, count, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    exact = size > 0 && WideCharToMultiByte(CP_ACP, 0, name, count, &ansi[0], size, nullptr, nullptr) == size;
    return ansi;
}

}  // namespace

std::string AnsiPathFromWide(const wchar_t* path, std::size_t length)
{
    bool exact = false;
    const std::string ansi = AnsiFromWideName(path, length, exact);
    if (exact)
        return ansi;
    const std::wstring wide(path, length);
    const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0)
        return ansi;
    std::wstring shortForm(needed, L'\0');
    const DWORD got = GetShortPathNameW(wide.c_str(), &shortForm[0], needed);
    if (got == 0 || got >= needed)
        return ansi;
    const std::string shortAnsi = AnsiFromWideName(shortForm.c_str(), got, exact);
    return exact ? shortAnsi : ansi;
}
