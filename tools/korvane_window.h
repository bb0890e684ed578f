// What the tools that drive a running korvane.exe share.
#pragma once

#include <windows.h>

#include "ui/res/resource.h"  // the main dialog's control ids

// Waits up to 30 s for the main dialog of a korvane.exe on this desktop to be
// shown; null when none comes. The window exists before its initialisation,
// and takes no command until then: the dialog manager shows it after.
inline HWND WaitForKorvaneWindow()
{
    for (int i = 0; i < 300; ++i) {
        const HWND dialog = FindWindowA(nullptr, "Korvane");
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        Sleep(100);
    }
    return nullptr;
}
