// CWinApp and the process entry.
#include "platform/win32/win_app.h"

#include "platform/ansi.h"

namespace {

CWinApp* g_app = nullptr;

std::string ProgramName()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = FileNameFromPath(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

}  // namespace

CWinApp::CWinApp() : m_appName(ProgramName())
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

CWinApp* AfxGetApp()
{
    return g_app;
}
