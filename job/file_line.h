// What one listed path adds to its job: its length to the total (the size
// pass) and its line to the result text.
#pragma once

#include <cstdint>
#include <string>

#include "digest/file_digest.h"

// The length of one file for the size pass; 0 when it does not open, or its
// length cannot be had, or it cannot be closed again. error, when given,
// says why it did not open.
std::int64_t LengthForTotal(const std::string& path, FileOpenError* error = nullptr);

// The path's line: "name : digest\r\n", or the reason in place of the digest
// when there is none, in the ANSI code page.
std::string ResultLine(const std::string& path, const FileDigest& digest);
