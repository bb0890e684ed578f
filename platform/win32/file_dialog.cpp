// CFileDialog over GetOpenFileNameA.
#include "platform/win32/file_dialog.h"

#include <commdlg.h>

#include <vector>

CFileDialog::CFileDialog(DWORD flags, const char* filter) : m_ofn{}, m_filter(filter)
{
    for (char& c : m_filter) {
        if (c == '|')
            c = '\0';
    }
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
    m_ofn.lpstrFilter = m_filter.c_str();
    m_ofn.nMaxFile = MAX_PATH;
}

INT_PTR CFileDialog::DoModal()
{
    std::vector<char> buffer(m_ofn.nMaxFile > 0 ? m_ofn.nMaxFile : 1, '\0');
    m_ofn.lpstrFile = buffer.data();
    const BOOL chosen = GetOpenFileNameA(&m_ofn);
    m_ofn.lpstrFile = nullptr;  // the buffer goes with this call
    if (!chosen)
        return IDCANCEL;
    m_path = buffer.data();
    return IDOK;
}
