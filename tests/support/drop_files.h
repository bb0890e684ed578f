// Drop handles as the desktop shell makes them, for tests and benchmarks that
// drop files onto the dialog in-process. (A WM_DROPFILES posted from another
// process arrives empty.)
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A drop handle as the shell makes it: a DROPFILES record followed by the
// ANSI names, each ended by a zero, the list ended by one more zero. The
// window that receives it releases it.
HDROP MakeDrop(const std::vector<std::string>& paths);
// The same with UTF-16 names (fWide), as the shell sends them; the dialog
// gives each name in the ANSI code page.
HDROP MakeWideDrop(const std::vector<std::wstring>& paths);
