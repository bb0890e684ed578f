// The process entry: runs the application object's InitInstance, then ends.
#include <mbctype.h>

#include "platform/win32/win_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Every multibyte-aware runtime routine works in the ANSI code page, as
    // the paths do.
    _setmbcp(_MB_CP_ANSI);
    CWinApp* app = AfxGetApp();
    if (app)
        app->InitInstance();
    return 0;
}
