// The start commands of the main dialog: OK, browse and dropped files.
//
// Memory for a path or the list may run out; the command then fails as a
// failed thread start does, with its message, and leaves the list as far as
// it got.
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/ansi.h"
#include "platform/win32/drop.h"
#include "platform/win32/file_dialog.h"
#include "ui/korvane_dlg.h"
#include "ui/res/resource.h"

void CKorvaneDlg::OnBnClickedOk()
{
    try {
        const std::string path = PathFromTypedText(GetDlgItemText(IDC_PATH_EDIT));
        if (path.empty())
            return;
        m_files.Append(path);  // else as typed: not trimmed, not checked
    } catch (const std::bad_alloc&) {
        ReportFailedStart();
        return;
    }
    StartDigestJob();
}

void CKorvaneDlg::OnBnClickedBrowse()
{
    m_files.Clear();

    CFileDialog dialog(OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_READONLY, L"支持的文件 (*.*)|*.*||");
    dialog.m_ofn.nFilterIndex = 1;
    dialog.m_ofn.hwndOwner = m_hWnd;
    dialog.m_ofn.lStructSize = sizeof(OPENFILENAMEW);  // 88 bytes
    dialog.m_ofn.lpstrTitle = L"打开文件...";
    dialog.m_ofn.nMaxFile = MAX_PATH;  // one path of up to 259 characters

    const std::string path = dialog.DoModal() == IDOK ? dialog.GetPathName() : std::string();
    SetDlgItemText(IDC_PATH_EDIT, path);
}

void CKorvaneDlg::OnDropFiles(HDROP hDropInfo)
{
    bool listed = true;
    try {
        m_files.Clear();
        for (std::string& name : DroppedFileNames(hDropInfo))
            m_files.Append(std::move(name));  // folders too: the job says what they are
    } catch (const std::bad_alloc&) {
        listed = false;
    }
    if (listed)
        StartDigestJob();
    else
        ReportFailedStart();
    DragFinish(hDropInfo);
}

void CKorvaneDlg::StartDigestJob()
{
    // A job waits for the one running before it, so a start never touches a
    // running job's list or counters.
    if (!m_jobs.Start()) {
        ReportFailedStart();
        return;
    }
    SetTimer(m_hWnd, kCatchUpTimer, kCatchUpPeriod, nullptr);
}

void CKorvaneDlg::ReportFailedStart()
{
    MessageBoxText(m_hWnd, L"线程创建失败", MB_OK);
}
