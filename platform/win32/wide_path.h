// A path that the system gives in UTF-16 (a drop, the open-file dialog), as
// the program's 8-bit lists hold it.
#pragma once

#include <cstddef>
#include <string>

// The path in the ANSI code page when the code page holds it whole; else its
// short (8.3) form where the volume has one that the code page holds; else
// the path with '?' for what the code page lacks. No file name holds a '?',
// so such a path is reported as one that cannot be opened, never as missing,
// and never taken for another file through a look-alike character.
std::string AnsiPathFromWide(const wchar_t* path, std::size_t length);
