// The program's own texts in the 8-bit code page of paths and result lines.
#pragma once

#include <string>

// Converts a text of the program to the system's ANSI code page on Windows
// (code page 936 on the target systems) and to UTF-8 elsewhere. Characters the
// code page lacks become the system's default character.
std::string AnsiFromWide(const wchar_t* text);

// Tells whether a byte is the first of a double-byte character in that code
// page (never on systems whose paths are UTF-8, where no byte below 0x80 is
// ever part of a longer character).
bool IsAnsiLeadByte(unsigned char value);
