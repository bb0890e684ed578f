// What the tools that drive a running korvane.exe share.
#pragma once

#include <windows.h>

#include "ui/res/resource.h"  // the main dialog's control ids

// Waits up to 30 s for the main dialog of a korvane.exe on this desktop; null
// when none comes.
inline HWND WaitForKorvaneWindow()
{
    for (int i = 0; i < 300; ++i) {
        if (const HWND dialog = FindWindowA(nullptr, "Korvane"))
            return dialog;
        Sleep(100);
    }
    return nullptr;
}
