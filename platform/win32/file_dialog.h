// CFileDialog: the system's open-file dialog.
#pragma once

#include <windows.h>

#include <string>

class CFileDialog {
public:
    // filter: pairs of description and pattern, each ended by '|', the list
    // ended by a further '|', as in "Text (*.txt)|*.txt||". Texts in the ANSI
    // code page. structSize 0: the record's own size.
    CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                const char* filter, HWND parent, DWORD structSize = 0, BOOL newStyle = TRUE);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose a file, IDCANCEL otherwise.
    INT_PTR DoModal();

    // The chosen file's full path.
    std::string GetPathName() const { return m_fileBuffer; }

    // Callers may change the record between construction and DoModal;
    // lpstrFile and nMaxFile point at a buffer of nMaxFile characters that
    // DoModal provides.
    OPENFILENAMEA m_ofn;

private:
    BOOL m_openFileDialog;
    std::string m_filter;       // with '\0' in place of '|'
    std::string m_fileBuffer;   // the chosen path after IDOK
    std::string m_defaultExtension;
};
