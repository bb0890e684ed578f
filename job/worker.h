// The digest worker: one job from its start to its end, and the names shown in
// its result lines.
#pragma once

#include <cstdint>
#include <string>

class CFileList;
class CJobState;

// Runs one job over files: resets the counters and the bar, sums the lengths of
// the files (size pass), then digests them in order. Every path gives one line,
// "name : digest\r\n" or "name : reason\r\n", and after each line the whole text
// so far goes to the job's result sink. A stop request ends the job at once,
// without a line for the file being read. Returns 1, or 0xFFFFFFFF without a job.
std::uint32_t DigestWorker(CJobState* dialog, const CFileList& files);

// Tells whether a byte starts a double-byte character of the path's code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// The name of a file: the bytes after the path's last separator, a backslash or
// slash that is a character of its own (never the second byte of a double-byte
// character). A path without a separator is its own name; one that ends in a
// separator has an empty name.
std::string FileNameFromPath(const std::string& path, LeadBytePredicate isLeadByte);
std::string FileNameFromPath(const std::string& path);  // in the ANSI code page
