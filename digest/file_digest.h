// The digest of one file, as text.
#pragma once

#include <string>

#include "digest/hex.h"
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
// content through the chunk reader and closes it again.
FileDigest ComputeFileDigest(const char* path);
