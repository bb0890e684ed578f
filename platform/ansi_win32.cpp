// AnsiFromWide on Windows.
#include "platform/ansi.h"

#include <windows.h>

std::string AnsiFromWide(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));  // drop the terminator
    return out;
}

bool IsAnsiLeadByte(unsigned char value)
{
    return IsDBCSLeadByte(value) != FALSE;
}
