// CFileDialog: the system's open-file dialog, for one existing file.
#pragma once

#include <windows.h>

#include <string>

class CFileDialog {
public:
    // filter: pairs of description and pattern, each ended by '|', the list
    // ended by a further '|', as in "Text (*.txt)|*.txt||". Texts in the ANSI
    // code page. The dialog has the system's explorer style.
    CFileDialog(DWORD flags, const char* filter);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose a file, IDCANCEL otherwise.
    INT_PTR DoModal();

    // The chosen file's full path.
    std::string GetPathName() const { return m_path; }

    // Callers may change the record between construction and DoModal; the
    // file buffer, of nMaxFile characters, is DoModal's own.
    OPENFILENAMEA m_ofn;

private:
    std::string m_filter;  // with '\0' in place of '|'
    std::string m_path;    // the chosen path after IDOK
};
