// CFileDialog: the system's open-file dialog, for one existing file.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

class CFileDialog {
public:
    // filter: pairs of description and pattern, each ended by '|', the list
    // ended by a further '|', as in "Text (*.txt)|*.txt||". The dialog has the
    // system's explorer style. It runs in UTF-16, so that every file name
    // comes back whole.
    CFileDialog(DWORD flags, const wchar_t* filter);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose a file, IDCANCEL otherwise.
    INT_PTR DoModal();

    // The chosen file's full path, in the ANSI code page: its short (8.3)
    // form where the code page cannot hold its name (AnsiPathFromWide).
    std::string GetPathName() const { return m_path; }

    // Callers may change the record between construction and DoModal; the
    // file buffer, of nMaxFile characters, is DoModal's own.
    OPENFILENAMEW m_ofn;

private:
    std::wstring m_filter;  // with '\0' in place of '|'
    std::string m_path;     // the chosen path after IDOK
};
