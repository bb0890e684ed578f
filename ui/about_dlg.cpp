// CAboutDlg and the About item.
#include "ui/about_dlg.h"

#include <string>

#include "ui/res/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

void AddAboutItem(HWND window)
{
    const HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu)
        return;
    char text[256] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text) <= 0)
        return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
}
