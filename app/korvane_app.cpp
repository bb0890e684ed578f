// Start-up: the common controls, the main dialog, and the end of the process.
#include "app/korvane_app.h"

#include <commctrl.h>

#include "platform/ansi.h"
#include "platform/read_pool.h"
#include "ui/korvane_dlg.h"

CKorvaneApp theApp;

BOOL CKorvaneApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    SetRegistryKey(AnsiFromWide(L"应用程序向导生成的本地应用程序").c_str());
    // A reader of files, started with the program rather than by the first
    // job that needs it. Without one, files are read in turn.
    CReadPool::Shared().StartOne();

    CKorvaneDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // FALSE: no message loop of our own; the process ends.
    return FALSE;
}
