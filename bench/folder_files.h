// The files a batch benchmark works on: every *.bin file of a folder, in the
// order of their names (Windows only).
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

inline std::vector<std::string> BinFilesOf(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*.bin").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}
