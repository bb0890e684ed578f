// CKorvaneDlg: construction, initialisation, painting, message routing and
// closing with jobs under way.
#include "ui/korvane_dlg.h"

#include "ui/about_dlg.h"
#include "ui/res/resource.h"

CKorvaneDlg::CKorvaneDlg()
    : CDialog(IDD_MAIN_DIALOG),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_resultPacer([this] { return PostMessageA(m_resultWindow.load(), WM_SHOWRESULT, 0, 0) != FALSE; },
                    &GetTickCount),
      m_jobs(*this)
{
    g_pMainDlg = this;
}

INT_PTR CKorvaneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return Default();
    case WM_SHOWRESULT:
        OnShowResult();
        return TRUE;
    case WM_TIMER:
        return OnTimer(static_cast<UINT_PTR>(wParam));
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return Default();
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            OnCancel();
            return TRUE;
        case IDOK:
            OnBnClickedOk();
            return TRUE;
        case IDC_BROWSE_BUTTON:
            OnBnClickedBrowse();
            return TRUE;
        default:
            return Default();
        }
    default:
        return CDialog::OnMessage(message, wParam, lParam);
    }
}

void CKorvaneDlg::DoDataExchange(CDataExchange& exchange)
{
    DDX_Control(exchange, IDC_PROGRESS, m_progress);
}

BOOL CKorvaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_resultWindow = m_hWnd;
    AddAboutItem(m_hWnd);

    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);
    return TRUE;
}

INT_PTR CKorvaneDlg::OnSysCommand(UINT nID, LPARAM)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return TRUE;
    }
    return Default();
}

INT_PTR CKorvaneDlg::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return Default();

    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);

    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    // Signed division truncates toward zero: a 0 x 0 client area puts a
    // 32-pixel icon at (-15, -15).
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return TRUE;
}

void CKorvaneDlg::OnCancel()
{
    // The job stops at its next chunk while the window closes; what it still
    // posts to the window meanwhile is dropped with the window.
    m_jobs.Stop();
    CDialog::OnCancel();
}

INT_PTR CKorvaneDlg::OnTimer(UINT_PTR id)
{
    switch (id) {
    case kResultTimer:
        KillTimer(m_hWnd, kResultTimer);
        OnShowResult();
        return TRUE;
    case kCatchUpTimer:
        OnCatchUp();
        return TRUE;
    default:
        return Default();
    }
}

void CKorvaneDlg::OnShowResult()
{
    // Without the timer the text would wait for the job's next line; a job's
    // last line never waits.
    const CResultPacer::Next next = m_resultPacer.Take();
    if (next.wait > 0)
        SetTimer(m_hWnd, kResultTimer, next.wait, nullptr);
    if (!next.text)
        return;
    const DWORD start = GetTickCount();
    ::SetDlgItemTextA(m_hWnd, IDC_RESULT_EDIT, next.text);
    m_resultPacer.Shown(start);
}

void CKorvaneDlg::OnCatchUp()
{
    // Timer messages come only when every posted message has been handled,
    // so a position or a text whose post failed is not overtaken here. Jobs
    // start on this thread only: once none runs, no line is to come.
    m_progress.CatchUp();
    const bool idle = m_jobs.WaitIdle(std::chrono::milliseconds(0));
    if (idle)
        m_resultPacer.NoMoreLines();
    OnShowResult();
    if (!m_progress.Behind() && !m_resultPacer.Pending() && idle)
        KillTimer(m_hWnd, kCatchUpTimer);
}
