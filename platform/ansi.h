// Texts in the 8-bit code page of paths and result lines: the program's own
// texts, the name of a file in its path, and the path in a typed text.
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

// Tells whether a byte starts a double-byte character of a path's code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// The name of a file: the bytes after the path's last separator, a backslash or
// slash that is a character of its own (never the second byte of a double-byte
// character). A path without a separator is its own name; one that ends in a
// separator has an empty name.
std::string FileNameFromPath(const std::string& path, LeadBytePredicate isLeadByte);
std::string FileNameFromPath(const std::string& path);  // in the ANSI code page

// The path that a typed text names: the text without one pair of surrounding
// double quotes, as "Copy as path" writes it, when it starts and ends with a
// quote and holds no other; else the text as it stands. No file name holds a
// quote, so nothing that names a file is lost.
std::string PathFromTypedText(const std::string& text);
