// MakeDrop and MakeWideDrop.
#include "support/drop_files.h"

#include <shlobj.h>

#include <cstring>

namespace {

template <typename Text>
HDROP MakeDropOf(const std::vector<Text>& paths, BOOL wide)
{
    using Char = typename Text::value_type;
    size_t chars = 1;  // the zero that ends the list
    for (const Text& path : paths)
        chars += path.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(Char));
    if (!memory)
        return nullptr;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = wide;
    auto* name = reinterpret_cast<Char*>(drop + 1);
    for (const Text& path : paths) {
        std::memcpy(name, path.data(), path.size() * sizeof(Char));
        name += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

}  // namespace

HDROP MakeDrop(const std::vector<std::string>& paths)
{
    return MakeDropOf(paths, FALSE);
}

HDROP MakeWideDrop(const std::vector<std::wstring>& paths)
{
    return MakeDropOf(paths, TRUE);
}
