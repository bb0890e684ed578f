// CFileDialog over GetOpenFileNameW.
#include "platform/win32/file_dialog.h"

#include <vector>

#include "platform/win32/wide_path.h"

CFileDialog::CFileDialog(DWORD flags, const wchar_t* filter) : m_ofn{}, m_filter(filter)
{
    for (wchar_t& c : m_filter) {
        if (c == L'|')
            c = L'\0';
    }
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
    m_ofn.lpstrFilter = m_filter.c_str();
    m_ofn.nMaxFile = MAX_PATH;
}

INT_PTR CFileDialog::DoModal()
{
    std::vector<wchar_t> buffer(m_ofn.nMaxFile > 0 ? m_ofn.nMaxFile : 1, L'\0');
    m_ofn.lpstrFile = buffer.data();
    const BOOL chosen = GetOpenFileNameW(&m_ofn);
    m_ofn.lpstrFile = nullptr;  // the buffer goes with this call
    if (!chosen)
        return IDCANCEL;
    const std::wstring path = buffer.data();
    m_path = AnsiPathFromWide(path.c_str(), path.size());
    return IDOK;
}
