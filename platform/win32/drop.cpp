// DroppedFileNames: a drop handle is global memory holding a DROPFILES record
// and, at its offset pFiles, the names, each ended by a zero, the list ended
// by one more zero; wide characters when fWide is set.
#include "platform/win32/drop.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/win32/wide_path.h"

namespace {

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
        names.push_back(AnsiPathFromWide(name.c_str(), got));
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
                               AnsiPathFromWide);
        } else {
            names = SplitNames(base + files->pFiles, base + size,
                               [](const char* name, std::size_t length) { return std::string(name, length); });
        }
    }
    GlobalUnlock(drop);
    return names;
}
