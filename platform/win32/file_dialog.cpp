// CFileDialog over GetOpenFileNameA.
#include "platform/win32/file_dialog.h"

#include <commdlg.h>

#include <vector>

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                         const char* filter, HWND parent, DWORD structSize, BOOL newStyle)
    : m_ofn{}, m_openFileDialog(openFileDialog)
{
    if (filter) {
        m_filter = filter;
        for (char& c : m_filter) {
            if (c == '|')
                c = '\0';
        }
    }
    if (defaultExtension)
        m_defaultExtension = defaultExtension;
    if (fileName)
        m_fileBuffer = fileName;

    m_ofn.lStructSize = structSize ? structSize : sizeof m_ofn;
    m_ofn.hwndOwner = parent;
    m_ofn.Flags = flags | (newStyle ? OFN_EXPLORER | OFN_ENABLESIZING : 0);
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    m_ofn.nMaxFile = MAX_PATH;
}

INT_PTR CFileDialog::DoModal()
{
    // The buffer is ours; the record only says how large it may be.
    std::vector<char> buffer(m_ofn.nMaxFile > 0 ? m_ofn.nMaxFile : 1, '\0');
    m_fileBuffer.copy(buffer.data(), buffer.size() - 1);
    m_ofn.lpstrFile = buffer.data();

    const BOOL chosen = m_openFileDialog ? GetOpenFileNameA(&m_ofn) : GetSaveFileNameA(&m_ofn);
    m_ofn.lpstrFile = nullptr;
    if (!chosen)
        return IDCANCEL;
    m_fileBuffer = buffer.data();
    return IDOK;
}
