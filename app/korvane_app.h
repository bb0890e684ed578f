// CKorvaneApp: the application object.
#pragma once

#include "platform/win32/win_app.h"

class CKorvaneApp : public CWinApp {
public:
    // Runs the main dialog modally; the process ends when it closes.
    BOOL InitInstance() override;
};

extern CKorvaneApp theApp;
