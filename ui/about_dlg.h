// The About box, and the system-menu item that opens it.
#pragma once

#include <windows.h>

#include "platform/win32/dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};

// Appends a separator and the About item to the window's system menu, unless
// the window has no system menu or the item's text is missing.
void AddAboutItem(HWND window);
