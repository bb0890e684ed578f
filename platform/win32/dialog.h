// CDialog: a modal dialog built from a template in the program's resources.
//
// Each dialog class has one virtual handler, OnMessage: a switch that calls
// one OnXxx member per message and returns the dialog way (TRUE: handled;
// Default(): the dialog manager's own handling). The object is attached to
// its window at WM_INITDIALOG; messages before that get the default handling.
// An exception that leaves OnMessage stops there, as if it returned Default().
#pragma once

#include <windows.h>

#include <string>

class CDialog;

// Binds controls to their wrappers during OnInitDialog.
class CDataExchange {
public:
    explicit CDataExchange(CDialog& dialog) : m_dialog(dialog) {}
    CDialog& Dialog() const { return m_dialog; }

private:
    CDialog& m_dialog;
};

class CDialog {
public:
    // parent null: the application's main window, if any other, owns the dialog.
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until it ends; returns the id it ended with, or -1 when
    // the window could not be created.
    INT_PTR DoModal();

    // The dialog's window while it runs, else null.
    HWND GetSafeHwnd() const { return m_hWnd; }

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    // The whole text of a control, in the ANSI code page.
    std::string GetDlgItemText(int id) const;
    // Replaces a control's text. From another thread the call returns once
    // the dialog's thread has set it.
    void SetDlgItemText(int id, const std::string& text) const;

protected:
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the data exchange. TRUE: the first tab stop gets the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange&) {}
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }
    // Leaves the current message to the dialog manager.
    static INT_PTR Default() { return FALSE; }

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
};

// Shows a message box owned by owner with the program's name as its caption.
int MessageBoxText(HWND owner, const wchar_t* text, UINT type);
