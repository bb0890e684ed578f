// CDialog and the message box.
#include "platform/win32/dialog.h"

#include "platform/ansi.h"
#include "platform/win32/win_app.h"

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR CDialog::DoModal()
{
    HWND owner = m_parent;
    if (!owner) {
        const CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd && app->m_pMainWnd != this)
            owner = app->m_pMainWnd->GetSafeHwnd();
    }
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), owner, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    }
    if (!dialog)
        return FALSE;  // WM_SETFONT and friends, before WM_INITDIALOG
    INT_PTR result = FALSE;
    try {
        result = dialog->OnMessage(message, wParam, lParam);
    } catch (...) {
        // No exception may cross the system's frames. A handler that can fail
        // says so itself; whatever else escapes leaves the message to the
        // dialog manager.
        result = FALSE;
    }
    if (message == WM_NCDESTROY)
        dialog->m_hWnd = nullptr;
    return result;
}

INT_PTR CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return Default();
    default:
        return Default();
    }
}

BOOL CDialog::OnInitDialog()
{
    CDataExchange exchange(*this);
    DoDataExchange(exchange);
    return TRUE;
}

std::string CDialog::GetDlgItemText(int id) const
{
    const HWND control = GetDlgItem(id);
    const int length = GetWindowTextLengthA(control);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(control, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void CDialog::SetDlgItemText(int id, const std::string& text) const
{
    ::SetDlgItemTextA(m_hWnd, id, text.c_str());
}

int MessageBoxText(HWND owner, const wchar_t* text, UINT type)
{
    const CWinApp* app = AfxGetApp();
    const std::string caption = app ? app->m_appName : std::string();
    return MessageBoxA(owner, AnsiFromWide(text).c_str(), caption.c_str(), type);
}
