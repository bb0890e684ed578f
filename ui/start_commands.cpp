// The start commands of the main dialog: OK, browse and dropped files.
#include <string>

#include "platform/ansi.h"
#include "platform/win32/drop.h"
#include "platform/win32/file_dialog.h"
#include "ui/korvane_dlg.h"
#include "ui/res/resource.h"

void CKorvaneDlg::OnBnClickedOk()
{
    std::string path = GetDlgItemText(IDC_PATH_EDIT);
    // "Copy as path" puts a path in quotes, and no file name holds a '"'.
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    if (path.empty())
        return;
    m_files.Append(path);  // else as typed: not trimmed, not checked
    StartDigestJob();
}

void CKorvaneDlg::OnBnClickedBrowse()
{
    m_files.Clear();

    const std::string filter = AnsiFromWide(L"支持的文件 (*.*)|*.*||");
    const std::string title = AnsiFromWide(L"打开文件...");
    CFileDialog dialog(OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_READONLY, filter.c_str());
    dialog.m_ofn.nFilterIndex = 1;
    dialog.m_ofn.hwndOwner = m_hWnd;
    dialog.m_ofn.lStructSize = sizeof(OPENFILENAMEA);
    dialog.m_ofn.lpstrTitle = title.c_str();
    dialog.m_ofn.nMaxFile = MAX_PATH;  // one path of up to 259 characters

    const std::string path = dialog.DoModal() == IDOK ? dialog.GetPathName() : std::string();
    SetDlgItemText(IDC_PATH_EDIT, path);
}

void CKorvaneDlg::OnDropFiles(HDROP hDropInfo)
{
    m_files.Clear();
    for (const std::string& name : DroppedFileNames(hDropInfo))
        m_files.Append(name);  // folders too: the job says what they are
    StartDigestJob();
    DragFinish(hDropInfo);
}

void CKorvaneDlg::StartDigestJob()
{
    // A job waits for the one running before it, so a start never touches a
    // running job's list or counters.
    if (!m_jobs.Start())
        MessageBoxText(m_hWnd, L"线程创建失败", MB_OK);
}
