// CWinApp: the application object, and the process entry that runs it.
//
// The program defines one object of a class derived from CWinApp with static
// storage. The entry point calls its InitInstance once on the main thread;
// the process ends when InitInstance returns. No command line is read.
#pragma once

#include <windows.h>

#include <string>

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The program's whole life. FALSE: the process ends when it returns.
    virtual BOOL InitInstance() { return TRUE; }

    // Names the per-user settings root. The program stores nothing there, so
    // only the name is kept.
    void SetRegistryKey(const char* key) { m_registryKey = key; }
    const std::string& GetRegistryKey() const { return m_registryKey; }

    CDialog* m_pMainWnd = nullptr;  // owner of dialogs that name no parent
    std::string m_appName;          // the program file's name without extension

private:
    std::string m_registryKey;
};

// The application object, or null before it exists.
CWinApp* AfxGetApp();
