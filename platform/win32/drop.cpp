// DroppedFileNames: a drop handle is global memory holding a DROPFILES record
// and, at its offset pFiles, the names, each ended by a zero, the list ended
// by one more zero; wide characters when fWide is set.
#include "platform/win32/drop.h"

#include <shlobj.h>

#include <cwchar>

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

// What the list gets for a dropped name: the name itself when the code page
// holds it, else its short (8.3) form when the volume has one that it holds.
// Else the name with '?' in place of what the code page lacks: no file name
// holds a '?', so the job reports that it cannot open it, never that it is
// missing.
std::string ListedName(const wchar_t* name, std::size_t length)
{
    bool exact = false;
    const std::string ansi = AnsiFromWideName(name, length, exact);
    if (exact)
        return ansi;
    const std::wstring wide(name, length);
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

// Names one at a time, through the shell: for a drop whose memory we cannot
// read ourselves.
std::vector<std::string> QueryEachName(HDROP drop)
{
    std::vector<std::string> names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        const UINT got = DragQueryFileW(drop, i, &name[0], length + 1);
        names.push_back(ListedName(name.c_str(), got));
    }
    return names;
}

// Splits the list at [begin, end) into its names; a list that runs past the
// memory without its final zero ends where the memory ends.
template <typename Char, typename Convert>
std::vector<std::string> SplitNames(const Char* begin, const Char* end, Convert convert)
{
    std::vector<std::string> names;
    for (const Char* name = begin; name < end && *name;) {
        const Char* stop = name;
        while (stop < end && *stop)
            ++stop;
        names.push_back(convert(name, static_cast<std::size_t>(stop - name)));
        name = stop + 1;
    }
    return names;
}

}  // namespace

std::vector<std::string> DroppedFileNames(HDROP drop)
{
    const SIZE_T size = GlobalSize(drop);
    const auto* files = static_cast<const DROPFILES*>(GlobalLock(drop));
    if (!files)
        return QueryEachName(drop);
    std::vector<std::string> names;
    if (size >= sizeof(DROPFILES) && files->pFiles >= sizeof(DROPFILES) && files->pFiles <= size) {
        const char* base = reinterpret_cast<const char*>(files);
        if (files->fWide) {
            names = SplitNames(reinterpret_cast<const wchar_t*>(base + files->pFiles),
                               reinterpret_cast<const wchar_t*>(base + size - (size - files->pFiles) % sizeof(wchar_t)),
                               ListedName);
        } else {
            names = SplitNames(base + files->pFiles, base + size,
                               [](const char* name, std::size_t length) { return std::string(name, length); });
        }
    }
    GlobalUnlock(drop);
    return names;
}
