// The digest of one file, and its rendering as text.
#pragma once

#include <string>

#include "digest/md5.h"
#include "platform/file.h"

struct FileDigest {
    // 32 lowercase hexadecimal digits when the file was read to its end, else
    // empty.
    std::string text;
    // Why the file did not open; FileOpenError::None when it opened.
    FileOpenError openError = FileOpenError::None;
    // How reading ended, when the file opened.
    FileReadEnd readEnd = FileReadEnd::Complete;
};

// Opens path (a path in the ANSI code page) exclusively, digests its whole
// content through the job's chunk reader and closes it again.
FileDigest ComputeFileDigest(const char* path);

// Writes the 16 digest bytes as exactly 32 lowercase hexadecimal digits, high
// half of each byte first. No terminator.
void DigestToHex(const unsigned char digest[16], char text[32]);
